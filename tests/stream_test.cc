// The modes run on the stream of atom blocks, whatever the threads, however
// finely the file is cut and however few atoms the ring holds: they write
// the tables of an ordinary run, or none, or (after a table that cannot be
// written) those before it.
#include <gtest/gtest.h>

#include "base/settings.h"
#include "doscar/doscar_files.h"

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
#include "driver/mode_frame.h"
#include "blocks/read_atoms.h"
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

// The line where atom `atom` (1-based) has its grid point `point` (from 0).
std::size_t line_index(const Shape& s, int atom, int point) {
  return 6 + s.ngrid + static_cast<std::size_t>(atom - 1) * (s.ngrid + 1) + 1 + point;
}

// A folder in memory whose writes of one table fail: the table whose text
// begins with `marker` (its first line).
class FailingDisk : public MemoryDisk {
 public:
  explicit FailingDisk(std::string marker) : marker_(std::move(marker)) {}
  long write(int fd, const char* data, std::size_t size) override {
    if (!marker_.empty() && std::string_view(data, size).substr(0, marker_.size()) == marker_)
      return -ENOSPC;
    return MemoryDisk::write(fd, data, size);
  }

 private:
  std::string marker_;
};

struct ModeRun {
  std::string failure;  // "" when the run succeeded
  std::map<std::string, std::string> tables;
};

// A mode run in the frame on `doscar` in memory, tables written to `disk`;
// `poscar`, when given, is the POSCAR beside DOSCAR.
ModeRun run_mode_on(const std::string& doscar, const std::vector<std::string>& args,
                    unsigned threads, const pdsplit::ReadPlan& plan, MemoryDisk& disk,
                    const ReadFaults& faults = {}, const std::string& poscar = "",
                    const pdsplit::Settings& settings = {}) {
  MemoryFiles files;
  files.add("DOSCAR", doscar);
  if (!poscar.empty()) files.add("POSCAR", poscar);
  files.faults = faults;
  QuietConsole console;
  pdsplit::Output output(disk, threads);
  pdsplit::Mode mode;
  EXPECT_TRUE(pdsplit::mode_of_option(args[0], mode));
  ModeRun r;
  try {
    pdsplit::DoscarFiles doscar(files);
    pdsplit::run_mode(mode, args, settings, console.get(), doscar, output, plan);
  } catch (const pdsplit::Failure& f) {
    r.failure = f.text();
  }
  r.tables = disk.files();
  return r;
}

std::vector<std::vector<std::string>> projected_commands() {
  return {{"-s1", "9", "2"},
          {"-fs2", "7", "3", "3", "9", "2", "7", "sum"},
          {"-p", "6"},
          {"-fa"},
          {"-a", "at"}};
}

TEST(StreamModes, TablesOfAnOrdinaryRunWhateverTheThreadsChunksAndRing) {
  std::string doscar = generated({"--natom", "9", "--ngrid", "301", "--npcol", "18",
                                  "--atom-shift", "--seed", "3"});
  for (const std::vector<std::string>& args : projected_commands()) {
    MemoryDisk ordinary_disk;
    ModeRun ordinary = run_mode_on(doscar, args, 1, {}, ordinary_disk);
    ASSERT_EQ(ordinary.failure, "") << args[0];
    ASSERT_FALSE(ordinary.tables.empty()) << args[0];
    for (unsigned threads : {2u, 3u, 8u})
      for (const pdsplit::ReadPlan& plan : fine_plans()) {
        MemoryDisk disk;
        ModeRun r = run_mode_on(doscar, args, threads, plan, disk);
        EXPECT_EQ(r.failure, "") << args[0] << ", " << show(threads, plan);
        EXPECT_TRUE(r.tables == ordinary.tables) << args[0] << ", " << show(threads, plan);
      }
  }
}

std::string atom_name(int atom) {
  char name[16];
  std::snprintf(name, sizeof name, "iLDOS%03d", atom);
  return name;
}

