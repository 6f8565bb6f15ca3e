// Reading the atom blocks on several threads gives the same array, and the
// same first error, as reading them on one.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "driver/failure.h"
#include "input/readdos.h"
#include "lines.h"
#include "support.h"

namespace {

using namespace testing_support;

// No DOSCAR field reads as this.
constexpr double kUnwritten = -1234567.25;

// Runs readdos in `dir` and returns its array, or the text of its failure.
struct Outcome {
  std::vector<double> LDOS;
  std::string failure;
};

Outcome read_in(const Scratch& dir, int natom, int ngrid, int npcol, unsigned threads) {
  char here[4096];
  EXPECT_NE(::getcwd(here, sizeof here), nullptr);
  EXPECT_EQ(::chdir(dir.path().c_str()), 0);
  Outcome o;
  o.LDOS.assign(static_cast<std::size_t>(natom) * ngrid * (npcol + 1), kUnwritten);
  std::FILE* sink = std::tmpfile();
  pdsplit::Console console(sink);
  try {
    pdsplit::readdos(natom, o.LDOS.data(), ngrid, npcol, console, threads);
  } catch (const pdsplit::Failure& f) {
    o.failure = f.text();
  }
  std::fclose(sink);
  EXPECT_EQ(::chdir(here), 0);
  return o;
}

TEST(ParallelRead, SameArrayWithAnyNumberOfThreads) {
  Scratch dir;
  // About 3 MB: several pieces per block and several blocks.
  generate(dir, {"--natom", "9", "--ngrid", "1001", "--npcol", "32", "--atom-shift", "--crlf"});
  Outcome one = read_in(dir, 9, 1001, 32, 1);
  ASSERT_EQ(one.failure, "");
  for (std::size_t i = 0; i < one.LDOS.size(); ++i)  // every element written
    ASSERT_NE(one.LDOS[i], kUnwritten) << "element " << i;
  for (unsigned threads : {2u, 3u, 8u}) {
    Outcome many = read_in(dir, 9, 1001, 32, threads);
    ASSERT_EQ(many.failure, "");
    EXPECT_EQ(std::memcmp(one.LDOS.data(), many.LDOS.data(), one.LDOS.size() * sizeof(double)), 0)
        << threads << " threads";
  }
}

TEST(ParallelRead, FirstFaultInTheFileWhateverTheThreads) {
  Scratch dir;
  generate(dir, {"--natom", "9", "--ngrid", "1001", "--npcol", "32"});
  std::vector<std::string> lines = split_lines(read_file(dir.file("DOSCAR")));
  // Faults early and late in the file: each thread meets one.
  lines[2000][30] = 'x';
  lines[2000][32] = 'x';
  lines[9000][11] = '?';
  write_file(dir.file("DOSCAR"), join_lines(lines));
  std::string first = read_in(dir, 9, 1001, 32, 1).failure;
  EXPECT_EQ(first.rfind("Error! DOSCAR line 2001, columns 24-35: ", 0), 0u) << first;
  for (unsigned threads : {2u, 4u}) EXPECT_EQ(read_in(dir, 9, 1001, 32, threads).failure, first);
  lines.resize(9500);
  lines[2000] = lines[2001];
  write_file(dir.file("DOSCAR"), join_lines(lines));
  first = read_in(dir, 9, 1001, 32, 1).failure;
  EXPECT_EQ(first.rfind("Error! DOSCAR line 9001, columns 12-23: ", 0), 0u) << first;
  for (unsigned threads : {2u, 4u}) EXPECT_EQ(read_in(dir, 9, 1001, 32, threads).failure, first);
  // Cut short: the end-of-file error comes after every line there is.
  lines.resize(9200);
  write_file(dir.file("DOSCAR"), join_lines(lines));
  first = read_in(dir, 9, 1001, 32, 1).failure;
  EXPECT_EQ(first.rfind("Error! DOSCAR line 9001, columns 12-23: ", 0), 0u) << first;
  lines[9000] = lines[9001];
  write_file(dir.file("DOSCAR"), join_lines(lines));
  for (unsigned threads : {1u, 2u, 4u})
    EXPECT_EQ(read_in(dir, 9, 1001, 32, threads).failure,
              "Error! DOSCAR ends at line 9200, but its header needs 10025 lines");
}

}  // namespace
