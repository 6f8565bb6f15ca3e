// The program run in-process on DOSCARs held in memory, through the seam
// every reader opens and reads DOSCAR by: the same console and tables as
// the program on a file on disk, whatever the reads bring (short reads,
// interrupted calls, no size known beforehand); a read that fails anywhere
// the run needs stops it with the error and nothing written; the first
// fault in the file is the one reported, whatever the threads; lines far
// longer than any field reaches read as their first characters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/failure.h"
#include "driver/run.h"
#include "blocks/read_atoms.h"
#include "lines.h"
#include "memory_files.h"
#include "support.h"

namespace {

using namespace testing_support;

using Args = std::vector<std::string>;

struct Outcome {
  std::string out;  // without the processor-time line
  std::string err;
  int status = -1;
  std::map<std::string, std::string> tables;
};

std::string without_cpu_time(std::string text) {
  std::size_t at = text.find(" CPU time (s):");
  if (at != std::string::npos) text.erase(at, text.find('\n', at) + 1 - at);
  return text;
}

Outcome run_with(MemoryFiles& files, const Args& args, unsigned threads) {
  MemoryDisk disk;
  Captured out, err;
  Outcome o;
  o.status = pdsplit::run(args, out.open(), err.open(), disk, files, threads);
  o.out = without_cpu_time(out.close());
  o.err = err.close();
  o.tables = disk.files();
  return o;
}

Outcome run_on(const std::string& doscar, const Args& args, unsigned threads,
               const ReadFaults& faults = {}) {
  MemoryFiles files;
  files.add("DOSCAR", doscar);
  files.faults = faults;
  return run_with(files, args, threads);
}

// The program itself on `doscar` written to a file.
Outcome run_binary(const std::string& doscar, const Args& args) {
  Scratch dir;
  write_file(dir.file("DOSCAR"), doscar);
  RunResult r = run_pdsplit(dir, args);
  Outcome o{without_cpu_time(r.out), r.err, r.status, {}};
  for (const std::string& name : dir.entries())
    if (name != "DOSCAR") o.tables[name] = read_file(dir.file(name));
  return o;
}

// Same outcome; tables compared without printing megabytes.
void expect_same(const Outcome& got, const Outcome& want, const std::string& what) {
  EXPECT_EQ(got.status, want.status) << what;
  EXPECT_EQ(got.out, want.out) << what;
  EXPECT_EQ(got.err, want.err) << what;
  std::vector<std::string> got_names, want_names;
  for (auto& [name, text] : got.tables) got_names.push_back(name);
  for (auto& [name, text] : want.tables) want_names.push_back(name);
  ASSERT_EQ(got_names, want_names) << what;
  for (auto& [name, text] : want.tables)
    EXPECT_TRUE(got.tables.at(name) == text) << what << ": table " << name << " differs";
}

std::string show(const Args& args) {
  std::string text;
  for (const std::string& a : args) text += a + " ";
  return text;
}

std::string show(const ReadFaults& f) {
  return "fail at " + std::to_string(f.fail_at) + ", reads of at most " +
         std::to_string(f.max_read) + ", every " + std::to_string(f.interrupt_every) +
         "th interrupted, size " + (f.size_known ? "known" : "unknown");
}

const std::vector<Args> kModes = {
    {"-t"}, {"-a"}, {"-p", "2"}, {"-s1", "1", "3"}, {"-fs2", "3", "1", "sum"}};

// Where each line of `text` begins (entry n - 1 for line n), and its end.
std::vector<std::uint64_t> line_starts(const std::string& text) {
  std::vector<std::uint64_t> starts{0};
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') starts.push_back(i + 1);
  return starts;
}

std::string cannot_read(int error) {
  return "Error! Cannot read DOSCAR: " + std::string(std::strerror(error));
}

TEST(InMemory, SameAsTheProgramOnAFile) {
  std::string doscar = generated({"--natom", "3", "--ngrid", "301", "--npcol", "18", "--seed", "7"});
  for (const Args& args : kModes) {
    Outcome want = run_binary(doscar, args);
    ASSERT_EQ(want.status, 0) << want.err;
    expect_same(run_on(doscar, args, 2), want, show(args));
  }
  // Failures too: a field that is no number, a file cut short.
  std::vector<std::string> lines = split_lines(doscar);
  lines[400].replace(30, 3, "x.x");
  std::string broken = join_lines(lines);
  std::string cut = doscar.substr(0, doscar.size() / 2);
  for (const std::string& text : {broken, cut})
    for (const Args& args : {Args{"-a"}, Args{"-p", "1"}}) {
      Outcome want = run_binary(text, args);
      EXPECT_EQ(want.status, 1);
      expect_same(run_on(text, args, 2), want, show(args));
    }
}

TEST(InMemory, MissingAndRefusedFiles) {
  MemoryFiles none;
  Scratch empty;
  RunResult r = run_pdsplit(empty, {"-t"});
  EXPECT_EQ(r.status, 1);
  expect_same(run_with(none, {"-t"}, 1), Outcome{without_cpu_time(r.out), r.err, r.status, {}},
              "no DOSCAR");
  for (int error : {EISDIR, pdsplit::kNotARegularFile}) {
    MemoryFiles files;
    files.refuse("DOSCAR", error);
    Outcome o = run_with(files, {"-a"}, 1);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "Error! Cannot read DOSCAR: " + pdsplit::describe_open_error(error) + "\n");
    EXPECT_EQ(files.counts.opens.load(), 0);
    EXPECT_TRUE(o.tables.empty());
  }
  EXPECT_EQ(pdsplit::describe_open_error(EISDIR), "Is a directory");
  EXPECT_EQ(pdsplit::describe_open_error(pdsplit::kNotARegularFile), "not a regular file");
}

