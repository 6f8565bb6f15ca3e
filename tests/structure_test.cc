// The files beside DOSCAR: the element symbols and counts of VASP 5 POSCAR
// and CONTCAR files, which of them a run reads and every fault named with
// its file and line; whether INCAR sets LNONCOLLINEAR or LSORBIT true, in
// the forms VASP reads, and the faults of their values.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "base/failure.h"
#include "memory_files.h"
#include "scenario.h"
#include "structure/incar.h"
#include "structure/structure.h"

namespace {

using namespace pdsplit;
using testing_support::MemoryFiles;
using testing_support::poscar;  // line 6 the symbols, 7 the counts

// What `read` gives: the file and its elements, or the failure.
template <class Read>
std::string outcome(Read read) {
  try {
    Structure s = read();
    return s.file + ": " + describe_elements(s);
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.status(), 1);
    EXPECT_EQ(failure.report(), Failure::Report::StderrLine);
    return failure.text();
  }
}

TEST(Structure, ElementsOfEveryFormAndEveryFaultNamedWithItsLine) {
  const std::string si = poscar("Si", "18"), line7 = si.substr(0, si.find("Direct"));
  const std::string six_lines = line7.substr(0, line7.find("\n18") + 1);
  const std::pair<std::string, std::string> cases[] = {
      {poscar("   Fe   O ", "    12     6"), "Fe 1-12, O 13-18"},
      // POTCAR labels name their element; a symbol twice is one element.
      {poscar("Fe_pv  O_s/3a7f  Li_sv_GW Ti/abc123\tH", "1 2 3 4 8"), "Fe 1, O 2-3, Li 4-6, Ti 7-10, H 11-18"},
      {poscar("Fe O Fe_pv O Ni", "4 4 4 2 4"), "Fe 1-4, 9-12, O 5-8, 13-14, Ni 15-18"},
      {poscar("O O", "8 10"), "O 1-18"},
      {"x\r\n1.0\r\n 4 0 0\r\n 0 4 0\r\n 0 0 4\r\nSi C\r\n9 9\r\nDirect\r\n", "Si 1-9, C 10-18"},
      {line7, "Si 1-18"},                                // ends with line 7
      {line7.substr(0, line7.size() - 1), "Si 1-18"},  // without its line feed
      {poscar("4 8", "Direct"), "Error! POSCAR line 6 holds numbers, not element symbols (a VASP 4 file, which names no elements)"},
      {poscar("", "12 18"), "Error! POSCAR line 6 holds no element symbols"},
      {poscar("Fe 3x", "6 6"), "Error! POSCAR line 6: \"3x\" is not an element symbol"},
      {poscar("Fe _pv", "6 6"), "Error! POSCAR line 6: \"_pv\" is not an element symbol"},
      {poscar("Fe O", "12 x"), "Error! POSCAR line 7: \"x\" is not an atom count (a whole number above 0)"},
      {poscar("Fe O", "12 -6"), "Error! POSCAR line 7: \"-6\" is not an atom count (a whole number above 0)"},
      {poscar("Fe O", "18 0"), "Error! POSCAR line 7: \"0\" is not an atom count (a whole number above 0)"},
      {poscar("Fe O", "1 99999999999"), "Error! POSCAR line 7: \"99999999999\" is not an atom count (a whole number above 0)"},
      {poscar("Fe O", "18"), "Error! POSCAR lines 6-7: 2 element symbols, but 1 atom count"},
      {poscar("Fe", "6 12"), "Error! POSCAR lines 6-7: 1 element symbol, but 2 atom counts"},
      {poscar("Fe O", "12 17"), "Error! POSCAR line 7: the counts add up to 29 atoms, but DOSCAR holds 18"},
      {poscar("Fe", "1"), "Error! POSCAR line 7: the counts add up to 1 atom, but DOSCAR holds 18"},
      {six_lines, "Error! POSCAR ends at line 6, before its atom counts (line 7)"},
      {six_lines.substr(0, six_lines.find("Si")), "Error! POSCAR ends at line 5, before its element symbols (line 6)"},
      {"title\n", "Error! POSCAR ends at line 1, before its element symbols (line 6)"},
      {"", "Error! POSCAR is empty"},
      {" \n\n  \n", "Error! POSCAR is empty"},
  };
  for (const auto& [text, want] : cases)
    EXPECT_EQ(outcome([&] { return parse_structure(text, "POSCAR", 18); }),
              want.starts_with("Error!") ? want : "POSCAR: " + want) << text;
  // A name that cannot be shown as it is (a control character, UTF-8), shown safely.
  EXPECT_EQ(outcome([] { return parse_structure("", "run\x01\xc3\xa9/POSCAR", 1); }),
            "Error! run\\x01\\xc3\\xa9/POSCAR is empty");
}

