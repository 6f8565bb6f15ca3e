// The projected modes end to end: whole tables of one atom, every atom and
// sums, compared with tables computed here from the DOSCAR text, and the
// operand rules as tables of command lines.
#include <gtest/gtest.h>

#include <algorithm>

#include "lines.h"
#include "reference.h"
#include "support.h"

namespace {

using namespace testing_support;

const char* const kAllProjections[] = {"3", "4", "9", "16", "6", "8", "18", "32"};

TEST(ProjectedModes, EveryModeOnEveryProjection) {
  for (const char* npcol : kAllProjections) {
    SCOPED_TRACE(std::string("NPCOL ") + npcol);
    Scratch dir;
    // Atom blocks whose energies differ from atom 1's and from each other.
    generate(dir, {"--natom", "4", "--ngrid", "40", "--npcol", npcol, "--seed", npcol,
                   "--atom-shift"});
    reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
    ASSERT_EQ(d.npcol, std::atoi(npcol));

    ASSERT_EQ(run_pdsplit(dir, {"-p", "2"}).status, 0);
    EXPECT_EQ(read_file(dir.file("iLDOS002")), reference::table(d.atoms[1], d.efermi));

    ASSERT_EQ(run_pdsplit(dir, {"-fa", "at"}).status, 0);
    for (int k = 1; k <= 4; ++k)
      EXPECT_EQ(read_file(dir.file("at00" + std::to_string(k))), reference::table(d.atoms[k - 1], 0.0));

    ASSERT_EQ(run_pdsplit(dir, {"-s1", "4", "2"}).status, 0);
    EXPECT_EQ(read_file(dir.file("iSUMDOS")), reference::table(reference::sum_atoms(d, {2, 3, 4}), d.efermi));

    ASSERT_EQ(run_pdsplit(dir, {"-s2f", "3", "2", "3", "list"}).status, 0);
    EXPECT_EQ(read_file(dir.file("list")), reference::table(reference::sum_atoms(d, {3, 2, 3}), 0.0));
  }
}

TEST(ProjectedModes, WholeConsoleOfASuccessfulRun) {
  Scratch dir;
  generate(dir, {"--natom", "3", "--ngrid", "20", "--npcol", "16"});
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  RunResult r = run_pdsplit(dir, {"-a"});
  ASSERT_EQ(r.status, 0);
  std::string head = reference::banner() + " ::: PROJECTED DOS FOR ALL ATOMS :::\n" +
                     reference::summary(d) +
                     " Closing DOSCAR file...\n Fermi level is shifted\n Creating output files...\n";
  EXPECT_EQ(r.out.substr(0, head.size()), head);
  EXPECT_EQ(r.out.substr(head.size(), 15), " CPU time (s): ");
  EXPECT_EQ(r.out.substr(head.size() + 24), reference::kDone);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"DOSCAR", "iLDOS001", "iLDOS002", "iLDOS003"}));
}

struct OperandCase {
  std::vector<std::string> args;
  std::string error;               // message of the error block; empty for success
  std::vector<std::string> files;  // written besides DOSCAR
};

