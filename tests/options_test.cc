// The long options, the table options and the element sums as users meet
// them: whole runs in memory on generated DOSCARs, each row a folder, a
// command line and what the tests' own model of the files says it gives,
// the same on any threads, chunks, ring and reads, and again with --quiet.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <numeric>
#include <sstream>

#include "driver/command_line.h"
#include "lines.h"
#include "reference.h"
#include "scenario.h"
#include "support.h"

namespace {

using namespace testing_support;
using reference::Doscar;
using reference::Row;
using reference::table;
using Rows = std::vector<Row>;
using Tables = std::map<std::string, std::string>;
using Elements = std::vector<std::pair<std::string, std::vector<int>>>;

Args with(Args a, const Args& more) { return a.insert(a.end(), more.begin(), more.end()), a; }

// The generator's DOSCAR for `options`, made once.
const std::string& dos(const Args& options) {
  static std::map<Args, std::string> made;
  if (!made.count(options)) made[options] = generated(options);
  return made[options];
}
Doscar parsed(const Args& options) { return reference::parse(dos(options)); }
Folder folder(const Args& options, Folder more = {}) { return more.emplace("DOSCAR", dos(options)), more; }

const Args kSmall = {"--natom", "5", "--ngrid", "41", "--npcol", "9", "--seed", "3"};
const Args kSpin = {"--natom", "2", "--ngrid", "40", "--npcol", "18", "--efermi", "1.25"};
const Args kPlain = {"--natom", "1", "--ngrid", "30", "--npcol", "9", "--efermi", "-0.5"};
const Args kShared = {"--natom", "3", "--ngrid", "21", "--npcol", "16", "--noncollinear"};
Args seven(const Args& kind) { return with({"--natom", "7", "--ngrid", "40", "--atom-shift", "--seed", "5"}, kind); }
const std::string kFeO = "Fe O Fe", kFeOCounts = "2 3 2";  // iron 1, 2, 6, 7; oxygen 3-5
const Elements kFeOAtoms = {{"Fe", {1, 2, 6, 7}}, {"O", {3, 4, 5}}};

std::string insert_after(std::string s, const std::string& after, const std::string& line) {
  return s.insert(s.find('\n', s.find(after)) + 1, line);
}
std::string with_file(const Doscar& d, const std::string& path) {
  return insert_after(reference::summary(d), " Opening DOSCAR", " File: " + path + "\n");
}
// The summary of the shape non-collinear runs share with plain s p d f files, read as
// non-collinear for `why`.
std::string shared(std::string s, const std::string& why) {
  std::size_t from = s.find(" Calc. type:"), to = s.find(" Number of atoms:");
  return s.replace(from, to - from, " Calc. type: non-collinear " + why +
                                        "\n LDOS type: l-projected\n Orbitals found: s p d f\n");
}

// A successful run of mode `m` (t, p, a, s1, s2, e).
Outcome ok(const std::string& m, const std::string& summary, Tables tables, bool shifted = true) {
  const std::map<std::string, std::string> headings = {
      {"t", "TOTAL DOS"}, {"p", "PROJECTED DOS FOR AN ATOM"}, {"a", "PROJECTED DOS FOR ALL ATOMS"},
      {"s1", "SUM PROJECTED DOS OF SEQUENTIAL ATOMS"}, {"s2", "SUM PROJECTED DOS OF DISCRETE ATOMS"},
      {"e", "SUM PROJECTED DOS OF EACH ELEMENT"}};
  return {0, reference::success(headings.at(m), summary, shifted, m == "a" || m == "e"), "", tables};
}
Tables atoms(const Doscar& d, double shift, const std::string& prefix = "iLDOS") {
  Tables t;
  for (int k = 1; k <= d.natom; ++k) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%03d", prefix.c_str(), k);
    t[name] = table(d.atoms[static_cast<std::size_t>(k - 1)], shift);
  }
  return t;
}
// The element sums: summary line "(FILE): ..." and their tables.
Outcome elements(const Doscar& d, const std::string& line, const Elements& e, const std::string& prefix = "iSUMDOS",
                 bool shifted = true, std::string summary = "") {
  Tables t;
  for (const auto& [symbol, list] : e)
    t[prefix + "_" + symbol] = table(reference::sum_atoms(d, list), shifted ? d.efermi : 0);
  if (summary.empty()) summary = reference::summary(d);
  return ok("e", insert_after(summary, " Number of atoms:", " Elements " + line + "\n"), t, shifted);
}