TEST(StreamModes, AllAtomsWithAWriteFailureAtAtomKPutsOnlyTheTablesBeforeIt) {
  Shape s{9, 301, 32};
  std::string clean = generated({"--natom", "9", "--ngrid", "301", "--npcol", "32",
                                 "--atom-shift", "--seed", "11"});
  MemoryDisk ordinary_disk;
  ModeRun ordinary = run_mode_on(clean, {"-a"}, 1, {}, ordinary_disk);
  ASSERT_EQ(ordinary.failure, "");
  ASSERT_EQ(ordinary.tables.size(), 9u);
  std::vector<std::string> lines = split_lines(clean);
  // A bad field in atom 8, after the table that cannot be written.
  std::vector<std::string> late = lines;
  late[line_index(s, 8, 3)][30] = 'x';
  std::string late_fault = join_lines(late);
  for (int k : {1, 4, 9}) {
    std::string first_line = split_lines(ordinary.tables.at(atom_name(k)))[0];
    for (unsigned threads : {1u, 2u, 3u, 8u})
      for (const pdsplit::ReadPlan& plan : fine_plans()) {
        std::string what = "atom " + std::to_string(k) + ", " + show(threads, plan);
        FailingDisk disk(first_line);
        ModeRun r = run_mode_on(clean, {"-a"}, threads, plan, disk);
        EXPECT_EQ(r.failure, "Error! Cannot write " + atom_name(k) + ": " +
                                 std::strerror(ENOSPC)) << what;
        std::map<std::string, std::string> before;
        for (int atom = 1; atom < k; ++atom)
          before[atom_name(atom)] = ordinary.tables.at(atom_name(atom));
        // Nothing else: no table from k on, no temporary file.
        EXPECT_TRUE(r.tables == before) << what << ": " << r.tables.size() << " files";
        if (k < 8) {
          FailingDisk then_fault(first_line);
          ModeRun f = run_mode_on(late_fault, {"-a"}, threads, plan, then_fault);
          EXPECT_EQ(f.failure.rfind("Error! DOSCAR line " +
                                        std::to_string(line_index(s, 8, 3) + 1) + ", columns 24-35: ",
                                    0),
                    0u) << what << ": " << f.failure;
          EXPECT_TRUE(f.tables.empty()) << what << ": " << f.tables.size() << " files";
        }
      }
  }
}

TEST(StreamModes, AFaultInAtomKLeavesNoTableAndNoTemporary) {
  Shape s{9, 301, 32};
  std::string clean = generated({"--natom", "9", "--ngrid", "301", "--npcol", "32", "--seed", "5"});
  std::vector<std::string> lines = split_lines(clean);
  for (int k : {1, 5, 9}) {
    std::vector<std::string> broken = lines;
    broken[line_index(s, k, 100)][60] = '?';
    std::string bad = join_lines(broken);
    std::size_t in_atom = 0;
    for (std::size_t i = 0; i < line_index(s, k, 250); ++i) in_atom += lines[i].size() + 1;
    ReadFaults cut;
    cut.fail_at = in_atom + 5;
    for (const std::vector<std::string>& args : projected_commands())
      for (unsigned threads : {1u, 3u})
        for (const pdsplit::ReadPlan& plan : fine_plans()) {
          std::string what = args[0] + ", atom " + std::to_string(k) + ", " + show(threads, plan);
          MemoryDisk disk;
          ModeRun r = run_mode_on(bad, args, threads, plan, disk);
          EXPECT_EQ(r.failure.rfind("Error! DOSCAR line " +
                                        std::to_string(line_index(s, k, 100) + 1) + ", columns 60-71: ",
                                    0),
                    0u) << what << ": " << r.failure;
          EXPECT_TRUE(r.tables.empty()) << what;
          MemoryDisk cut_disk;
          ModeRun c = run_mode_on(clean, args, threads, plan, cut_disk, cut);
          EXPECT_EQ(c.failure, "Error! Cannot read DOSCAR: " + std::string(std::strerror(EIO)))
              << what;
          EXPECT_TRUE(c.tables.empty()) << what;
        }
  }
}

