// The atom blocks read as a stream: every block a sink wants reaches it
// once, whole and as the whole-array reader reads it, in atom order when
// the sink asks for it, whatever the threads, however finely the file is
// cut and however few atoms the ring holds; sums are bit for bit the sums
// in list order; the first fault in the file is reported and stops the
// blocks after it; and the modes run on the stream write the tables of an
// ordinary run, or none, or (after a table that cannot be written) those
// before it.
#include <gtest/gtest.h>

#include "base/settings.h"
#include "doscar/doscar_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/failure.h"
#include "driver/mode_frame.h"
#include "blocks/readdos.h"
#include "lines.h"
#include "memory_files.h"
#include "modes/atom_sum.h"
#include "reference.h"
#include "support.h"

namespace {

using namespace testing_support;

// A console whose lines go nowhere.
class QuietConsole {
 public:
  QuietConsole() : file_(std::tmpfile()), console_(file_) {}
  ~QuietConsole() { std::fclose(file_); }
  pdsplit::Console& get() { return console_; }

 private:
  std::FILE* file_;
  pdsplit::Console console_;
};

struct Shape {
  int natom, ngrid, npcol;
  bool wrapped = false;
  std::size_t table_size() const { return static_cast<std::size_t>(ngrid) * (npcol + 1); }
};

// Every atom's table as the whole-array reader reads it (one thread).
std::vector<double> whole_array(const std::string& doscar, const Shape& s) {
  MemoryFiles files;
  files.add("DOSCAR", doscar);
  std::vector<double> LDOS(s.table_size() * s.natom);
  QuietConsole console;
  pdsplit::readdos(s.natom, LDOS.data(), s.ngrid, s.npcol, console.get(), files, 1, {},
                   s.wrapped);
  return LDOS;
}

// A sink that keeps a copy of every table it is given, in the order given.
class Recorder : public pdsplit::AtomSink {
 public:
  Recorder(std::vector<pdsplit::AtomRange> wanted, bool in_order, std::size_t table_size)
      : wanted_(std::move(wanted)), in_order_(in_order), table_size_(table_size) {}
  std::vector<pdsplit::AtomRange> wanted() const override { return wanted_; }
  bool in_order() const override { return in_order_; }
  void take(std::int32_t atom, const double* table) override {
    std::lock_guard lock(mutex_);
    order.push_back(atom);
    tables[atom].push_back(std::vector<double>(table, table + table_size_));
  }

  std::vector<std::int32_t> order;
  std::map<std::int32_t, std::vector<std::vector<double>>> tables;

