// The built program where the process itself is the point: its exit
// statuses and console as the in-memory runs give them, a console that
// cannot be written, real files (permissions, links, the DOSCAR read under
// other names) and the status line on a terminal.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "reference.h"
#include "scenario.h"
#include "support.h"

namespace {

using namespace testing_support;

TEST(Program, SameStatusConsoleAndTablesAsTheRunInMemory) {
  std::string doscar = generated({"--natom", "3", "--ngrid", "301", "--npcol", "18", "--seed", "7"});
  std::string cut = doscar.substr(0, doscar.size() / 2);
  const std::pair<std::string, Args> runs[] = {{doscar, {"-t"}}, {doscar, {"-a"}}, {doscar, {"-h"}},
                                               {doscar, {"-p", "9"}}, {cut, {"-a"}}, {"", {"-t"}}};  // "": no DOSCAR
  for (const auto& [text, args] : runs) {
    Scratch dir;
    if (!text.empty()) write_file(dir.file("DOSCAR"), text);
    RunResult r = run_pdsplit(dir, args);
    Outcome o{r.status, without_cpu_time(r.out), r.err, {}};
    for (const std::string& name : dir.entries())
      if (name != "DOSCAR") o.tables[name] = read_file(dir.file(name));
    expect_same(o, run_in_memory(text.empty() ? Folder{} : Folder{{"DOSCAR", text}}, args), show(args));
    // The processor time of a run this small: label, three blanks, 0.ddd.
    if (args[0] == "-t" && r.status == 0) {
      EXPECT_NE(r.out.find(" CPU time (s):    0."), std::string::npos) << r.out;
    }
  }
}

TEST(Program, AConsoleThatCannotBeWrittenIsAFailure) {
  Scratch dir;
  RunResult r = run_in(dir.path(), PDSPLIT_BIN, {"-h"}, "exec > /dev/full");
  EXPECT_EQ(r.err, "Error! Cannot write to standard output: No space left on device\n");
  EXPECT_EQ(r.status, 1);
}

TEST(Program, RealFilesAndLinks) {
  Scratch dir;
  generate(dir, {"--natom", "3", "--ngrid", "40", "--npcol", "9"});
  std::string doscar = read_file(dir.file("DOSCAR"));
  reference::Doscar d = reference::parse(doscar);
  // An older, longer file replaced, with the permissions of a new one.
  write_file(dir.file("iDOS"), std::string(100000, 'x'));
  ::chmod(dir.file("iDOS").c_str(), 0600);
  ASSERT_EQ(run_in(dir.path(), PDSPLIT_BIN, {"-t"}, "umask 027").status, 0);
  EXPECT_EQ(read_file(dir.file("iDOS")), reference::table(d.total, d.efermi));
  struct stat st;
  ASSERT_EQ(::stat(dir.file("iDOS").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // A symbolic link named as output is replaced; the DOSCAR it pointed to is not.
  ASSERT_EQ(::symlink("DOSCAR", dir.file("link").c_str()), 0);
  EXPECT_EQ(run_pdsplit(dir, {"-ft", "link"}).status, 0);
  EXPECT_EQ(read_file(dir.file("link")), reference::table(d.total, 0));
  EXPECT_EQ(read_file(dir.file("DOSCAR")), doscar);
}

// The text without the status lines: each a CR, text and the erase-line
// sequence ESC [ K, on one line; CR LF (a terminal's line end) as LF.
std::string without_status_lines(const std::string& text) {
  std::string plain = std::regex_replace(text, std::regex("\r\n"), "\n");
  return std::regex_replace(plain, std::regex("\r[^\r\n]*?\x1b\\[K"), "");
}

TEST(Program, StatusLineOnATerminalOnlyErasedBeforeEveryConsoleLine) {
  // More than 64 MiB: one generated atom block repeated.
  Scratch dir;
  std::vector<std::string> lines = split_lines(generated({"--natom", "1", "--ngrid", "3001", "--npcol", "32"}));
  lines[0].replace(0, 8, "  60  60");
  std::string text = join_lines({lines.begin(), lines.begin() + 3007});
  std::string block = join_lines({lines.begin() + 3007, lines.end()});
  for (int i = 0; i < 60; ++i) text += block;
  write_file(dir.file("DOSCAR"), text);
  RunResult plain = run_pdsplit(dir, {"-s1", "1", "60"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "");  // standard error is a file here
  // `script` gives the run a terminal for both output streams.
  RunResult tty = run_in(dir.path(), "/usr/bin/script", {"-qec", std::string(PDSPLIT_BIN) + " -s1 1 60", "/dev/null"});
  ASSERT_EQ(tty.status, 0) << tty.out;
  EXPECT_NE(tty.out.find("\r reading DOSCAR "), std::string::npos);
  EXPECT_NE(tty.out.find("\r writing tables "), std::string::npos);
  EXPECT_NE(tty.out.find(" MB/s\x1b[K"), std::string::npos);
  EXPECT_EQ(without_cpu_time(without_status_lines(tty.out)), without_cpu_time(plain.out));
  // Not for small files.
  generate(dir, {"--natom", "3", "--ngrid", "301", "--npcol", "9"});
  tty = run_in(dir.path(), "/usr/bin/script", {"-qec", std::string(PDSPLIT_BIN) + " -a", "/dev/null"});
  ASSERT_EQ(tty.status, 0);
  EXPECT_EQ(tty.out.find('\x1b'), std::string::npos);
}

// Nodes that are no regular file are written into, never replaced, and get no
// .moments beside them: a FIFO (read by a shell job), /dev/null, /dev/stdout.
TEST(Program, DevicesAndPipesAreWrittenInPlace) {
  Scratch dir;
  generate(dir, {"--natom", "2", "--ngrid", "30", "--npcol", "9"});
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
  // `: <> pipe` lets the reader go should the run never open the pipe.
  RunResult r = run_in(dir.path(), "/bin/sh", {"-c", "cat pipe > got & \"$0\" --moments -t pipe; s=$?; : <> pipe; wait; exit $s", PDSPLIT_BIN});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("got")), reference::table(d.total, d.efermi));
  r = run_pdsplit(dir, {"--moments", "-s1", "1", "2", "/dev/null"});
  EXPECT_TRUE(r.status == 0 && r.out.find(" Moments of /dev/null:") != std::string::npos && ::access("/dev/null.moments", F_OK) != 0) << r.err;
  r = run_pdsplit(dir, {"--quiet", "-t", "/dev/stdout"});
  EXPECT_TRUE(r.status == 0 && r.out == reference::table(d.total, d.efermi)) << r.err;
  struct stat st;
  EXPECT_TRUE(::stat(dir.file("pipe").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
  EXPECT_TRUE(::stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode));
  EXPECT_TRUE(::lstat("/dev/stdout", &st) != 0 || S_ISLNK(st.st_mode));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"DOSCAR", "got", "pipe"}));
}

}  // namespace