TEST(StreamModes, OperandErrorsComeAfterTheWholeFileAndItsFaults) {
  std::string clean = generated({"--natom", "4", "--ngrid", "51", "--npcol", "9"});
  std::vector<std::string> lines = split_lines(clean);
  lines[lines.size() - 2][15] = 'x';  // a bad field in the last atom
  std::string bad = join_lines(lines);
  const std::vector<std::vector<std::string>> wrong = {
      {"-p", "5"}, {"-p", "2", "a", "b"}, {"-s1", "0", "3"}, {"-s2", "4", "x", "1"},
      {"-s2", "3", "9", "out"}, {"-a", "x", "y"}, {"-a", " "}};
  for (const std::vector<std::string>& args : wrong) {
    MemoryDisk disk;
    ModeRun r = run_mode_on(bad, args, 2, fine_plans()[1], disk);
    EXPECT_EQ(r.failure.rfind("Error! DOSCAR line " + std::to_string(lines.size() - 1), 0), 0u)
        << args[0] << ": " << r.failure;
    EXPECT_TRUE(r.tables.empty());
    MemoryDisk clean_disk;
    ModeRun c = run_mode_on(clean, args, 2, fine_plans()[1], clean_disk);
    EXPECT_NE(c.failure, "") << args[0];
    EXPECT_EQ(c.failure.find("DOSCAR"), std::string::npos) << args[0] << ": " << c.failure;
    EXPECT_TRUE(c.tables.empty()) << args[0];
  }
}

// Iron is atoms 1, 2, 6, 7, oxygen 3, 4, 5 and nickel 8, 9.
const char* const kPoscar =
    "FeNiO\n1.0\n 5 0 0\n 0 5 0\n 0 0 5\n Fe O Fe_pv Ni\n 2 3 2 2\nDirect\n";
const std::map<std::string, std::vector<std::string>> kElementAtoms = {
    {"iSUMDOS_Fe", {"1", "2", "6", "7"}}, {"iSUMDOS_O", {"3", "4", "5"}}, {"iSUMDOS_Ni", {"8", "9"}}};

TEST(StreamModes, ElementSumsAreTheListSumsOfTheirAtomsWhateverTheThreadsChunksAndRing) {
  std::string doscar = generated({"--natom", "9", "--ngrid", "301", "--npcol", "18",
                                  "--atom-shift", "--seed", "13"});
  MemoryDisk ordinary_disk;
  ModeRun ordinary = run_mode_on(doscar, {"-e"}, 1, {}, ordinary_disk, {}, kPoscar);
  ASSERT_EQ(ordinary.failure, "");
  ASSERT_EQ(ordinary.tables.size(), kElementAtoms.size());
  for (const auto& [name, atoms] : kElementAtoms) {
    std::vector<std::string> args = {"-s2"};
    args.insert(args.end(), atoms.begin(), atoms.end());
    args.push_back("list");
    MemoryDisk disk;
    ModeRun list = run_mode_on(doscar, args, 1, {}, disk);
    ASSERT_EQ(list.failure, "");
    EXPECT_EQ(ordinary.tables.at(name), list.tables.at("list")) << name;
  }
  for (unsigned threads : {2u, 3u, 8u})
    for (const pdsplit::ReadPlan& plan : fine_plans()) {
      MemoryDisk disk;
      ModeRun r = run_mode_on(doscar, {"-fe"}, threads, plan, disk, {}, kPoscar);
      EXPECT_EQ(r.failure, "") << show(threads, plan);
      MemoryDisk shifted_disk;
      ModeRun shifted = run_mode_on(doscar, {"-e"}, threads, plan, shifted_disk, {}, kPoscar);
      EXPECT_TRUE(shifted.tables == ordinary.tables) << show(threads, plan);
      EXPECT_FALSE(r.tables == ordinary.tables) << "-fe shifted the energies";
    }
}

TEST(StreamModes, ElementSumsThatCannotAllBeWrittenLeaveNoTableAndNoTemporary) {
  std::string doscar = generated({"--natom", "9", "--ngrid", "301", "--npcol", "18", "--seed", "17"});
  MemoryDisk ordinary_disk;
  ModeRun ordinary = run_mode_on(doscar, {"-e"}, 1, {}, ordinary_disk, {}, kPoscar);
  ASSERT_EQ(ordinary.failure, "");
  // The table of each element in turn cannot be written: the first, one
  // between, the last.
  for (const std::string name : {"iSUMDOS_Fe", "iSUMDOS_O", "iSUMDOS_Ni"})
    for (unsigned threads : {1u, 3u}) {
      FailingDisk disk(split_lines(ordinary.tables.at(name))[0]);
      ModeRun r = run_mode_on(doscar, {"-e"}, threads, {}, disk, {}, kPoscar);
      EXPECT_EQ(r.failure, "Error! Cannot write " + name + ": " + std::strerror(ENOSPC)) << name;
      EXPECT_TRUE(r.tables.empty()) << name << ": " << r.tables.size() << " files";
    }
  // The file written beside the first table (its moments).
  pdsplit::Settings moments;
  moments.moments = true;
  FailingDisk disk("# column");
  ModeRun r = run_mode_on(doscar, {"-e"}, 2, {}, disk, {}, kPoscar, moments);
  EXPECT_EQ(r.failure, "Error! Cannot write iSUMDOS_Fe.moments: " + std::string(std::strerror(ENOSPC)));
  EXPECT_TRUE(r.tables.empty()) << r.tables.size() << " files";
  MemoryDisk clean;
  r = run_mode_on(doscar, {"-e"}, 2, {}, clean, {}, kPoscar, moments);
  EXPECT_EQ(r.failure, "");
  EXPECT_EQ(r.tables.size(), 6u);
}

