// Reading the atom blocks on several threads gives the same array, and the
// same first error, as reading them on one.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "base/failure.h"
#include "blocks/line_blocks.h"
#include "blocks/readdos.h"
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
    // Cut finely: many chunks per thread, chunk ends inside lines.
    pdsplit::readdos(natom, o.LDOS.data(), ngrid, npcol, console, pdsplit::system_opener(),
                     threads, pdsplit::ChunkPlan{1, 1, 40000, 40000});
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

// What for_each_line handed out, line by line: number, text, complete.
using Handed = std::vector<std::tuple<std::int64_t, std::string, bool>>;

// Runs for_each_line on `path` after its first two lines, cut finely,
// keeping `kept` characters of a line.
Handed lines_of(const std::string& path, std::int64_t last_line, unsigned threads,
                std::uint64_t chunk, std::string* failure, std::size_t kept) {
  pdsplit::DoscarReader reader(kept);
  EXPECT_TRUE(reader.open(pdsplit::system_opener(), path.c_str()));
  std::string_view skipped;
  EXPECT_TRUE(reader.next_line(skipped) && reader.next_line(skipped));
  std::vector<std::tuple<std::int64_t, std::string, bool>> by_number(
      static_cast<std::size_t>(last_line + 1));
  pdsplit::ChunkPlan plan{1, 1, chunk, chunk};
  try {
    pdsplit::for_each_line(reader, last_line, 0, threads,
                           [&](std::int64_t n, std::string_view text, bool complete) {
                             by_number[static_cast<std::size_t>(n)] = {n, std::string(text), complete};
                           }, {}, plan);
  } catch (const pdsplit::Failure& f) {
    *failure = f.text();
  }
  Handed handed;
  for (auto& entry : by_number)
    if (std::get<0>(entry) != 0) handed.push_back(entry);
  return handed;
}

TEST(ForEachLine, EveryLineOnceWithItsNumberHoweverTheFileIsCut) {
  Scratch dir;
  std::mt19937 rng(5);
  // Short and empty lines, CRLF ends, a line longer than the reader keeps
  // in the middle, and last lines longer than many chunks, so that whole
  // chunks hold no line start.
  std::vector<std::string> lines;
  for (int i = 0; i < 400; ++i) lines.push_back(std::string(rng() % 90, 'a' + static_cast<char>(i % 26)));
  lines[17] += '\r';
  lines[200] = std::string(3000, 'M') + "\r";
  for (std::size_t i = 0; i < lines[200].size(); i += 10) lines[200][i] = 'm';
  lines.push_back(std::string(5000, 'L'));
  for (bool final_feed : {true, false})
    for (std::size_t kept : {std::size_t{1024}, std::size_t{8192}}) {
      std::string text = join_lines(lines);
      if (!final_feed) text.pop_back();
      write_file(dir.file("text"), text);
      auto total = static_cast<std::int64_t>(lines.size());
      Handed want;
      for (std::int64_t n = 3; n <= total; ++n) {
        std::string line = lines[static_cast<std::size_t>(n - 1)];
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // A line longer than is kept is handed out as soon as its kept
        // characters are in, as a line that ends.
        want.emplace_back(n, line.substr(0, kept), final_feed || n < total || line.size() > kept);
      }
      for (std::uint64_t chunk : {1u, 7u, 64u, 1000u, 1u << 20})
        for (unsigned threads : {1u, 2u, 3u, 8u}) {
          std::string failure;
          EXPECT_EQ(lines_of(dir.file("text"), total, threads, chunk, &failure, kept), want)
              << chunk << "-byte chunks, " << threads << " threads, " << kept << " kept";
          EXPECT_EQ(failure, "");
          // Only the lines asked for, and an error for lines that are not there.
          Handed some = lines_of(dir.file("text"), 250, threads, chunk, &failure, kept);
          EXPECT_EQ(some, Handed(want.begin(), want.begin() + 248));
          EXPECT_EQ(failure, "");
          lines_of(dir.file("text"), total + 3, threads, chunk, &failure, kept);
          EXPECT_EQ(failure, "Error! DOSCAR ends at line " + std::to_string(total) +
                                 ", but a DOSCAR has at least 8 lines");
        }
    }
}

}  // namespace