// On a DOSCAR of 12 atoms.
const OperandCase kOperandCases[] = {
    {{"-p"}, "No atom specified", {}},
    {{"-p", "x"}, "Wrong atomic index(es)", {}},
    {{"-p", "2.5"}, "Wrong atomic index(es)", {}},
    {{"-p", "2a"}, "Wrong atomic index(es)", {}},
    {{"-p", "0"}, "Wrong atomic index(es)", {}},
    {{"-p", "-1"}, "Wrong atomic index(es)", {}},
    {{"-p", "13"}, "Wrong atomic index(es)", {}},
    {{"-p", ""}, "Wrong atomic index(es)", {}},
    {{"-p", ",3"}, "Wrong atomic index(es)", {}},
    {{"-p", "2", "a", "b"}, "Too many input argument(s)", {}},
    {{"-p", "2", ""}, "Empty output file name", {}},
    {{"-p", "1"}, "", {"iLDOS001"}},
    {{"-p", "12"}, "", {"iLDOS012"}},
    {{"-p", "007"}, "", {"iLDOS007"}},
    {{"-p", "3,7"}, "", {"iLDOS003"}},
    {{"-p", "+3"}, "", {"iLDOS003"}},
    {{"-p", "3 7"}, "", {"iLDOS003"}},
    {{"-p", "2", "LDOS2"}, "", {"LDOS2002"}},
    {{"-p", "2", "Fe  "}, "", {"Fe002"}},
    {{"-a", "x", "y"}, "Too many input argument(s)", {}},
    {{"-a", " "}, "Empty output file name", {}},
    {{"-s1"}, "No atom specified", {}},
    {{"-s1", "2"}, "Too few input argument(s)", {}},
    {{"-s1", "x"}, "Too few input argument(s)", {}},
    {{"-s1", "0", "3"}, "Wrong atomic index(es)", {}},
    {{"-s1", "2", "13"}, "Wrong atomic index(es)", {}},
    {{"-s1", "x", "3"}, "Wrong atomic index(es)", {}},
    {{"-s1", "2.5", "3"}, "Wrong atomic index(es)", {}},
    {{"-s1", "", "3"}, "Wrong atomic index(es)", {}},
    {{"-s1", "2", "5", "a", "b"}, "Too many input argument(s)", {}},
    {{"-s1", "2", "5"}, "", {"iSUMDOS"}},
    {{"-s1", "1", "12"}, "", {"iSUMDOS"}},
    {{"-s1", "2", "5", "Fe"}, "", {"Fe"}},
    {{"-s1", "2", "5", "12"}, "", {"12"}},
    {{"-s2"}, "No atom specified", {}},
    {{"-s2", "Fe"}, "Wrong atomic index(es)", {}},
    {{"-s2", "1", "x", "3"}, "Wrong atomic index(es)", {}},
    {{"-s2", "1", "3", "x", "y"}, "Wrong atomic index(es)", {}},
    {{"-s2", "1", "3", "13"}, "Wrong atomic index(es)", {}},
    {{"-s2", "1", "3", "12345abc"}, "Wrong atomic index(es)", {}},
    {{"-s2", "1", "3", "/tmp/out"}, "Wrong atomic index(es)", {}},
    {{"-s2", "1", "3", ""}, "Wrong atomic index(es)", {}},
    {{"-s2", "1", "3", "5"}, "", {"iSUMDOS"}},
    {{"-s2", "4"}, "", {"iSUMDOS"}},
    {{"-s2", "1", "3", "10"}, "", {"iSUMDOS"}},
    {{"-s2", "1", "3", "5", "Fe"}, "", {"Fe"}},
    {{"-s2", "1", "3", "12abc"}, "", {"12abc"}},
    {{"-s2", "1", "3", "3,out"}, "", {"iSUMDOS"}},
};

TEST(ProjectedModes, OperandRules) {
  Scratch dir;
  generate(dir, {"--natom", "12", "--ngrid", "6", "--npcol", "3"});
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  std::string common = " Closing DOSCAR file...\n Fermi level is shifted\n";
  for (const OperandCase& c : kOperandCases) {
    std::string cmd;
    for (const std::string& a : c.args) cmd += "'" + a + "' ";
    SCOPED_TRACE(cmd);
    RunResult r = run_pdsplit(dir, c.args);
    std::size_t at = r.out.find(common);
    ASSERT_NE(at, std::string::npos) << r.out << r.err;
    std::string after = r.out.substr(at + common.size());
    if (c.error.empty()) {
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(after.substr(0, 25), c.args[0] == "-a" ? " Creating output files..." : " Creating output file...\n");
    } else {
      EXPECT_EQ(after, reference::error_block(c.error));
      EXPECT_EQ(r.status, 2);
    }
    std::vector<std::string> want = c.files;
    want.push_back("DOSCAR");
    std::sort(want.begin(), want.end());
    EXPECT_EQ(dir.entries(), want);
    for (const std::string& f : c.files) ::unlink(dir.file(f).c_str());
  }
}

