// The INCAR reader: whether LNONCOLLINEAR or LSORBIT is set true, in the
// forms VASP reads, and the faults of their values.
#include "structure/incar.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "base/failure.h"
#include "memory_files.h"

namespace {

using namespace pdsplit;
using testing_support::MemoryFiles;

IncarSpin parse(const std::string& text) { return parse_incar(text, "INCAR"); }

std::string failure_of(const std::string& text) {
  try {
    parse(text);
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.status(), 1);
    EXPECT_EQ(failure.report(), Failure::Report::StderrLine);
    return failure.text();
  }
  return "(no failure)";
}

TEST(Incar, TrueInEveryFormVaspReads) {
  const std::pair<std::string, std::string> cases[] = {
      {"LSORBIT = .TRUE.\n", "LSORBIT = .TRUE."},
      {"LSORBIT=.TRUE.", "LSORBIT = .TRUE."},
      {"  lsorbit   =   t  \n", "lsorbit = t"},
      {"LNONCOLLINEAR = .T.\n", "LNONCOLLINEAR = .T."},
      {"LNonCollinear = True\n", "LNonCollinear = True"},
      {"\tLSORBIT\t=\t.true.\r\n", "LSORBIT = .true."},
      {"SYSTEM = Fe3O4\nISPIN = 2\nLSORBIT = .TRUE. ! spin-orbit\nMAGMOM = 9*0 0 0 1\n",
       "LSORBIT = .TRUE."},
      {"ENCUT = 500; LSORBIT = T; LORBIT = 11\n", "LSORBIT = T"},
      {"ENCUT = 500 # cut-off\nGGA = PE ; LNONCOLLINEAR = .TRUE. # here\n", "LNONCOLLINEAR = .TRUE."},
      // Both: the first in the file tells why.
      {"LNONCOLLINEAR = .TRUE.\nLSORBIT = .TRUE.\n", "LNONCOLLINEAR = .TRUE."},
      {"LNONCOLLINEAR = .FALSE.\nLSORBIT = .TRUE.\n", "LSORBIT = .TRUE."},
      // The last line needs no line feed.
      {"ISMEAR = 0\nLSORBIT = .TRUE.", "LSORBIT = .TRUE."},
  };
  for (const auto& [text, statement] : cases) {
    IncarSpin spin = parse(text);
    EXPECT_TRUE(spin.noncollinear) << text;
    EXPECT_EQ(spin.statement, statement) << text;
  }
}

TEST(Incar, NotSetTrue) {
  for (std::string text : {"", "\n", "LSORBIT = .FALSE.\n", "LNONCOLLINEAR = F\nLSORBIT = .f.\n",
                           "! LSORBIT = .TRUE.\n", "# LSORBIT = .TRUE.\n",
                           "ISPIN = 2 ! LSORBIT = .TRUE.\n", "LSORBITAL = .TRUE.\n",
                           "XLSORBIT = .TRUE.\n", "LSORBIT .TRUE.\n", "SYSTEM = LSORBIT = T\n",
                           // Of a key set twice, the first counts.
                           "LSORBIT = .FALSE.\nLSORBIT = .TRUE.\n",
                           "LSORBIT = F; LSORBIT = T\n"}) {
    IncarSpin spin = parse(text);
    EXPECT_FALSE(spin.noncollinear) << text;
    EXPECT_EQ(spin.statement, "") << text;
  }
}

TEST(Incar, ValuesThatAreNeitherTrueNorFalse) {
  EXPECT_EQ(failure_of("ENCUT = 400\nISPIN = 2; LSORBIT = yes\n"),
            "Error! INCAR line 2: LSORBIT = yes is neither true (.TRUE.) nor false (.FALSE.)");
  EXPECT_EQ(failure_of("lnoncollinear = 1\n"),
            "Error! INCAR line 1: lnoncollinear = 1 is neither true (.TRUE.) nor false (.FALSE.)");
  EXPECT_EQ(failure_of("LSORBIT = .\n"),
            "Error! INCAR line 1: LSORBIT = . is neither true (.TRUE.) nor false (.FALSE.)");
  EXPECT_EQ(failure_of("\n\n\nLSORBIT =   ! later\n"), "Error! INCAR line 4: LSORBIT has no value");
  EXPECT_EQ(failure_of("LSORBIT=;ISPIN=2\n"), "Error! INCAR line 1: LSORBIT has no value");
  // Only the first statement of a key is looked at.
  EXPECT_EQ(failure_of("LSORBIT = .TRUE.\nLSORBIT = yes\n"), "(no failure)");
}

TEST(Incar, ReadThroughTheOpener) {
  MemoryFiles files;
  EXPECT_FALSE(read_incar(files, "INCAR").has_value());
  files.add("run/INCAR", "SYSTEM = x\nLSORBIT = .TRUE.\n");
  std::optional<IncarSpin> spin = read_incar(files, "run/INCAR");
  ASSERT_TRUE(spin.has_value());
  EXPECT_TRUE(spin->noncollinear);
  files.add("INCAR", "LSORBIT = maybe\n");
  try {
    read_incar(files, "INCAR");
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(std::string(failure.text()),
              "Error! INCAR line 1: LSORBIT = maybe is neither true (.TRUE.) nor false (.FALSE.)");
  }
  MemoryFiles refused;
  refused.refuse("INCAR", EISDIR);
  try {
    read_incar(refused, "INCAR");
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(std::string(failure.text()), "Error! Cannot read INCAR: Is a directory");
  }
  MemoryFiles huge;
  huge.add("INCAR", std::string(3 << 20, '\n'));
  EXPECT_THROW(read_incar(huge, "INCAR"), Failure);
}

}  // namespace