// A fault: `out` is what standard output ends with (all of it with --quiet),
// `err` the start of the one line on standard error.
Outcome said(int status, const std::string& out) { return {status, out, "", {}}; }
Outcome line(int status, const std::string& err) { return {status, "", err, {}}; }
Outcome block(const std::string& message) { return said(2, reference::error_block(message)); }

// `stage` of a fault: 0 before the mode runs, 1 while DOSCAR is read, 2 once it is read.
struct Case {
  Folder folder;
  Args args;
  Outcome want;
  int stage = 0;
};

void check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const std::string what = show(c.args);
    Outcome loud = run_every_way(c.folder, c.args);
    Args quiet = with({"--quiet"}, c.args), late = c.args;
    auto mode = std::find_if(late.begin(), late.end(), [](auto& a) { return !a.starts_with("--"); });
    late.insert(mode, "--quiet");
    if (c.want.status == 0) {
      expect_same(loud, c.want, what);
      expect_same(run_in_memory(c.folder, quiet), Outcome{0, "", "", c.want.tables}, "--quiet " + what);
      continue;
    }
    const Outcome runs[] = {loud, run_in_memory(c.folder, quiet), run_in_memory(c.folder, late)};
    for (const Outcome& got : runs) {
      bool is_quiet = &got != runs;
      EXPECT_EQ(got.status, c.want.status) << what;
      EXPECT_TRUE(got.err.starts_with(c.want.err)) << what << got.err;
      EXPECT_EQ(std::count(got.err.begin(), got.err.end(), '\n'), c.want.err.empty() ? 0 : 1) << what;
      EXPECT_TRUE(got.tables.empty()) << what;
      if (is_quiet || c.stage == 0) {
        EXPECT_EQ(got.out, (is_quiet ? "" : reference::banner()) + c.want.out) << what;
      } else {
        EXPECT_TRUE(got.out.starts_with(reference::banner()) && got.out.ends_with(c.want.out)) << what << got.out;
        EXPECT_EQ(got.out.find(" Closing DOSCAR file...") != std::string::npos, c.stage == 2) << what;
      }
    }
  }
}