// The command line `option atoms...`.
std::vector<std::string> list_arguments(const std::string& option, const std::vector<int>& atoms) {
  std::vector<std::string> args = {option};
  for (int atom : atoms) args.push_back(std::to_string(atom));
  return args;
}

TEST(ProjectedModes, ListsOfAnyLengthAndOrder) {
  Scratch dir;
  generate(dir, {"--natom", "5", "--ngrid", "8", "--npcol", "8", "--atom-shift"});
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  std::vector<int> atoms;
  for (int i = 0; i < 150; ++i) atoms.push_back(5 - i % 5);
  ASSERT_EQ(run_pdsplit(dir, list_arguments("-s2", atoms)).status, 0);
  EXPECT_EQ(read_file(dir.file("iSUMDOS")), reference::table(reference::sum_atoms(d, atoms), d.efermi));
  // Atom 1 left out: the energies are still those of atom 1.
  ASSERT_EQ(run_pdsplit(dir, {"-s2", "4", "2", "2", "out"}).status, 0);
  EXPECT_EQ(read_file(dir.file("out")), reference::table(reference::sum_atoms(d, {4, 2, 2}), d.efermi));
}

TEST(ProjectedModes, SumsLargeEnoughToShareOutAddInListOrder) {
  // 120 operands x 3001 rows x 32 columns: enough additions for the sum to
  // be split by rows between threads, each row still summed in list order.
  Scratch dir;
  generate(dir, {"--natom", "5", "--ngrid", "3001", "--npcol", "32", "--atom-shift"});
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  std::vector<int> atoms;
  for (int i = 0; i < 120; ++i) atoms.push_back(1 + (i * 3) % 5);
  ASSERT_EQ(run_pdsplit(dir, list_arguments("-s2f", atoms)).status, 0);
  EXPECT_EQ(read_file(dir.file("iSUMDOS")), reference::table(reference::sum_atoms(d, atoms), 0.0));
}

TEST(ProjectedModes, MoreThan999AtomsEachGetAFile) {
  Scratch dir;
  generate(dir, {"--natom", "1002", "--ngrid", "3", "--npcol", "4", "--atom-shift"});
  RunResult r = run_pdsplit(dir, {"-a"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> names = dir.entries();
  EXPECT_EQ(names.size(), 1003u);
  EXPECT_TRUE(exists(dir.file("iLDOS999")));
  EXPECT_TRUE(exists(dir.file("iLDOS1000")));
  EXPECT_TRUE(exists(dir.file("iLDOS1002")));
  std::string all_atoms_file = read_file(dir.file("iLDOS1001"));
  ::unlink(dir.file("iLDOS1001").c_str());
  ASSERT_EQ(run_pdsplit(dir, {"-p", "1001"}).status, 0);
  EXPECT_EQ(read_file(dir.file("iLDOS1001")), all_atoms_file);
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  EXPECT_EQ(all_atoms_file, reference::table(d.atoms[1000], d.efermi));
}

TEST(ProjectedModes, LongGivenNamesKeepTheirWholeSuffix) {
  Scratch dir;
  generate(dir, {"--natom", "3", "--ngrid", "4", "--npcol", "9"});
  std::string name(39, 'L');
  ASSERT_EQ(run_pdsplit(dir, {"-a", name}).status, 0);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"DOSCAR", name + "001", name + "002", name + "003"}));
}

TEST(ProjectedModes, NoAtomsMeansNoFiles) {
  Scratch dir;
  generate(dir, {"--natom", "1", "--ngrid", "4", "--npcol", "9"});
  std::vector<std::string> lines = split_lines(read_file(dir.file("DOSCAR")));
  lines[0].replace(0, 4, "   0");
  write_file(dir.file("DOSCAR"), join_lines(lines));
  RunResult r = run_pdsplit(dir, {"-a"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" Creating output files...\n CPU time"), std::string::npos);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"DOSCAR"});
}

}  // namespace