// A run of a mode with table options, in the frame, on `doscar` in memory:
// its console text too.
struct OptionsRun {
  std::string failure;  // "" when the run succeeded
  std::map<std::string, std::string> tables;
  std::string console;
};

OptionsRun run_options_on(const std::string& doscar, const pdsplit::Settings& settings,
                          const std::vector<std::string>& args, unsigned threads,
                          const pdsplit::ReadPlan& plan, MemoryDisk& disk) {
  MemoryFiles files;
  files.add("DOSCAR", doscar);
  Captured out;
  OptionsRun r;
  {
    pdsplit::Console console(out.open());
    pdsplit::Output output(disk, threads);
    pdsplit::Mode mode;
    EXPECT_TRUE(pdsplit::mode_of_option(args[0], mode));
    try {
      pdsplit::DoscarFiles doscar_files(files);
      pdsplit::run_mode(mode, args, settings, console, doscar_files, output, plan);
    } catch (const pdsplit::Failure& f) {
      r.failure = f.text();
    }
    console.flush();
  }
  // All but the processor time, which differs from run to run.
  for (const std::string& line : split_lines(out.close()))
    if (line.rfind(" CPU time", 0) != 0) r.console += line + '\n';
  r.tables = disk.files();
  return r;
}

// The tables whose moments the console shows, in the order shown.
std::vector<std::string> moments_shown(const std::string& console) {
  std::vector<std::string> names;
  for (const std::string& line : split_lines(console)) {
    const std::string head = " Moments of ";
    if (line.rfind(head, 0) == 0 && line.size() > head.size() + 1)
      names.push_back(line.substr(head.size(), line.size() - head.size() - 1));
  }
  return names;
}

pdsplit::Settings moments_settings() {
  pdsplit::Settings settings;
  settings.moments = true;
  settings.orbitals = pdsplit::Orbitals::L;
  return settings;
}

// -a with --moments makes its tables on every reading thread at once; the
// moments are printed in atom order all the same, and the tables, the
// .moments files and the console are those of a run on one thread.
TEST(StreamModes, AllAtomsWithMomentsPrintsThemInAtomOrderWhateverTheThreads) {
  std::string doscar = generated({"--natom", "9", "--ngrid", "301", "--npcol", "18",
                                  "--atom-shift", "--seed", "8"});
  MemoryDisk one_disk;
  OptionsRun one = run_options_on(doscar, moments_settings(), {"-a"}, 1, {}, one_disk);
  ASSERT_EQ(one.failure, "");
  ASSERT_EQ(one.tables.size(), 18u);
  std::vector<std::string> in_order;
  for (int atom = 1; atom <= 9; ++atom) {
    in_order.push_back(atom_name(atom));
    EXPECT_EQ(one.tables.count(atom_name(atom) + ".moments"), 1u) << atom;
  }
  EXPECT_EQ(moments_shown(one.console), in_order);
  for (unsigned threads : {2u, 3u, 8u})
    for (const pdsplit::ReadPlan& plan : fine_plans()) {
      MemoryDisk disk;
      OptionsRun r = run_options_on(doscar, moments_settings(), {"-a"}, threads, plan, disk);
      std::string what = show(threads, plan);
      EXPECT_EQ(r.failure, "") << what;
      EXPECT_TRUE(r.tables == one.tables) << what;
      EXPECT_EQ(r.console, one.console) << what;
    }
}