TEST(Structure, GivenElseContcarElsePoscarBesideDoscar) {
  MemoryFiles files;  // read in pieces of 3 bytes, every other read interrupted
  files.faults.max_read = 3;
  files.faults.interrupt_every = 2;
  for (const auto& [name, text] : {std::pair{"run/CONTCAR", poscar("Fe", "2")}, {"run/POSCAR", poscar("O", "2")},
                                   {"given", poscar("Ni", "2")}, {"blank/CONTCAR", "\n  \n"}, {"blank/POSCAR", poscar("O", "2")},
                                   {"huge/POSCAR", std::string(2 << 20, ' ') + "\n"},
                                   {"big/POSCAR", poscar("Fe", "1000000") + std::string(3 << 20, 'x')}})
    files.add(name, text);
  files.refuse("dir/CONTCAR", EISDIR);
  const std::tuple<std::optional<std::string>, std::string, int, std::string> cases[] = {
      {std::nullopt, "run", 2, "run/CONTCAR: Fe 1-2"},
      {"given", "run", 2, "given: Ni 1-2"},
      {std::nullopt, "blank", 2, "blank/POSCAR: O 1-2"},  // a run that stopped leaves CONTCAR blank
      {std::nullopt, "none", 2, "Error! There is neither none/CONTCAR nor none/POSCAR"},
      {std::nullopt, "huge", 2, "Error! Cannot read huge/POSCAR: its first 7 lines take more than 1 MiB"},
      {std::nullopt, "big", 1000000, "big/POSCAR: Fe 1-1000000"},  // the positions are never read
      {std::nullopt, "dir", 2, "Error! Cannot read dir/CONTCAR: Is a directory"},
  };
  for (const auto& [given, folder, natom, want] : cases)
    EXPECT_EQ(outcome([&] { return read_structure(files, given, folder, natom); }), want);
  files.faults.fail_at = 10;
  EXPECT_EQ(outcome([&] { return read_structure(files, std::nullopt, "run", 2); }),
            "Error! Cannot read run/CONTCAR: " + std::string(std::strerror(EIO)));
}

TEST(Structure, FoldersOfPaths) {
  const std::pair<std::string, std::string> folders[] = {
      {"DOSCAR", "."}, {"run1/DOSCAR", "run1"}, {"a/b//DOSCAR.gz", "a/b"}, {"/DOSCAR", "/"}, {"../DOSCAR", ".."}};
  for (const auto& [path, folder] : folders) EXPECT_EQ(folder_of(path), folder) << path;
  EXPECT_EQ(beside(".", "CONTCAR") + " " + beside("run1", "CONTCAR") + " " + beside("/", "INCAR"), "CONTCAR run1/CONTCAR /INCAR");
}

// What INCAR says: the statement that sets a non-collinear run, "" for
// none, or the failure.
std::string incar(const std::string& text) {
  try {
    IncarSpin spin = parse_incar(text, "INCAR");
    EXPECT_EQ(spin.noncollinear, !spin.statement.empty()) << text;
    return spin.statement;
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.status(), 1);
    return failure.text();
  }
}

TEST(Incar, TrueAndFalseInEveryFormVaspReadsAndValuesThatAreNeither) {
  const std::string neither = " is neither true (.TRUE.) nor false (.FALSE.)";
  const std::pair<std::string, std::string> cases[] = {
      {"LSORBIT = .TRUE.\n", "LSORBIT = .TRUE."},
      {"LSORBIT=.TRUE.", "LSORBIT = .TRUE."},
      {"  lsorbit   =   t  \n", "lsorbit = t"},
      {"LNONCOLLINEAR = .T.\n", "LNONCOLLINEAR = .T."},
      {"LNonCollinear = True\n", "LNonCollinear = True"},
      {"\tLSORBIT\t=\t.true.\r\n", "LSORBIT = .true."},
      {"SYSTEM = Fe3O4\nISPIN = 2\nLSORBIT = .TRUE. ! spin-orbit\nMAGMOM = 9*0 0 0 1\n", "LSORBIT = .TRUE."},
      {"ENCUT = 500; LSORBIT = T; LORBIT = 11\n", "LSORBIT = T"},
      {"ENCUT = 500 # cut-off\nGGA = PE ; LNONCOLLINEAR = .TRUE. # here\n", "LNONCOLLINEAR = .TRUE."},
      {"LNONCOLLINEAR = .TRUE.\nLSORBIT = .TRUE.\n", "LNONCOLLINEAR = .TRUE."},  // the first tells why
      {"LNONCOLLINEAR = .FALSE.\nLSORBIT = .TRUE.\n", "LSORBIT = .TRUE."},
      {"LSORBIT = .TRUE.\nLSORBIT = yes\n", "LSORBIT = .TRUE."},  // a key's first statement counts
      {"", ""}, {"\n", ""}, {"LSORBIT = .FALSE.\n", ""}, {"LNONCOLLINEAR = F\nLSORBIT = .f.\n", ""}, {"! LSORBIT = .TRUE.\n", ""},
      {"# LSORBIT = .TRUE.\n", ""}, {"ISPIN = 2 ! LSORBIT = .TRUE.\n", ""}, {"LSORBITAL = .TRUE.\n", ""}, {"XLSORBIT = .TRUE.\n", ""},
      {"LSORBIT .TRUE.\n", ""}, {"SYSTEM = LSORBIT = T\n", ""}, {"LSORBIT = .FALSE.\nLSORBIT = .TRUE.\n", ""}, {"LSORBIT = F; LSORBIT = T\n", ""},
      {"ENCUT = 400\nISPIN = 2; LSORBIT = yes\n", "Error! INCAR line 2: LSORBIT = yes" + neither},
      {"lnoncollinear = 1\n", "Error! INCAR line 1: lnoncollinear = 1" + neither},
      {"LSORBIT = .\n", "Error! INCAR line 1: LSORBIT = ." + neither},
      {"\n\n\nLSORBIT =   ! later\n", "Error! INCAR line 4: LSORBIT has no value"},
      {"LSORBIT=;ISPIN=2\n", "Error! INCAR line 1: LSORBIT has no value"},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(incar(text), want) << text;
}

}  // namespace
