// Output names that would replace the DOSCAR being read: refused with the
// other operand checks, before any table is written, in every mode.
#include <gtest/gtest.h>

#include <unistd.h>

#include "reference.h"
#include "support.h"

namespace {

using namespace testing_support;

std::string tail_of(const std::string& out, std::size_t lines) {
  std::size_t at = out.size();
  for (std::size_t i = 0; i <= lines && at > 0; ++i) at = out.rfind('\n', at - 1);
  return out.substr(at == std::string::npos ? 0 : at + 1);
}

TEST(OutputNames, NoTableReplacesTheDoscarBeingRead) {
  Scratch dir;
  generate(dir, {"--natom", "3", "--ngrid", "40", "--npcol", "9"});
  std::string doscar = read_file(dir.file("DOSCAR"));
  ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
  ASSERT_EQ(::link(dir.file("DOSCAR").c_str(), dir.file("iLDOS002").c_str()), 0);
  ASSERT_EQ(::link(dir.file("DOSCAR").c_str(), dir.file("hard").c_str()), 0);
  const std::vector<std::vector<std::string>> refused = {
      {"-ft", "DOSCAR"},         {"-t", "./DOSCAR"},       {"-tf", "sub/../DOSCAR"},
      {"-t", dir.file("DOSCAR")}, {"-t", "DOSCAR.gz"},      {"-t", "DOSCAR.xz"},
      {"-t", "DOSCAR.bz2"},      {"-t", "hard"},           {"-s1", "1", "3", "DOSCAR"},
      {"-fs2", "1", "3", "./DOSCAR"}, {"-s2", "2", "hard"}, {"-p", "2"},
      {"-a"},                    {"-fa", "./iLDOS"},
  };
  for (const auto& args : refused) {
    RunResult r = run_pdsplit(dir, args);
    std::string line = args[0] + (args.size() > 1 ? " " + args.back() : "");
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_EQ(tail_of(r.out, 5),
              reference::error_block("Output file would overwrite DOSCAR")) << line;
    EXPECT_EQ(read_file(dir.file("DOSCAR")), doscar) << line;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"DOSCAR", "hard", "iLDOS002", "sub"}))
        << line;
  }
}

TEST(OutputNames, OtherNamesAndSymbolicLinksAreWrittenAsBefore) {
  Scratch dir;
  generate(dir, {"--natom", "2", "--ngrid", "40", "--npcol", "4"});
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
  // A DOSCAR in another folder is not the one read.
  EXPECT_EQ(run_pdsplit(dir, {"-ft", "sub/DOSCAR"}).status, 0);
  EXPECT_EQ(read_file(dir.file("sub/DOSCAR")), reference::table(d.total, 0));
  // Names that only begin like it.
  EXPECT_EQ(run_pdsplit(dir, {"-fp", "1", "DOSCAR"}).status, 0);
  EXPECT_EQ(read_file(dir.file("DOSCAR001")), reference::table(d.atoms[0], 0));
  EXPECT_EQ(run_pdsplit(dir, {"-ft", "DOSCAR.old"}).status, 0);
  // A symbolic link named as output is replaced by the table, the DOSCAR
  // it pointed to is untouched.
  std::string doscar = read_file(dir.file("DOSCAR"));
  ASSERT_EQ(::symlink("DOSCAR", dir.file("link").c_str()), 0);
  EXPECT_EQ(run_pdsplit(dir, {"-ft", "link"}).status, 0);
  EXPECT_EQ(read_file(dir.file("link")), reference::table(d.total, 0));
  EXPECT_EQ(read_file(dir.file("DOSCAR")), doscar);
}

}  // namespace