 private:
  std::vector<pdsplit::AtomRange> wanted_;
  bool in_order_;
  std::size_t table_size_;
  std::mutex mutex_;
};

// read_atoms on `doscar` in memory: the failure's text, or "".
std::string read_stream(const std::string& doscar, const Shape& s, pdsplit::AtomSink& sink,
                        unsigned threads, const pdsplit::ReadPlan& plan,
                        const ReadFaults& faults = {}) {
  MemoryFiles files;
  files.add("DOSCAR", doscar);
  files.faults = faults;
  QuietConsole console;
  try {
    pdsplit::read_atoms(s.natom, s.ngrid, s.npcol, s.wrapped, sink, console.get(), files,
                        threads, plan);
  } catch (const pdsplit::Failure& f) {
    return f.text();
  }
  return "";
}

// Plans that cut a file of about a megabyte into hundreds of chunks
// (chunk ends inside lines) or a few, with rings of one, two and three
// atoms and the ring a run would choose.
std::vector<pdsplit::ReadPlan> fine_plans() {
  std::vector<pdsplit::ReadPlan> plans;
  for (auto [chunk, slots] : {std::pair{997u, 1u}, {997u, 2u}, {997u, 0u}, {40000u, 1u},
                              {40000u, 3u}, {40000u, 0u}}) {
    pdsplit::ReadPlan plan;
    plan.chunks = pdsplit::ChunkPlan{1, 1, chunk, chunk};
    plan.ring_slots = slots;
    plans.push_back(plan);
  }
  return plans;
}

std::string show(unsigned threads, const pdsplit::ReadPlan& plan) {
  return std::to_string(threads) + " threads, chunks of " +
         std::to_string(plan.chunks.min_chunk) + " bytes, ring of " +
         std::to_string(plan.ring_slots) + " atoms";
}

// The table of atom `atom` (1-based) in `LDOS`.
std::vector<double> table_of(const std::vector<double>& LDOS, const Shape& s, int atom) {
  auto begin = LDOS.begin() + static_cast<std::ptrdiff_t>(s.table_size() * (atom - 1));
  return std::vector<double>(begin, begin + static_cast<std::ptrdiff_t>(s.table_size()));
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

void expect_each_wanted_atom_once(const Recorder& r, const std::set<int>& wanted,
                                  const std::vector<double>& LDOS, const Shape& s, bool in_order,
                                  const std::string& what) {
  std::set<int> got;
  for (const auto& [atom, copies] : r.tables) {
    got.insert(atom);
    ASSERT_EQ(copies.size(), 1u) << what << ": atom " << atom << " taken more than once";
    EXPECT_TRUE(same_bits(copies[0], table_of(LDOS, s, atom))) << what << ": atom " << atom;
  }
  EXPECT_EQ(got, wanted) << what;
  if (in_order) {
    EXPECT_TRUE(std::is_sorted(r.order.begin(), r.order.end())) << what;
  }
}

TEST(StreamRead, EveryWantedBlockOnceAndWholeWhateverTheThreadsChunksAndRing) {
  Shape s{9, 301, 32};
  std::string doscar = generated({"--natom", "9", "--ngrid", "301", "--npcol", "32",
                                  "--atom-shift", "--crlf"});
  std::vector<double> LDOS = whole_array(doscar, s);
  struct Wanted {
    std::vector<pdsplit::AtomRange> ranges;
    std::set<int> atoms;
  };
  const std::vector<Wanted> cases = {
      {{{1, 9}}, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {{{7, 7}, {2, 4}, {3, 3}, {9, 40}}, {2, 3, 4, 7, 9}},
      {{{0, 0}, {12, 20}}, {}},
  };
  for (const Wanted& w : cases)
    for (bool in_order : {true, false})
      for (unsigned threads : {1u, 2u, 3u, 8u})
        for (const pdsplit::ReadPlan& plan : fine_plans()) {
          std::string what = show(threads, plan) + (in_order ? ", in order" : ", any order") +
                             ", " + std::to_string(w.atoms.size()) + " atoms wanted";
          Recorder r(w.ranges, in_order, s.table_size());
          ASSERT_EQ(read_stream(doscar, s, r, threads, plan), "") << what;
          expect_each_wanted_atom_once(r, w.atoms, LDOS, s, in_order, what);
        }
}

TEST(StreamRead, WrappedSpinOrbitBlocks) {
  Shape s{5, 201, 64, true};
  std::string doscar = generated({"--natom", "5", "--ngrid", "201", "--npcol", "64",
                                  "--noncollinear", "--atom-shift"});
  std::vector<double> LDOS = whole_array(doscar, s);
  for (unsigned threads : {1u, 3u})
    for (const pdsplit::ReadPlan& plan : fine_plans()) {
      Recorder r({{1, 5}}, true, s.table_size());
      ASSERT_EQ(read_stream(doscar, s, r, threads, plan), "") << show(threads, plan);
      expect_each_wanted_atom_once(r, {1, 2, 3, 4, 5}, LDOS, s, true, show(threads, plan));
    }
}

// The line where atom `atom` (1-based) has its grid point `point` (from 0).
std::size_t line_index(const Shape& s, int atom, int point) {
  return 6 + s.ngrid + static_cast<std::size_t>(atom - 1) * (s.ngrid + 1) + 1 + point;
}

TEST(StreamRead, FirstFaultInTheFileEndsTheBlocksFromItsAtomOn) {
  Shape s{9, 301, 32};
  std::string clean = generated({"--natom", "9", "--ngrid", "301", "--npcol", "32"});
  std::vector<double> LDOS = whole_array(clean, s);
  std::vector<std::string> lines = split_lines(clean);
  // A bad field in atom 4 and another in atom 7: the first is reported.
  lines[line_index(s, 4, 150)][40] = 'x';
  lines[line_index(s, 7, 10)][20] = '#';
  std::string broken = join_lines(lines);
  const std::string bad_field =
      "Error! DOSCAR line " + std::to_string(line_index(s, 4, 150) + 1) + ", columns 36-47: ";
  // Reading fails inside atom 4 too.
  std::size_t in_atom4 = 0;
  for (std::size_t i = 0; i < line_index(s, 4, 200); ++i) in_atom4 += lines[i].size() + 1;
  ReadFaults cut;
  cut.fail_at = in_atom4 + 17;
  for (unsigned threads : {1u, 2u, 3u, 8u})
    for (const pdsplit::ReadPlan& plan : fine_plans())
      for (bool in_order : {true, false}) {
        std::string what = show(threads, plan) + (in_order ? ", in order" : ", any order");
        Recorder r({{1, 9}}, in_order, s.table_size());
        std::string failure = read_stream(broken, s, r, threads, plan);
        EXPECT_EQ(failure.rfind(bad_field, 0), 0u) << what << ": " << failure;
        Recorder cut_short({{1, 9}}, in_order, s.table_size());
        EXPECT_EQ(read_stream(clean, s, cut_short, threads, plan, cut),
                  "Error! Cannot read DOSCAR: " + std::string(std::strerror(EIO)))
            << what;
        for (const Recorder* got : {&r, &cut_short}) {
          // Every block before the faulty one, whole; never the faulty one;
          // in order, nothing after it.
          for (int atom = 1; atom <= 3; ++atom) {
            ASSERT_EQ(got->tables.count(atom), 1u) << what << ": atom " << atom;
            EXPECT_TRUE(same_bits(got->tables.at(atom)[0], table_of(LDOS, s, atom))) << what;
          }
          EXPECT_EQ(got->tables.count(4), 0u) << what;
          if (in_order) {
            EXPECT_EQ(got->order, (std::vector<std::int32_t>{1, 2, 3})) << what;
          }
        }
      }
}

// A sum made on the stream, as the sum modes make it.
class SumSink : public pdsplit::AtomSink {
 public:
  SumSink(pdsplit::AtomList list, const pdsplit::Projected& blocks) : sum(std::move(list), blocks) {}
  std::vector<pdsplit::AtomRange> wanted() const override { return sum.wanted(); }
  bool in_order() const override { return true; }
  void take(std::int32_t atom, const double* table) override { sum.take(atom, table); }
  pdsplit::AtomSum sum;
};

// The sum of `atoms` (1-based) in their order, each element from 0, with
// the energies of atom 1: plainly, from the whole array.
std::vector<double> plain_sum(const std::vector<double>& LDOS, const Shape& s,
                              const std::vector<int>& atoms) {
  std::vector<double> sum(s.table_size(), 0.0);
  std::size_t columns = static_cast<std::size_t>(s.npcol) + 1;
  for (std::size_t i = 0; i < sum.size(); ++i) {
    if (i % columns == 0) {
      sum[i] = LDOS[i];
      continue;
    }
    for (int atom : atoms) sum[i] += LDOS[s.table_size() * static_cast<std::size_t>(atom - 1) + i];
  }
  return sum;
}

TEST(StreamSums, BitForBitTheSumInListOrderWhateverTheThreadsChunksAndRing) {
  Shape s{9, 301, 32};
  std::string doscar = generated({"--natom", "9", "--ngrid", "301", "--npcol", "32",
                                  "--atom-shift", "--seed", "7"});
  std::vector<double> LDOS = whole_array(doscar, s);
  const std::vector<int> unsorted = {7, 3, 3, 9, 2, 7, 5, 8, 2};
  // The file tells orders apart: the same atoms added in another order
  // give other bits somewhere.
  std::vector<int> reversed(unsorted.rbegin(), unsorted.rend());
  ASSERT_FALSE(same_bits(plain_sum(LDOS, s, unsorted), plain_sum(LDOS, s, reversed)));
  struct Case {
    std::string what;
    pdsplit::AtomList list;
    std::vector<int> atoms;
  };
  std::vector<Case> cases = {
      {"range 2-9", pdsplit::AtomList::range(2, 9), {2, 3, 4, 5, 6, 7, 8, 9}},
      {"unsorted list", pdsplit::AtomList::list({7, 3, 3, 9, 2, 7, 5, 8, 2}), unsorted},
      {"descending list", pdsplit::AtomList::list({9, 8, 7, 6, 5, 4, 3, 2, 1}),
       {9, 8, 7, 6, 5, 4, 3, 2, 1}},
      {"one atom, not atom 1", pdsplit::AtomList::list({6}), {6}},
  };
  for (const Case& c : cases) {
    std::vector<double> want = plain_sum(LDOS, s, c.atoms);
    for (unsigned threads : {1u, 2u, 3u, 8u})
      for (const pdsplit::ReadPlan& plan : fine_plans()) {
        SumSink sink(c.list, pdsplit::Projected{s.natom, s.ngrid, s.npcol, threads});
        ASSERT_EQ(read_stream(doscar, s, sink, threads, plan), "") << c.what;
        std::vector<double> got(sink.sum.table(), sink.sum.table() + s.table_size());
        EXPECT_TRUE(same_bits(got, want)) << c.what << ", " << show(threads, plan);
      }
  }
}

}  // namespace
