// The status line of big files: shown on a terminal, erased before every
// console line (so the console text is unchanged), absent otherwise.
#include <gtest/gtest.h>

#include <regex>

#include "lines.h"
#include "support.h"

namespace {

using namespace testing_support;

// A DOSCAR of more than 64 MiB: one generated atom block repeated.
void write_big_doscar(const Scratch& dir, int atoms) {
  generate(dir, {"--natom", "1", "--ngrid", "3001", "--npcol", "32"}, "one");
  std::vector<std::string> lines = split_lines(read_file(dir.file("one")));
  ::unlink(dir.file("one").c_str());
  char head[16];
  std::snprintf(head, sizeof head, "%4d%4d", atoms, atoms);
  lines[0].replace(0, 8, head);
  std::string top = join_lines(std::vector<std::string>(lines.begin(), lines.begin() + 6 + 3001));
  std::string block = join_lines(std::vector<std::string>(lines.begin() + 6 + 3001, lines.end()));
  std::string text = top;
  for (int i = 0; i < atoms; ++i) text += block;
  ASSERT_GT(text.size(), std::size_t{64} << 20);
  write_file(dir.file("DOSCAR"), text);
}

std::string without_cpu_time(std::string text) {
  return std::regex_replace(text, std::regex(" CPU time \\(s\\): +[0-9.]+\n"), "");
}

TEST(StatusLine, OnATerminalOnlyAndErasedBeforeEveryConsoleLine) {
  Scratch dir;
  write_big_doscar(dir, 60);
  RunResult plain = run_pdsplit(dir, {"-s1", "1", "60"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "");  // standard error is a file here: no status line

  // `script` gives the run a terminal for both output streams.
  RunResult tty = run_in(dir.path(), "/usr/bin/script",
                         {"-qec", std::string(PDSPLIT_BIN) + " -s1 1 60", "/dev/null"});
  ASSERT_EQ(tty.status, 0) << tty.out;
  std::string screen = std::regex_replace(tty.out, std::regex("\r\n"), "\n");
  EXPECT_NE(screen.find("\r reading DOSCAR "), std::string::npos);
  EXPECT_NE(screen.find("\r writing tables "), std::string::npos);
  EXPECT_NE(screen.find(" MB/s\x1b[K"), std::string::npos);
  // Every status line is erased, leaving exactly the console text.
  std::string text = std::regex_replace(screen, std::regex("\r[^\r\n]*\x1b\\[K"), "");
  EXPECT_EQ(without_cpu_time(text), without_cpu_time(plain.out));
  EXPECT_EQ(read_file(dir.file("iSUMDOS")).size(), 3001u * (11 + 12 * 32 + 1));
}

TEST(StatusLine, NotForSmallFiles) {
  Scratch dir;
  generate(dir, {"--natom", "3", "--ngrid", "301", "--npcol", "9"});
  RunResult tty = run_in(dir.path(), "/usr/bin/script",
                         {"-qec", std::string(PDSPLIT_BIN) + " -a", "/dev/null"});
  ASSERT_EQ(tty.status, 0);
  EXPECT_EQ(tty.out.find('\x1b'), std::string::npos);
}

}  // namespace