// Faults that must change nothing, and how to see that they happened.
struct Harmless {
  ReadFaults faults;
  bool short_reads = false;
  bool interrupts = false;
};

std::vector<Harmless> harmless_faults() {
  auto with = [](std::size_t max_read, unsigned interrupt_every, bool size_known) {
    ReadFaults f;
    f.max_read = max_read;
    f.interrupt_every = interrupt_every;
    f.size_known = size_known;
    return Harmless{f, max_read != SIZE_MAX, interrupt_every != 0};
  };
  return {with(1, 0, true),        with(7, 0, true),        with(4099, 0, true),
          with(SIZE_MAX, 2, true), with(7, 3, true),        with(SIZE_MAX, 0, false),
          with(1000, 5, false)};
}

TEST(InMemory, ShortReadsInterruptionsAndUnknownSizesChangeNothing) {
  struct Data {
    Args options;
    std::vector<Args> modes;
    std::vector<unsigned> threads;
  };
  const Data data[] = {
      // Small, with Windows line ends: every mode, one thread does all.
      {{"--natom", "3", "--ngrid", "301", "--npcol", "32", "--crlf"}, kModes, {1, 4}},
      // About 5 MB: the atom blocks on two threads when four are offered.
      {{"--natom", "12", "--ngrid", "1001", "--npcol", "32", "--atom-shift"},
       {{"-a"}, {"-s1", "2", "11"}},
       {1, 4}},
  };
  for (const Data& d : data) {
    std::string doscar = generated(d.options);
    for (const Args& args : d.modes) {
      Outcome want = run_on(doscar, args, 1);
      ASSERT_EQ(want.status, 0) << want.err;
      for (const Harmless& h : harmless_faults())
        for (unsigned threads : d.threads) {
          MemoryFiles files;
          files.add("DOSCAR", doscar);
          files.faults = h.faults;
          std::string what = show(args) + show(h.faults) + ", " + std::to_string(threads) + " threads";
          expect_same(run_with(files, args, threads), want, what);
          if (h.short_reads) {
            EXPECT_GT(files.counts.short_reads.load(), 0u) << what;
          }
          if (h.interrupts) {
            EXPECT_GT(files.counts.interrupted.load(), 0u) << what;
          }
        }
    }
  }
}