TEST(Options, RunsAsTheModelSays) {
  const Doscar s = parsed(kSmall), e = parsed(with(kSmall, {"--efermi", "4.987"}));
  const Doscar nc = parsed(kShared), soc = parsed({"--natom", "2", "--ngrid", "11", "--npcol", "36", "--noncollinear"});
  auto efermi = [&](double given, const std::string& doscar) {
    std::string s = reference::summary(e);
    std::size_t at = s.find(" Fermi level (eV):");
    return s.replace(at, s.find('\n', at) - at,
                     " Fermi level (eV): " + reference::fixed8(given) + "  (--efermi; DOSCAR: " + doscar + ")");
  };
  std::vector<std::string> lines = split_lines(dos(kSmall));
  lines[60].replace(14, 3, "x.x");
  std::string unreadable = join_lines(lines);
  lines[5].replace(32, 5, "    0");
  std::string unspecified = join_lines(lines);
  const std::string what = "LSORBIT = what\n", kNc = " which no non-collinear run writes";
  std::vector<Case> cases = {
      // Options only before the mode: after it, operands as ever.
      {folder(kSmall), {"-ft", "--quiet"}, ok("t", reference::summary(s), {{"--quiet", table(s.total, 0)}}, false)},
      {folder(kSmall), {"-s2", "1", "2", "--doscar=x"}, ok("s2", reference::summary(s), {{"--doscar=x", table(reference::sum_atoms(s, {1, 2}), s.efermi)}})},
      {folder(kSmall), {"-p", "9"}, block("Wrong atomic index(es)"), 2},
      {folder(kSmall), {"--efermi=1", "-t", "1", "2"}, block("Too many input argument(s)"), 2},
      {folder(kSmall), {"--efermi=2"}, block("No input argument found")},
      // --doscar: the path given, the tables here; ./DOSCAR by its name as without it.
      {{{"run/DOSCAR", dos(kSmall)}}, {"--doscar=run/DOSCAR", "-p", "4"}, ok("p", with_file(s, "run/DOSCAR"), {{"iLDOS004", table(s.atoms[3], s.efermi)}})},
      {{{"run/packed", dos(with(kSmall, {"--compress", "gz"}))}}, {"--doscar=run/packed", "-fs1", "1", "5", "sum"},
       ok("s1", with_file(s, "run/packed"), {{"sum", table(reference::sum_atoms(s, {1, 2, 3, 4, 5}), 0)}}, false)},
      {folder(kSmall, {{"DOSCAR.gz", dos(with(kSmall, {"--seed", "9", "--compress", "gz"}))}}), {"--doscar=DOSCAR", "-t", "b"},
       ok("t", reference::summary(s), {{"b", table(s.total, s.efermi)}})},
      {{}, {"-t"}, said(1, " Error! There is no DOSCAR in current directory\n"), 1},
      {folder(kSmall), {"--doscar=run/DOSCAR", "-t"}, said(1, " Error! There is no run/DOSCAR\n"), 1},
      {folder(kSmall), {"--doscar=DOSCAR.gz", "-a"}, said(1, " Error! There is no DOSCAR.gz\n"), 1},
      {{{"DOSCAR", unreadable}}, {"-a"}, line(1, "Error! DOSCAR line 61, columns 12-23: "), 1},
      {{{"DOSCAR", unspecified}}, {"-t"}, said(1, " LDOS type: Unspecified\n"), 1},
      {{{"d/DOSCAR", dos(kSmall)}}, {"--doscar=d/DOSCAR", "-t", "DOSCAR"}, block("Output file would overwrite DOSCAR"), 2},
      // --efermi replaces line 6's Fermi energy; f still keeps the energies.
      {folder(with(kSmall, {"--efermi", "4.987"})), {"--efermi=5.1", "-p", "2"}, ok("p", efermi(5.1, "4.987"), {{"iLDOS002", table(e.atoms[1], 5.1)}})},
      {folder(with(kSmall, {"--efermi", "4.987"})), {"--efermi=-0.25", "-ft"}, ok("t", efermi(-0.25, "4.987"), {{"iDOS", table(e.total, 0)}}, false)},
      // --structure names the elements, read only when given.
      {folder(kSmall, {{"POSCAR", poscar("Fe_pv O Fe", "2 2 1")}}), {"--structure=POSCAR", "-a"},
       ok("a", insert_after(reference::summary(s), " Number of atoms:", " Elements (POSCAR): Fe 1-2, 5, O 3-4\n"), atoms(s, s.efermi))},
      {folder(kSmall, {{"r/CONTCAR", poscar("Ni", "5")}}), {"--structure=r/CONTCAR", "-t"},
       ok("t", insert_after(reference::summary(s), " Number of atoms:", " Elements (r/CONTCAR): Ni 1-5\n"), {{"iDOS", table(s.total, s.efermi)}})},
      {folder(kSmall, {{"CONTCAR", poscar("Fe", "1")}, {"POSCAR", "junk"}}), {"--down-negative", "-p", "1"},
       ok("p", reference::summary(s), {{"iLDOS001", table(s.atoms[0], s.efermi)}})},
      {folder(kSmall, {{"POSCAR", poscar("Fe O", "2 2")}}), {"--structure=POSCAR", "-t"}, line(1, "Error! POSCAR line 7: the counts add up to 4 atoms, but DOSCAR holds 5"), 1},
      {folder(kSmall, {{"POSCAR", poscar("2 3", "Direct")}}), {"--structure=POSCAR", "-p", "1"},
       line(1, "Error! POSCAR line 6 holds numbers, not element symbols (a VASP 4 file, which names no elements)"), 1},
      {folder(kSmall, {{"POSCAR", poscar("Fe O", "2 three")}}), {"--structure=POSCAR", "-t"}, line(1, "Error! POSCAR line 7: \"three\" is not an atom count (a whole number above 0)"), 1},
      {folder(kSmall, {{"POSCAR", poscar("Fe O", "5")}}), {"--structure=POSCAR", "-p", "1"}, line(1, "Error! POSCAR lines 6-7: 2 element symbols, but 1 atom count"), 1},
      {folder(kSmall, {{"POSCAR", ""}}), {"--structure=POSCAR", "-t"}, line(1, "Error! POSCAR is empty"), 1},
      {folder(kSmall), {"--structure=CONTCAR", "-t"}, line(1, "Error! There is no CONTCAR"), 1},
      // INCAR decides the shape non-collinear runs share, when the columns matter.
      {folder(kShared, {{"INCAR", what}}), {"-p", "1"}, ok("p", reference::summary(nc), {{"iLDOS001", table(nc.atoms[0], nc.efermi)}})},
      {folder(kShared, {{"INCAR", what}}), {"--noncollinear", "--down-negative", "-p", "1"},
       ok("p", shared(reference::summary(nc), "(--noncollinear)"), {{"iLDOS001", table(nc.atoms[0], nc.efermi)}})},
      {folder(kShared, {{"INCAR", "SYSTEM = Pt\nISPIN = 2 ; LSORBIT = .TRUE. ! with SOC\n"}}), {"--down-negative", "-p", "1"},
       ok("p", shared(reference::summary(nc), "(INCAR: LSORBIT = .TRUE.)"), {{"iLDOS001", table(nc.atoms[0], nc.efermi)}})},
      {folder(kShared, {{"INCAR", "lnoncollinear = T\n"}}), {"--orbitals=lm", "-fp", "2"},
       ok("p", shared(reference::summary(nc), "(INCAR: lnoncollinear = T)"), {{"iLDOS002", table(nc.atoms[1], 0)}}, false)},
      {folder(kShared, {{"INCAR", "LSORBIT = .FALSE.\n"}}), {"--down-negative", "-p", "3"}, ok("p", reference::summary(nc), {{"iLDOS003", table(nc.atoms[2], nc.efermi)}})},
      {folder(kShared), {"--down-negative", "-p", "3"}, ok("p", reference::summary(nc), {{"iLDOS003", table(nc.atoms[2], nc.efermi)}})},
      {folder(kShared, {{"soc/DOSCAR", dos(kShared)}, {"soc/INCAR", "LNONCOLLINEAR = .TRUE.\n"}, {"INCAR", "LNONCOLLINEAR = junk\n"}}),
       {"--doscar=soc/DOSCAR", "--down-negative", "-p", "1"},
       ok("p", shared(with_file(nc, "soc/DOSCAR"), "(soc/INCAR: LNONCOLLINEAR = .TRUE.)"), {{"iLDOS001", table(nc.atoms[0], nc.efermi)}})},
      {folder(kShared, {{"INCAR", what}}), {"--moments", "-p", "1", "x"}, line(1, "Error! INCAR line 1: LSORBIT = what is neither true (.TRUE.) nor false (.FALSE.)"), 1},
      {folder(kShared, {{"INCAR", what}}), {"--orbitals=l", "-t"}, line(1, "Error! INCAR line 1: LSORBIT"), 1},
      {folder({"--natom", "2", "--ngrid", "11", "--npcol", "36", "--noncollinear"}, {{"INCAR", "LSORBIT = .FALSE.\n"}}), {"--down-negative", "-t"},
       ok("t", reference::summary(soc), {{"iDOS", table(soc.total, soc.efermi)}})},
      {folder({"--natom", "2", "--ngrid", "11", "--npcol", "18"}), {"--noncollinear", "-t", "x"},
       line(1, "Error! --noncollinear: DOSCAR holds 4 total-DOS values and 18 values per projected line," + kNc), 1},
      {folder({"--natom", "2", "--ngrid", "11", "--npcol", "9"}), {"--noncollinear", "-t"},
       line(1, "Error! --noncollinear: DOSCAR holds 2 total-DOS values and 9 values per projected line," + kNc), 1},
      {folder({"--natom", "2", "--ngrid", "11", "--npcol", "8", "--total-only"}), {"--noncollinear", "-t"},
       line(1, "Error! --noncollinear: DOSCAR holds 4 total-DOS values," + kNc), 1},
      // Faults of the options: the first counts, --quiet is still seen.
      {folder(kSmall), {"--efermi=x", "--bogus", "--gaussian=0", "-t"}, line(2, "Error! --efermi=x: not a number")},
      {folder(kSmall), {"--header=1", "--bogus", "-t"}, line(2, "Error! --header=1: takes no value")},
      {folder(kSmall), {"--bogus", "--efermi=x", "-t"}, block("Wrong input argument(s)")},
      {folder(kSmall), {"--doscar=DOSCAR", "--bogus=1", "--help", "-p", "1"}, block("Wrong input argument(s)")},
  };
  for (std::string name : {"--", "--Quiet", "--quiet-", "--efermi-1", "--t", "---quiet", "--help-me", "--doscars=x", "--e"})
    cases.push_back({folder(kSmall), {name, "-t"}, block("Wrong input argument(s)")});
  for (std::string name : {"--quiet", "--header", "--help", "--version", "--noncollinear", "--down-negative", "--moments", "--cumulative"})
    cases.push_back({folder(kSmall), {name + "=1", "-t"}, line(2, "Error! " + name + "=1: takes no value")});
  for (std::string x : {"abc", " 5", "5 ", "0x10", "inf", "nan", "1e999", "1e", "5,1", "--", ".", "\x01"})
    cases.push_back({folder(kSmall), {"--efermi=" + x, "-t"}, line(2, "Error! --efermi=" + (x == "\x01" ? "\\x01" : x) + ": not a number")});
  const std::pair<Args, std::string> values[] = {
      {{"--efermi"}, "--efermi: needs a value, as in --efermi=E"},
      {{"--doscar="}, "--doscar=: needs a value, as in --doscar=PATH"},
      {{"--structure"}, "--structure: needs a value, as in --structure=PATH"},
      {{"--orbitals"}, "--orbitals: needs a value, as in --orbitals=lm|l|d-split|sum"},
      {{"--orbitals=LM"}, "--orbitals=LM: unknown grouping (lm, l, d-split or sum)"},
      {{"--window"}, "--window: needs a value, as in --window=EMIN:EMAX"},
      {{"--window=5"}, "--window=5: not EMIN:EMAX (either may be empty)"},
      {{"--window=a:5"}, "--window=a:5: \"a\" is not a number"},
      {{"--window=1:2:3"}, "--window=1:2:3: \"2:3\" is not a number"},
      {{"--window=3:-1"}, "--window=3:-1: EMIN is above EMAX"},
      {{"--gaussian"}, "--gaussian: needs a value, as in --gaussian=WIDTH"},
      {{"--gaussian=-0.1"}, "--gaussian=-0.1: the width must be above 0"},
      {{"--gaussian=w"}, "--gaussian=w: not a number"},
      {{"--efermi=1", "--efermi=1"}, "--efermi=1: given a second time"},
      {{"--window=:", "--window=1:2"}, "--window=1:2: given a second time"}};
  for (const auto& [args, message] : values) cases.push_back({folder(kSmall), with(args, {"-a"}), line(2, "Error! " + message)});
  check(cases);
}

}  // namespace
