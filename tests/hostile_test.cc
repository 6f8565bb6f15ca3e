// Whatever the input and whatever happens to the run, it ends with a clear
// message and the right status, and leaves no wrong or half-written table.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "lines.h"
#include "reference.h"
#include "support.h"

namespace {

using namespace testing_support;

bool has_temporary_files(const Scratch& dir) {
  for (const std::string& name : dir.entries())
    if (name.rfind(".pdsplit-", 0) == 0) return true;
  return false;
}

TEST(Hostile, CutAtEveryLineBoundaryAndInTheMiddleOfEveryLine) {
  Scratch dir;
  generate(dir, {"--natom", "2", "--ngrid", "5", "--npcol", "6"}, "whole");
  std::string whole = read_file(dir.file("whole"));
  ::unlink(dir.file("whole").c_str());
  std::vector<std::string> lines = split_lines(whole);
  ASSERT_EQ(lines.size(), 23u);
  std::size_t offset = 0;
  for (std::size_t kept = 0; kept < lines.size(); ++kept) {
    for (std::size_t part : {std::size_t{0}, lines[kept].size() / 2}) {
      write_file(dir.file("DOSCAR"), whole.substr(0, offset + part));
      RunResult r = run_pdsplit(dir, {"-a"});
      SCOPED_TRACE("cut after " + std::to_string(offset + part) + " bytes");
      EXPECT_EQ(r.status, 1);
      // Lines 1-5 or 1-6: a run that stopped before the DOS. Lines up
      // to the total-DOS block's end (line 11) or the first atom's header
      // line (12): the total DOS alone.
      std::string expected = "Error! DOSCAR ends ";
      if ((kept == 4 && part > 0) || kept == 5 || (kept == 6 && part == 0))
        expected = "Error! DOSCAR holds only its header";
      if ((kept == 11 || kept == 12) && !(kept == 12 && part > 0))
        expected = "Error! DOSCAR holds no projected DOS";
      EXPECT_EQ(r.err.rfind(expected, 0), 0u) << r.err;
      EXPECT_EQ(dir.entries(), std::vector<std::string>{"DOSCAR"});
    }
    offset += lines[kept].size() + 1;
  }
}

TEST(Hostile, EmptyBlankAndBinaryFiles) {
  Scratch dir;
  write_file(dir.file("DOSCAR"), "");
  RunResult r = run_pdsplit(dir, {"-t"});
  EXPECT_EQ(r.err, "Error! DOSCAR ends at line 0, but a DOSCAR has at least 8 lines\n");
  EXPECT_EQ(r.status, 1);

  // Blank fields read as 0, but a blank line 7 holds no total DOS.
  write_file(dir.file("DOSCAR"), std::string(8, '\n'));
  r = run_pdsplit(dir, {"-a"});
  EXPECT_EQ(r.err, "Error! DOSCAR line 7 holds 0 values, but a total-DOS line holds 2 "
                   "(without spin) or 4 (with spin)\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"DOSCAR"});

  std::mt19937 rng(5);
  for (int round = 0; round < 20; ++round) {
    std::string bytes(4096 + rng() % 8192, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    if (round % 2) bytes.replace(0, 16, "   2   2   1   0");
    write_file(dir.file("DOSCAR"), bytes);
    for (std::string option : {"-t", "-a", "-s1"}) {
      r = run_pdsplit(dir, {option, "1", "2"});
      EXPECT_TRUE(r.status == 1 || r.status == 2) << r.status << r.err;
      EXPECT_FALSE(has_temporary_files(dir));
    }
  }
}

TEST(Hostile, VeryLongLinesAndOddCounts) {
  Scratch dir;
  generate(dir, {"--natom", "2", "--ngrid", "6", "--npcol", "9"});
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  std::vector<std::string> lines = split_lines(read_file(dir.file("DOSCAR")));
  for (std::string& line : lines) line += std::string(100000, 'Z');
  write_file(dir.file("DOSCAR"), join_lines(lines));
  RunResult r = run_pdsplit(dir, {"-fa"});
  // Characters after the last field are never read; the E counts see only
  // the first 395 columns of a line.
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("iLDOS002")), reference::table(d.atoms[1], 0));

  // No grid points: the second total-DOS line is counted as the first
  // projected one, which is of no known kind.
  for (std::string ngrid : {"   -5", "    0"}) {
    std::vector<std::string> odd = split_lines(read_file(dir.file("DOSCAR")));
    odd[5].replace(32, 5, ngrid);
    write_file(dir.file("DOSCAR"), join_lines(odd));
    r = run_pdsplit(dir, {"-t", "empty"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(r.out.size() - 24), " LDOS type: Unspecified\n");
    EXPECT_FALSE(exists(dir.file("empty")));
  }
}

// Starts pdsplit -a in `dir` and signals it as soon as a temporary table
// appears (or after ten seconds); returns its exit status, and in `seen`
// whether a temporary table was there when the signal was sent.
int interrupt_while_writing(const Scratch& dir, int signal_number, bool& seen) {
  return interrupt_pdsplit(dir, {"-a"}, signal_number, [&] { return seen = has_temporary_files(dir); },
                           std::chrono::seconds(10));
}

TEST(Hostile, InterruptedRunsLeaveNoTemporaryFile) {
  Scratch dir;
  generate(dir, {"--natom", "400", "--ngrid", "501", "--npcol", "32"});
  // The signal must come while a table is being written, or the test
  // would prove nothing.
  bool seen = false;
  EXPECT_EQ(interrupt_while_writing(dir, SIGTERM, seen), 143);
  EXPECT_TRUE(seen) << "no temporary table appeared before the signal";
  EXPECT_FALSE(has_temporary_files(dir));
  EXPECT_EQ(interrupt_while_writing(dir, SIGINT, seen), 130);
  EXPECT_TRUE(seen) << "no temporary table appeared before the signal";
  EXPECT_FALSE(has_temporary_files(dir));
}

TEST(Hostile, ParallelRunsOnOneNameLeaveOneWholeTable) {
  Scratch dir;
  generate(dir, {"--natom", "3", "--ngrid", "3001", "--npcol", "16"});
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  std::vector<pid_t> children;
  for (int i = 0; i < 8; ++i) {
    pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
      ::freopen("/dev/null", "w", stdout);
      ::execl(PDSPLIT_BIN, PDSPLIT_BIN, "-s2", "3", "1", "same", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"DOSCAR", "same"}));
  EXPECT_EQ(read_file(dir.file("same")), reference::table(reference::sum_atoms(d, {3, 1}), d.efermi));
}

}  // namespace