TEST(InMemory, AReadErrorWhereverTheRunReadsStopsItWithNothingWritten) {
  const int ngrid = 1001;
  std::string doscar = generated({"--natom", "12", "--ngrid", "1001", "--npcol", "32"});
  std::vector<std::uint64_t> starts = line_starts(doscar);
  auto inside = [&](int line) { return starts[static_cast<std::size_t>(line - 1)] + 5; };
  // The last byte -t needs ends the first projected line.
  const std::uint64_t header_end = starts[static_cast<std::size_t>(8 + ngrid)];
  const std::uint64_t faults_at[] = {
      0,                              // the first byte
      inside(3),                      // the header
      inside(6),                      // the line of the energies
      inside(6 + 500),                // the total DOS
      inside(8 + ngrid),              // the first projected line
      header_end,                     // the first byte -t does not need
      inside(7 + ngrid + 3 * (ngrid + 1)),  // an atom header line
      inside(8 * (ngrid + 1)),        // deep in the atom blocks
      doscar.size() - 3,              // in the last line
  };
  for (const Args& args : {Args{"-t"}, Args{"-a"}, Args{"-p", "5"}, Args{"-s1", "1", "12"}}) {
    Outcome clean = run_on(doscar, args, 1);
    ASSERT_EQ(clean.status, 0);
    for (std::uint64_t at : faults_at)
      for (unsigned threads : {1u, 4u})
        for (std::size_t max_read : {SIZE_MAX, std::size_t{1000}}) {
          ReadFaults f;
          f.fail_at = at;
          f.max_read = max_read;
          std::string what = show(args) + show(f) + ", " + std::to_string(threads) + " threads";
          Outcome o = run_on(doscar, args, threads, f);
          if (args[0] == "-t" && at >= header_end) {
            expect_same(o, clean, what);  // past everything -t reads
            continue;
          }
          EXPECT_EQ(o.status, 1) << what;
          EXPECT_EQ(o.err, cannot_read(EIO) + "\n") << what;
          EXPECT_TRUE(o.tables.empty()) << what;
          EXPECT_EQ(clean.out.rfind(o.out, 0), 0u) << what << "\n" << o.out;
          EXPECT_EQ(o.out.find("Closing DOSCAR"), std::string::npos) << what;
        }
  }
  // Another error, in its own words.
  ReadFaults f;
  f.fail_at = inside(8 * (ngrid + 1));
  f.fail_errno = ESTALE;
  EXPECT_EQ(run_on(doscar, {"-a"}, 4, f).err, cannot_read(ESTALE) + "\n");
  // A fault after the last line a run needs is never reached.
  f.fail_at = doscar.size();
  expect_same(run_on(doscar, {"-a"}, 4, f), run_on(doscar, {"-a"}, 1), "fault at the end");
}

// read_atoms on a DOSCAR in memory, cut finely: every atom block handed
// over, in one array, or the failure.
struct Read {
  std::vector<double> LDOS;
  std::string failure;
};

constexpr double kUnwritten = -1234567.25;  // no DOSCAR field reads as this

class IntoArray final : public pdsplit::AtomSink {
 public:
  IntoArray(std::int32_t natom, std::size_t table_size, std::vector<double>& LDOS)
      : natom_(natom), size_(table_size), LDOS_(LDOS) {}
  std::vector<pdsplit::AtomRange> wanted() const override { return {{1, natom_}}; }
  bool in_order() const override { return false; }
  void take(std::int32_t atom, const double* table) override {
    std::copy(table, table + size_, LDOS_.begin() + static_cast<std::ptrdiff_t>(size_ * (atom - 1)));
  }

 private:
  std::int32_t natom_;
  std::size_t size_;
  std::vector<double>& LDOS_;
};

Read read_atoms_on(const std::string& doscar, const ReadFaults& faults, unsigned threads,
                   std::uint64_t chunk, int natom, int ngrid, int npcol) {
  MemoryFiles files;
  files.add("DOSCAR", doscar);
  files.faults = faults;
  Read r;
  r.LDOS.assign(static_cast<std::size_t>(natom) * ngrid * (npcol + 1), kUnwritten);
  IntoArray sink(natom, pdsplit::atom_table_size(ngrid, npcol), r.LDOS);
  Captured out;
  pdsplit::Console console(out.open());
  pdsplit::ReadPlan plan;
  plan.chunks = pdsplit::ChunkPlan{1, 1, chunk, chunk};
  try {
    pdsplit::read_atoms(natom, ngrid, npcol, false, sink, console, files, threads, plan);
  } catch (const pdsplit::Failure& f) {
    r.failure = f.text();
  }
  out.close();
  return r;
}

