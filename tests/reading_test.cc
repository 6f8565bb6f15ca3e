// Reading DOSCAR in-process: every atom block a sink wants, once, whole and
// as the tests' own parser reads it, and sums in list order to the bit,
// however the file is cut for the threads; the faults of header and value
// lines as the program reports them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

#include "base/failure.h"
#include "modes/atom_sum.h"
#include "reference.h"
#include "scenario.h"
#include "support.h"

namespace {

using namespace testing_support;

std::size_t table_size(const reference::Doscar& d) {
  return static_cast<std::size_t>(d.ngrid) * static_cast<std::size_t>(d.npcol + 1);
}

// read_atoms on `doscar` (of the shape the model reads in it) in memory, read the `way` given:
// the failure's text, or "".
std::string read_blocks(const std::string& doscar, const reference::Doscar& d, pdsplit::AtomSink& sink,
                        const ReadWay& way) {
  MemoryFiles files;
  files.add("DOSCAR", doscar);
  files.faults = way.faults;
  Captured out;
  pdsplit::Console console(out.open());
  std::string failure;
  try {
    pdsplit::read_atoms(d.natom, d.ngrid, d.npcol, d.wrapped, sink, console, files, way.threads, way.plan);
  } catch (const pdsplit::Failure& f) {
    failure = f.text();
  }
  out.close();
  return failure;
}

// Rows of a table, or of a sum of tables, one after the other.
std::vector<double> flat(const std::vector<reference::Row>& rows) {
  std::vector<double> table;
  for (const reference::Row& row : rows) table.insert(table.end(), row.begin(), row.end());
  return table;
}
bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// A sink that takes the atoms a sum of `list` wants and keeps a copy of
// each; when they come in order, it adds them as the sum modes do.
struct Taker : pdsplit::AtomSink {
  Taker(pdsplit::AtomList list, const reference::Doscar& d, unsigned threads, bool in_order)
      : sum(std::move(list), {d.natom, d.ngrid, d.npcol, threads}), ordered(in_order), size(table_size(d)) {}
  std::vector<pdsplit::AtomRange> wanted() const override { return sum.wanted(); }
  bool in_order() const override { return ordered; }
  void take(std::int32_t atom, const double* table) override {
    std::lock_guard lock(mutex);
    taken.emplace_back(atom, std::vector<double>(table, table + size));
    if (ordered) sum.take(atom, table);
  }
  pdsplit::AtomSum sum;
  bool ordered;
  std::size_t size;
  std::mutex mutex;
  std::vector<std::pair<int, std::vector<double>>> taken;
};

TEST(AtomBlocks, EachWantedBlockOnceWholeAndSummedToTheBitWhateverTheThreadsChunksAndRing) {
  const Args plain = shape(9, 301, "32", {"--atom-shift", "--crlf", "--seed", "7"}),
             wrapped = shape(5, 201, "64", {"--noncollinear", "--atom-shift"});
  const std::vector<int> unsorted = {7, 3, 3, 9, 2, 7, 5, 8, 2}, descending = {9, 8, 7, 6, 5, 4, 3, 2, 1};
  const std::tuple<Args, pdsplit::AtomList, std::vector<int>> cases[] = {
      {plain, pdsplit::AtomList::range(2, 9), {2, 3, 4, 5, 6, 7, 8, 9}},
      {plain, pdsplit::AtomList::list(unsorted), unsorted},
      {plain, pdsplit::AtomList::list(descending), descending},
      {plain, pdsplit::AtomList::list({6}), {6}},
      {wrapped, pdsplit::AtomList::range(1, 5), {1, 2, 3, 4, 5}},
  };
  // Files of about a megabyte read every way, and in chunks of 61 bytes
  // (most hold no line start) with a ring of three atoms.
  std::vector<ReadWay> ways = other_ways();
  ways.insert(ways.end(), {ReadWay{}, ReadWay{3, {{1, 1, 61, 61}, 3}, {}}});
  for (const auto& [options, list, atoms] : cases) {
    std::string text = doscar(options);
    // A line far longer than a chunk: the blanks after its fields skipped.
    if (std::size_t at = text.find('\r', text.size() / 2); at != std::string::npos)
      text.insert(at, 50000, ' ');
    reference::Doscar d = reference::parse(text);
    ASSERT_EQ(d.wrapped, options == wrapped);
    std::vector<double> want = flat(reference::sum_atoms(d, atoms));
    // The file tells orders apart: the same atoms added in another order
    // give other bits somewhere.
    ASSERT_FALSE(atoms == unsorted && same_bits(want, flat(reference::sum_atoms(d, {2, 8, 5, 7, 2, 9, 3, 3, 7}))));
    std::set<int> wanted(atoms.begin(), atoms.end());
    wanted.insert(1);  // for the energies
    for (bool in_order : {true, false})
      for (const ReadWay& way : ways) {
        std::string what = show(way) + (in_order ? ", in order, " : ", any order, ") +
                           std::to_string(atoms.size()) + " atoms";
        Taker taker(list, d, way.threads, in_order);
        ASSERT_EQ(read_blocks(text, d, taker, way), "") << what;
        std::multiset<int> taken;
        for (const auto& [atom, table] : taker.taken) {
          taken.insert(atom);
          EXPECT_TRUE(same_bits(table, flat(d.atoms[static_cast<std::size_t>(atom - 1)]))) << what << ", atom " << atom;
        }
        EXPECT_EQ(taken, std::multiset<int>(wanted.begin(), wanted.end())) << what;
        if (!in_order) continue;
        EXPECT_TRUE(std::is_sorted(taker.taken.begin(), taker.taken.end())) << what;
        const double* sum = taker.sum.table();
        EXPECT_TRUE(same_bits(std::vector<double>(sum, sum + table_size(d)), want)) << what;
      }
  }
}

Outcome run_on(const std::string& doscar, const Args& args) {
  return run_in_memory({{"DOSCAR", doscar}}, args, {2, {}, {}});
}

std::string total_width(const std::string& values) {
  return "Error! DOSCAR line 7 holds " + values +
         ", but a total-DOS line holds 2 (without spin) or 4 (with spin)";
}

TEST(ReadFaults, EveryFaultOfTheHeaderAndTheValuesStopsTheRunWithNothingWritten) {
  // 2 atoms, 10 grid points: 6 header lines, 10 total lines, 11 lines per atom.
  const std::vector<std::string> base = split_lines(generated({"--natom", "2", "--ngrid", "10", "--npcol", "9"}));
  constexpr std::size_t kAll = 99, kWhole = 999;
  const std::string opening = " Opening DOSCAR file...\n", unspecified = " LDOS type: Unspecified\n";
  struct Case {
    std::size_t line, column;  // 1-based, from 0 (kWhole: the text is the whole line)
    std::string text;
    std::size_t keep;  // lines kept
    Args args;
    std::string err, out_end = "";  // err "": the summary tells
  };
  const Args s1 = {"-s1", "1", "2"};
  const Case cases[] = {
      {1, 0, "  x2", kAll, s1, "Error! DOSCAR line 1, columns 1-4: \"x2\" is not a number", opening},
      {6, 0, "           1.2.3", kAll, s1, "Error! DOSCAR line 6, columns 1-16: \"1.2.3\" is not a number", opening},
      {6, 32, "  1a ", kAll, s1, "Error! DOSCAR line 6, columns 33-37: \"1a\" is not a number", opening},
      {6, 37, "             --1", kAll, s1, "Error! DOSCAR line 6, columns 38-53: \"--1\" is not a number", opening},
      {7, 0, "    -20.00x", kAll, {"-t"}, "Error! DOSCAR line 7, columns 1-11: \"-20.00x\" is not a number"},
      {7, kWhole, "    -20.000  0.1573E-05  0.6116E-05  0.1000E+01", kAll, {"-t"}, total_width("3 values")},
      {7, kWhole, "    -20.000  0.1573e-05  0.6116e-05  0.1000e+01  0.2000e+01  0.3000e+01", kAll, {"-t"}, total_width("5 values")},
      {7, kWhole, "    -20.000  0.1573E-05", kAll, {"-t"}, total_width("1 value")},
      {7, kWhole, "", kAll, {"-a"}, total_width("0 values")},
      // The first projected line: 5 values, a projection of no known kind.
      {18, kWhole, base[17].substr(0, 11 + 12 * 5), kAll, {"-t"}, "", unspecified},
      // No grid points: the second total line is taken for the first projected one.
      {6, 32, "   -5", kAll, {"-t", "empty"}, "", unspecified},
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines = base;
    if (c.column == kWhole) lines[c.line - 1] = c.text;
    else if (c.line > 0) lines[c.line - 1].replace(c.column, c.text.size(), c.text);
    lines.resize(std::min(c.keep, lines.size()));
    Outcome o = run_on(join_lines(lines), c.args);
    EXPECT_EQ(o.err, c.err.empty() ? "" : c.err + "\n") << c.text;
    EXPECT_EQ(o.status, 1) << c.err;
    EXPECT_TRUE(o.tables.empty()) << c.err;
    EXPECT_TRUE(o.out.ends_with(c.out_end)) << c.err << o.out;
  }
}

TEST(ReadFaults, CutAtEveryLineBoundaryAndInTheMiddleOfEveryLine) {
  const std::string whole = generated({"--natom", "2", "--ngrid", "5", "--npcol", "6"});
  const std::vector<std::string> lines = split_lines(whole);
  ASSERT_EQ(lines.size(), 23u);  // the header needs lines 1-13
  std::size_t offset = 0;
  for (std::size_t kept = 0; kept < lines.size(); offset += lines[kept++].size() + 1)
    for (std::size_t part : {std::size_t{0}, lines[kept].size() / 2}) {
      Outcome o = run_on(whole.substr(0, offset + part), {"-a"});
      SCOPED_TRACE("cut after " + std::to_string(offset + part) + " bytes");
      EXPECT_EQ(o.status, 1);
      EXPECT_TRUE(o.tables.empty());
      // Lines 1-5 or 1-6: a run that stopped before the DOS. Up to the
      // total-DOS block's end (line 11) or the first atom's header line
      // (12): the total DOS alone. In the atom blocks: where it ends.
      std::string expected = "Error! DOSCAR ends ";
      if ((kept == 4 && part > 0) || kept == 5 || (kept == 6 && part == 0))
        expected = "Error! DOSCAR holds only its header";
      if ((kept == 11 || kept == 12) && !(kept == 12 && part > 0))
        expected = "Error! DOSCAR holds no projected DOS";
      if (kept >= 13 && kept != 17)  // not the header line of atom 2
        expected = part > 0 ? "Error! DOSCAR ends in the middle of line " + std::to_string(kept + 1) + "\n"
                            : "Error! DOSCAR ends at line " + std::to_string(kept) + ", but its header needs 23 lines\n";
      EXPECT_EQ(o.err.substr(0, expected.size()), expected);
    }
  // Every line there, the last without its line feed: nothing is missing.
  EXPECT_EQ(run_on(whole.substr(0, whole.size() - 1), {"-a"}).status, 0);
}

TEST(SystemOpener, FoldersAndPipesAreRefusedAtOnce) {
  Scratch dir;
  ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
  // A named pipe without a writer: opening it would wait.
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0644), 0);
  for (auto [name, error] : {std::pair{"folder", EISDIR}, {"pipe", pdsplit::kNotARegularFile}}) {
    pdsplit::Opened o = pdsplit::system_opener().open(dir.file(name));
    EXPECT_EQ(o.source, nullptr) << name;
    EXPECT_EQ(o.error, error) << name;
    EXPECT_TRUE(o.refused) << name;
  }
}

}  // namespace