// A window that leaves fewer than 2 rows of atom 4 and of every atom after
// it (their energies lie higher: --atom-shift): the run reports atom 4,
// whichever thread meets which atom first, after printing the moments of
// atoms 1 to 3 in order, and writes nothing.
TEST(StreamModes, AllAtomsReportsTheFirstTableTheOptionsCannotMakeInAtomOrder) {
  std::string doscar = generated({"--natom", "9", "--ngrid", "301", "--npcol", "18",
                                  "--atom-shift", "--seed", "8"});
  reference::Doscar d = reference::parse(doscar);
  // Written energies: as read minus the Fermi energy, 3 decimals.
  auto written = [&](double e) { return std::stod(reference::energy_field(e - d.efermi)); };
  // Up to 0.03 eV above atom 1's second row: atoms shifted by 0.0375 eV or
  // more keep only their first row.
  double top = written(d.atoms[0][1][0]) + 0.03;
  int first_short = 0;
  for (int atom = 1; atom <= 9 && first_short == 0; ++atom) {
    int rows = 0;
    for (const reference::Row& row : d.atoms[static_cast<std::size_t>(atom - 1)])
      if (written(row[0]) <= top) ++rows;
    if (rows < 2) first_short = atom;
  }
  ASSERT_EQ(first_short, 4);
  pdsplit::Settings settings = moments_settings();
  settings.window_max = top;
  std::string failure = "Error! --window leaves fewer than 2 rows of the table " + atom_name(4);
  std::vector<std::string> shown = {atom_name(1), atom_name(2), atom_name(3)};
  MemoryDisk one_disk;
  OptionsRun one = run_options_on(doscar, settings, {"-a"}, 1, {}, one_disk);
  EXPECT_EQ(one.failure, failure);
  EXPECT_EQ(moments_shown(one.console), shown);
  EXPECT_TRUE(one.tables.empty()) << one.tables.size() << " files";
  for (unsigned threads : {2u, 3u, 8u})
    for (const pdsplit::ReadPlan& plan : fine_plans()) {
      MemoryDisk disk;
      OptionsRun r = run_options_on(doscar, settings, {"-a"}, threads, plan, disk);
      std::string what = show(threads, plan);
      EXPECT_EQ(r.failure, failure) << what;
      EXPECT_EQ(r.console, one.console) << what;
      EXPECT_TRUE(r.tables.empty()) << what << ": " << r.tables.size() << " files";
    }
}

// A table that cannot be written (atom k): the moments of atoms 1 to k
// are printed, in order, and none after (their tables are not made), the
// tables before k are in place (the .moments files, put in place after
// every table, are not), and the failure names table k.
TEST(StreamModes, AllAtomsWithMomentsAndAWriteFailureAtAtomK) {
  std::string doscar = generated({"--natom", "9", "--ngrid", "301", "--npcol", "32",
                                  "--atom-shift", "--seed", "11"});
  MemoryDisk ordinary_disk;
  OptionsRun ordinary = run_options_on(doscar, moments_settings(), {"-a"}, 1, {}, ordinary_disk);
  ASSERT_EQ(ordinary.failure, "");
  for (int k : {1, 4, 9}) {
    std::string first_line = split_lines(ordinary.tables.at(atom_name(k)))[0];
    std::map<std::string, std::string> before;
    std::vector<std::string> shown;
    for (int atom = 1; atom < k; ++atom)
      before[atom_name(atom)] = ordinary.tables.at(atom_name(atom));
    for (int atom = 1; atom <= k; ++atom) shown.push_back(atom_name(atom));
    for (unsigned threads : {1u, 2u, 3u, 8u})
      for (const pdsplit::ReadPlan& plan : fine_plans()) {
        std::string what = "atom " + std::to_string(k) + ", " + show(threads, plan);
        FailingDisk disk(first_line);
        OptionsRun r = run_options_on(doscar, moments_settings(), {"-a"}, threads, plan, disk);
        EXPECT_EQ(r.failure, "Error! Cannot write " + atom_name(k) + ": " +
                                 std::strerror(ENOSPC)) << what;
        EXPECT_EQ(moments_shown(r.console), shown) << what;
        EXPECT_TRUE(r.tables == before) << what << ": " << r.tables.size() << " files";
      }
  }
}

}  // namespace