TEST(InMemory, FirstFaultInTheFileWhateverTheThreadsAndTheCut) {
  const int natom = 9, ngrid = 1001, npcol = 32;
  std::string doscar = generated({"--natom", "9", "--ngrid", "1001", "--npcol", "32"});
  std::vector<std::string> lines = split_lines(doscar);
  lines[4000][40] = 'x';  // line 4001, columns 36-47
  std::string broken = join_lines(lines);
  std::vector<std::uint64_t> starts = line_starts(broken);
  Read clean = read_atoms_on(doscar, {}, 1, 40000, natom, ngrid, npcol);
  ASSERT_EQ(clean.failure, "");
  const std::string bad_field = "Error! DOSCAR line 4001, columns 36-47: ";
  // Faults of reading before the bad field, in it and after it, at line
  // starts and inside lines.
  for (int line : {1500, 1501, 2600, 4001, 4002, 7000}) {
    for (std::uint64_t at : {starts[static_cast<std::size_t>(line - 1)],
                             starts[static_cast<std::size_t>(line - 1)] + 17}) {
      ReadFaults f;
      f.fail_at = at;
      Read first = read_atoms_on(broken, f, 1, 40000, natom, ngrid, npcol);
      // The faulty line is handed out only when read to its line feed.
      bool bad_line_read = at >= starts[4001];
      if (bad_line_read) {
        EXPECT_EQ(first.failure.rfind(bad_field, 0), 0u) << at << ": " << first.failure;
      } else {
        EXPECT_EQ(first.failure, cannot_read(EIO)) << at;
      }
      // Every atom block that ends before the first fault is read.
      int fault_line = bad_line_read ? 4001 : line;
      for (int n = 8 + ngrid; n < fault_line; ++n) {
        int offset = n - (7 + ngrid);
        int atom = offset / (ngrid + 1), j = offset % (ngrid + 1) - 1;
        if (j < 0 || 7 + 2 * ngrid + atom * (ngrid + 1) >= fault_line) continue;
        std::size_t row = (static_cast<std::size_t>(atom) * ngrid + j) * (npcol + 1);
        for (int c = 0; c <= npcol; ++c)
          ASSERT_EQ(first.LDOS[row + c], clean.LDOS[row + c]) << "line " << n << ", fault at " << at;
      }
      for (unsigned threads : {2u, 8u})
        for (std::uint64_t chunk : {std::uint64_t{5000}, std::uint64_t{1} << 20})
          for (std::size_t max_read : {SIZE_MAX, std::size_t{333}}) {
            f.max_read = max_read;
            f.interrupt_every = max_read == SIZE_MAX ? 0 : 4;
            EXPECT_EQ(read_atoms_on(broken, f, threads, chunk, natom, ngrid, npcol).failure,
                      first.failure)
                << show(f) << ", " << threads << " threads, chunks of " << chunk;
          }
    }
  }
}

// `doscar` with `junk` added to line `n` (1-based), before its carriage
// return if it has one.
std::string with_long_line(const std::string& doscar, std::size_t n, const std::string& junk) {
  std::vector<std::string> lines = split_lines(doscar);
  std::string& line = lines[n - 1];
  bool cr = !line.empty() && line.back() == '\r';
  if (cr) line.pop_back();
  line += junk;
  if (cr) line += '\r';
  return join_lines(lines);
}

TEST(InMemory, TenMegabyteLinesReadAsTheirFirstCharacters) {
  const std::size_t ngrid = 301;
  for (bool crlf : {false, true}) {
    Args options = {"--natom", "3", "--ngrid", "301", "--npcol", "32"};
    if (crlf) options.push_back("--crlf");
    std::string doscar = generated(options);
    // Blanks up to where no field reaches, then anything at all.
    std::string noise(10 << 20, 'E');
    for (std::size_t i = 0; i < noise.size(); i += 5) noise[i] = '7';
    std::string after_fields = std::string(1100, ' ') + noise;
    struct Variant {
      std::string what;
      std::string text;
    };
    std::size_t atom2 = 7 + ngrid + (ngrid + 1);  // the header line of atom 2
    std::vector<Variant> variants = {
        {"a header line read by no one", with_long_line(doscar, 2, noise)},
        {"the line of the system name", with_long_line(doscar, 5, after_fields)},
        {"the line of the energies", with_long_line(doscar, 6, after_fields)},
        {"the first total line", with_long_line(doscar, 7, after_fields)},
        {"the first projected line", with_long_line(doscar, 8 + ngrid, after_fields)},
        {"an atom header line", with_long_line(doscar, atom2, noise)},
        {"a value line of atom 2", with_long_line(doscar, atom2 + 150, after_fields)},
    };
    std::string last = with_long_line(doscar, split_lines(doscar).size(), after_fields);
    last.pop_back();  // the last line without its line feed
    variants.push_back({"the last line", last});
    for (const Args& args : kModes) {
      Outcome want = run_on(doscar, args, 1);
      ASSERT_EQ(want.status, 0) << want.err;
      for (const Variant& v : variants)
        for (unsigned threads : {1u, 4u})
          expect_same(run_on(v.text, args, threads), want,
                      show(args) + v.what + (crlf ? ", CRLF" : "") + ", " +
                          std::to_string(threads) + " threads");
    }
  }
}

}  // namespace
