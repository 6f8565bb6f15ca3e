// The status line of big files: shown on a terminal, erased before every
// console line (so the console text is unchanged), absent otherwise.
#include <gtest/gtest.h>


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

// The text without its " CPU time (s): ..." line.
std::string without_cpu_time(std::string text) {
  std::size_t at = text.find(" CPU time (s):");
  if (at != std::string::npos) text.erase(at, text.find('\n', at) + 1 - at);
  return text;
}

// Terminal output as lines: CR LF as LF.
std::string unix_line_ends(std::string text) {
  for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;) text.erase(at, 1);
  return text;
}

// The text without the status lines: each a CR, text, and the erase-line
// sequence ESC [ K, on one line.
std::string without_status_lines(std::string text) {
  for (std::size_t at = 0; (at = text.find('\r', at)) != std::string::npos;) {
    std::size_t end = text.find("\x1b[K", at);
    if (end == std::string::npos || text.find_first_of("\r\n", at + 1) < end) {
      ++at;
      continue;
    }
    text.erase(at, end + 3 - at);
  }
  return text;
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
  std::string screen = unix_line_ends(tty.out);
  EXPECT_NE(screen.find("\r reading DOSCAR "), std::string::npos);
  EXPECT_NE(screen.find("\r writing tables "), std::string::npos);
  EXPECT_NE(screen.find(" MB/s\x1b[K"), std::string::npos);
  // Every status line is erased, leaving exactly the console text.
  std::string text = without_status_lines(screen);
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
