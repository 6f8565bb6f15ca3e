// The total-DOS mode end to end: whole tables and whole console output on
// generated DOSCARs of every projection, and the ways a run can fail.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "lines.h"
#include "reference.h"
#include "support.h"

namespace {

using namespace testing_support;

std::string cpu_and_done(const std::string& out) {
  // The processor time varies; everything around it must not.
  return out.substr(out.size() - 24 - 35);
}

std::string without_cpu_and_done(const std::string& out) {
  return out.substr(0, out.size() - 24 - 35);
}

const char* const kAllProjections[] = {"3", "4", "9", "16", "6", "8", "18", "32"};

TEST(TotalDos, WholeTableAndConsoleForEveryProjection) {
  for (const char* npcol : kAllProjections) {
    Scratch dir;
    generate(dir, {"--natom", "2", "--ngrid", "60", "--npcol", npcol, "--seed", npcol});
    reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
    RunResult r = run_pdsplit(dir, {"-t"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(without_cpu_and_done(r.out),
              reference::banner() + " ::: TOTAL DOS :::\n" + reference::summary(d) +
                  " Closing DOSCAR file...\n Fermi level is shifted\n Creating output file...\n")
        << "NPCOL " << npcol;
    EXPECT_EQ(cpu_and_done(r.out).substr(0, 15), " CPU time (s): ");
    EXPECT_EQ(read_file(dir.file("iDOS")), reference::table(d.total, d.efermi)) << "NPCOL " << npcol;
    EXPECT_EQ(r.err, "");
  }
}

TEST(TotalDos, SummaryKeepsTheSignOfNegativeValuesNearZero) {
  Scratch dir;
  generate(dir, {"--natom", "1", "--ngrid", "20", "--npcol", "3", "--efermi", "-0.0004",
                 "--emin", "-0.0002", "--emax", "3"});
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  RunResult r = run_pdsplit(dir, {"-t"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" Energy min (eV):   -0.000\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" Fermi level (eV):   -0.000\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(reference::summary(d)), std::string::npos);
  // In the table, a negative energy that rounds to zero has no sign.
  EXPECT_EQ(read_file(dir.file("iDOS")), reference::table(d.total, d.efermi));
  EXPECT_EQ(read_file(dir.file("iDOS")).substr(0, 11), "      0.000");
}

TEST(TotalDos, UnshiftedUnderAGivenName) {
  for (std::string option : {"-ft", "-tf"}) {
    Scratch dir;
    generate(dir, {"--natom", "1", "--ngrid", "30", "--npcol", "4"});
    reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
    RunResult r = run_pdsplit(dir, {option, "TDOS"});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(" Fermi level is not shifted\n"), std::string::npos);
    EXPECT_EQ(read_file(dir.file("TDOS")), reference::table(d.total, 0.0));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"DOSCAR", "TDOS"}));
  }
}

TEST(TotalDos, LongAndOddGivenNamesAreUsedWhole) {
  Scratch dir;
  generate(dir, {"--natom", "1", "--ngrid", "10", "--npcol", "3"});
  std::string long_name(60, 'n');
  ASSERT_EQ(run_pdsplit(dir, {"-t", long_name}).status, 0);
  EXPECT_TRUE(exists(dir.file(long_name)));
  ASSERT_EQ(run_pdsplit(dir, {"-t", "with blank  "}).status, 0);
  EXPECT_TRUE(exists(dir.file("with blank")));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"DOSCAR", long_name, "with blank"}));
}

TEST(TotalDos, CommandLineErrorsComeAfterTheWholeRead) {
  Scratch dir;
  generate(dir, {"--natom", "2", "--ngrid", "10", "--npcol", "9"});
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  std::string before = reference::banner() + " ::: TOTAL DOS :::\n" + reference::summary(d) +
                       " Closing DOSCAR file...\n Fermi level is shifted\n";
  RunResult r = run_pdsplit(dir, {"-t", "a", "b"});
  EXPECT_EQ(r.out, before + reference::error_block("Too many input argument(s)"));
  EXPECT_EQ(r.status, 2);
  for (std::string empty : {"", "   "}) {
    r = run_pdsplit(dir, {"-t", empty});
    EXPECT_EQ(r.out, before + reference::error_block("Empty output file name"));
    EXPECT_EQ(r.status, 2);
  }
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"DOSCAR"});
}

TEST(TotalDos, WindowsLineEndsReadLikeUnixOnes) {
  Scratch unix_dir, windows_dir;
  std::vector<std::string> options = {"--natom", "2", "--ngrid", "25", "--npcol", "18",
                                      "--system", "Fe bcc"};
  generate(unix_dir, options);
  options.push_back("--crlf");
  generate(windows_dir, options);
  ASSERT_NE(read_file(unix_dir.file("DOSCAR")), read_file(windows_dir.file("DOSCAR")));
  RunResult a = run_pdsplit(unix_dir, {"-t"});
  RunResult b = run_pdsplit(windows_dir, {"-t"});
  EXPECT_EQ(without_cpu_and_done(a.out), without_cpu_and_done(b.out));
  EXPECT_NE(b.out.find(" System name:  Fe bcc\n"), std::string::npos);
  EXPECT_EQ(read_file(unix_dir.file("iDOS")), read_file(windows_dir.file("iDOS")));
}

TEST(TotalDos, ReplacesAnOlderLongerFileWithItsPlainPermissions) {
  Scratch dir;
  generate(dir, {"--natom", "1", "--ngrid", "10", "--npcol", "3"});
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  write_file(dir.file("iDOS"), std::string(100000, 'x'));
  ::chmod(dir.file("iDOS").c_str(), 0600);
  RunResult r = run_in(dir.path(), PDSPLIT_BIN, {"-t"}, "umask 027");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(read_file(dir.file("iDOS")), reference::table(d.total, d.efermi));
  struct stat st;
  ASSERT_EQ(::stat(dir.file("iDOS").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"DOSCAR", "iDOS"}));
}

TEST(TotalDos, AnOutputThatCannotBeWrittenLeavesNothingBehind) {
  Scratch dir;
  generate(dir, {"--natom", "1", "--ngrid", "400", "--npcol", "6"});
  ::mkdir(dir.file("folder").c_str(), 0755);
  write_file(dir.file("plain"), "old");
  write_file(dir.file("iDOS"), "old table");
  struct Case {
    std::string name, message, prefix;
  };
  const Case cases[] = {
      {"folder", "Error! Cannot write folder: Is a directory\n", ""},
      {"missing/x", "Error! Cannot write missing/x: No such file or directory\n", ""},
      {"plain/x", "Error! Cannot write plain/x: Not a directory\n", ""},
      {"iDOS", "Error! Cannot write iDOS: File too large\n", "ulimit -f 4"},
      // Control characters of a name are shown, not obeyed: one line.
      {"missing/a\nb\x1b[2J", "Error! Cannot write missing/a\\x0ab\\x1b[2J: No such file or directory\n", ""},
  };
  for (const Case& c : cases) {
    RunResult r = run_in(dir.path(), PDSPLIT_BIN, {"-t", c.name}, c.prefix);
    EXPECT_EQ(r.err, c.message);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(r.out.size() - 25), " Creating output file...\n");
  }
  EXPECT_EQ(read_file(dir.file("plain")), "old");
  EXPECT_EQ(read_file(dir.file("iDOS")), "old table");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"DOSCAR", "folder", "iDOS", "plain"}));
}

}  // namespace
