// The long options, the table options and the element sums as users meet them: runs in memory on
// generated DOSCARs, each row a folder, a command line and what the tests' own model says it gives,
// the same on any threads, chunks, ring and reads, and again with --quiet.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <numeric>
#include <sstream>

#include "driver/command_line.h"
#include "reference.h"
#include "scenario.h"
#include "support.h"

namespace {

using namespace testing_support;
using reference::Doscar, reference::Row, reference::sum_atoms, reference::summary, reference::table;
using Rows = std::vector<Row>;
using Tables = std::map<std::string, std::string>;
using Elements = std::vector<std::pair<std::string, std::vector<int>>>;
constexpr auto npos = std::string::npos;

Args with(Args a, const Args& more) { return a.insert(a.end(), more.begin(), more.end()), a; }
const std::string& dos(const Args& options) {  // the generator's DOSCAR for `options`, made once
  static std::map<Args, std::string> made;
  return made.count(options) ? made[options] : made[options] = generated(options);
}
Doscar parsed(const Args& options) { return reference::parse(dos(options)); }
Folder folder(const Args& options, Folder more = {}) { return more.emplace("DOSCAR", dos(options)), more; }
const Args kSmall = {"--natom", "5", "--ngrid", "41", "--npcol", "9", "--seed", "3"},
           kSpin = {"--natom", "2", "--ngrid", "40", "--npcol", "18", "--efermi", "1.25"},
           kShared = {"--natom", "3", "--ngrid", "21", "--npcol", "16", "--noncollinear"};
Args seven(const std::string& npcol, const Args& more = {}) { return with({"--natom", "7", "--ngrid", "40", "--atom-shift", "--npcol", npcol}, more); }
// Iron is atoms 1, 2, 6 and 7, oxygen 3 to 5: its table has the energies of an atom it does not add.
Folder fe_o(const Args& doscar, Folder more = {}) { return more.emplace("POSCAR", poscar("Fe O Fe", "2 3 2")), folder(doscar, more); }
const Elements kFeO = {{"Fe", {1, 2, 6, 7}}, {"O", {3, 4, 5}}};

std::string insert_after(std::string s, const std::string& after, const std::string& line) { return s.insert(s.find('\n', s.find(after)) + 1, line); }
std::string with_file(const Doscar& d, const std::string& path) { return insert_after(summary(d), " Opening", " File: " + path + "\n"); }
std::string with_elements(const std::string& s, const std::string& e) { return insert_after(s, " Number of atoms:", " Elements " + e + "\n"); }
// The summary of the shape non-collinear runs share with s p d f files, read as non-collinear.
std::string shared(std::string s, const std::string& why) {
  std::size_t from = s.find(" Calc. type:"), to = s.find(" Number of atoms:");
  return s.replace(from, to - from, " Calc. type: non-collinear " + why + "\n LDOS type: l-projected\n Orbitals found: s p d f\n");
}

Outcome ok(const std::string& m, const std::string& summary, Tables tables, bool shifted = true) {  // mode m succeeded
  const std::map<std::string, std::string> headings = {{"t", "TOTAL DOS"}, {"p", "PROJECTED DOS FOR AN ATOM"},
      {"a", "PROJECTED DOS FOR ALL ATOMS"}, {"s1", "SUM PROJECTED DOS OF SEQUENTIAL ATOMS"},
      {"s2", "SUM PROJECTED DOS OF DISCRETE ATOMS"}, {"e", "SUM PROJECTED DOS OF EACH ELEMENT"}};
  return {0, reference::success(headings.at(m), summary, shifted, m == "a" || m == "e"), "", tables};
}
// The element sums PREFIX_SYMBOL of `d` (read from `file`) as `write` writes them; `line` names them.
Outcome elements(const Doscar& d, const std::string& line, const Elements& e, const std::string& prefix = "iSUMDOS", bool shifted = true,
                 std::function<std::string(const Rows&, double)> write = table, const std::string& file = "") {
  Tables t;
  for (const auto& [symbol, atoms] : e) t[prefix + "_" + symbol] = write(sum_atoms(d, atoms), shifted ? d.efermi : 0);
  return ok("e", with_elements(file.empty() ? summary(d) : with_file(d, file), line), t, shifted);
}
// A fault: standard output ends with `out` (is `out` with --quiet); standard error begins with `err`.
Outcome line(int status, const std::string& err) { return {status, "", err, {}}; }
Outcome block(const std::string& message) { return {2, reference::error_block(message), "", {}}; }
struct Case { Folder folder; Args args; Outcome want; int stage = 0; };  // a fault's stage: 0 before the mode, 1 reading, 2 read

// Each case every way, then with --quiet first, then with --quiet just before the mode.
void check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    Args late = c.args;
    late.insert(std::find_if(late.begin(), late.end(), [](auto& a) { return !a.starts_with("--"); }), "--quiet");
    const Outcome runs[] = {run_every_way(c.folder, c.args), run_in_memory(c.folder, with({"--quiet"}, c.args)), run_in_memory(c.folder, late)};
    for (const Outcome& got : runs) {
      const bool loud = &got == runs;
      const std::string what = show(c.args) + (loud ? "" : "(quiet)");
      if (c.want.status == 0) expect_same(got, loud ? c.want : Outcome{0, "", "", c.want.tables}, what);
      if (c.want.status == 0) continue;
      EXPECT_TRUE(got.status == c.want.status && got.tables.empty()) << what << got.status;
      EXPECT_TRUE(got.err.starts_with(c.want.err) && std::count(got.err.begin(), got.err.end(), '\n') == std::count(c.want.err.begin(), c.want.err.end(), '\n') + !c.want.err.empty()) << what << got.err;
      EXPECT_TRUE(!loud || c.stage == 0 ? got.out == (loud ? reference::banner() : "") + c.want.out
                                        : got.out.starts_with(reference::banner()) && got.out.ends_with(c.want.out) &&
                                              (got.out.find(" Closing DOSCAR file...") != npos) == (c.stage == 2)) << what << got.out;
    }
  }
}

// The tests' own table mathematics, as the README defines it. --orbitals=`how` of rows with `comps` values per orbital: each group's sum per component.
Rows grouped(const Rows& rows, const std::string& how, int comps) {
  int n = static_cast<int>(rows[0].size() - 1) / comps;
  std::vector<std::vector<int>> groups = {{0}, {1, 2, 3}, {4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15}};
  if (how == "d-split") groups = {{0}, {1, 2, 3}, {4, 5, 7}, {6, 8}, {9, 10, 11, 12, 13, 14, 15}};
  if (n < 9) groups = {{0}, {1}, {2}, {3}};  // l-projected
  groups.resize(how == "sum" ? 0 : groups.size() - (n == 9 || n == 3));
  groups.emplace_back(n);
  std::iota(groups.back().begin(), groups.back().end(), 0);
  Rows out;
  for (const Row& row : rows) {
    out.push_back({row[0]});
    for (const auto& g : groups)
      for (int c = 0; c < comps; ++c) out.back().push_back(std::accumulate(g.begin(), g.end(), 0.0, [&](double s, int o) { return s + row[1 + comps * o + c]; }));
  }
  return out;
}
Rows window(const Rows& rows, double lo, double hi, double shift) {  // the written energy (3 decimals) in [lo, hi]
  Rows out;
  for (const Row& r : rows)
    if (double e = std::stod(reference::energy_field(r[0] - shift)); e >= lo && e <= hi) out.push_back(r);
  return out;
}
Rows running(const Rows& in, std::size_t first, std::size_t last) {  // columns first..last: their running integral
  Rows out = in;
  for (std::size_t j = first; j <= last; ++j)
    for (std::size_t i = 0; i < in.size(); ++i) out[i][j] = i ? out[i - 1][j] + (in[i][0] - in[i - 1][0]) * (in[i - 1][j] + in[i][j]) / 2 : 0;
  return out;
}
Rows down_negative(Rows rows) { return std::for_each(rows.begin(), rows.end(), [](Row& r) { r[2] = -r[2]; }), rows; }  // total or sum
Rows broadened(const Rows& in, double width) {  // every value column by a Gaussian of `width` eV, the ends reflected
  long n = static_cast<long>(in.size()), radius = 0;
  double sigma = width / ((in[n - 1][0] - in[0][0]) / static_cast<double>(n - 1)), total = 0;
  auto weight = [&](long k) { return std::exp(-double(k * k) / (2 * sigma * sigma)); };
  for (long k = -(radius = static_cast<long>(std::floor(4 * sigma + 0.5))); k <= radius; ++k) total += weight(k);
  Rows out = in;
  for (long i = 0; i < n; ++i)
    for (std::size_t j = 1; j < in[0].size(); ++j) {
      out[i][j] = 0;
      for (long k = -radius, at = i + k; k <= radius; at = i + ++k) out[i][j] += weight(k) / total * in[at < 0 ? -at - 1 : at >= n ? 2 * n - at - 1 : at][j];
    }
  return out;
}
// The .moments text of grouped rows (`comps` values per name), E = energy less `efermi`:
// up, down and both of spin-polarised files, the total component of non-collinear ones.
std::string moments(const Rows& rows, const std::vector<std::string>& names, int comps, double efermi) {
  std::string text = "# column integral filling centre width skewness kurtosis\n";
  auto add = [&](const std::string& name, auto rho) {
    auto integral = [&](auto f, bool below = false) {  // below: the segments with both ends below 0
      double s = 0;
      for (std::size_t i = 1; i < rows.size(); ++i)
        if (double a = rows[i - 1][0] - efermi, b = rows[i][0] - efermi; !below || b < 0) s += (b - a) / 2 * (f(a) * rho(rows[i - 1]) + f(b) * rho(rows[i]));
      return s;
    };
    auto one = [](double) { return 1.0; };  // N <= 0: all but N are NaN; a width below 1e-9 of the energies' size is 0
    double n = integral(one), c = n > 0 ? integral([](double e) { return e; }) / n : NAN;
    auto central = [&](int k) { return integral([&](double e) { return std::pow(e - c, k); }) / n; };
    double w = std::sqrt(central(2)), size = std::max({std::fabs(rows[0][0] - efermi), std::fabs(rows.back()[0] - efermi), std::fabs(c)});
    w = w < 1e-9 * size ? 0 : w;
    auto field = [](double x) { char f[64]; return std::string(f, std::snprintf(f, sizeof f, std::isfinite(x) ? " %.6f" : " nan", x)); };
    text += name;
    for (double x : {n, n > 0 ? integral(one, true) / n : NAN, c, w, central(3) / std::pow(w, 3), central(4) / std::pow(w, 4)}) text += field(x);
    text += "\n";
  };
  for (std::size_t g = 0, at = 1; g < names.size(); ++g, at += comps) {
    add(names[g] + (comps == 2 ? "_up" : ""), [at](const Row& r) { return r[at]; });
    if (comps == 2) add(names[g] + "_down", [at](const Row& r) { return r[at + 1]; }), add(names[g] + "_up+down", [at](const Row& r) { return r[at] + r[at + 1]; });
  }
  return text;
}
// Expects NAME.moments to be `want` to its 6 decimals, its lines on the console; returns where.
std::size_t expect_moments(const Outcome& got, const std::string& name, const std::string& want) {
  std::string file = got.tables.count(name + ".moments") ? got.tables.at(name + ".moments") : "";
  std::istringstream a(file), b(want);
  for (std::string x, y; b >> y;)
    EXPECT_TRUE(a >> x && (x == y || std::fabs(std::stod(x) - std::stod(y)) <= 1e-6 + 1e-9 * std::fabs(std::stod(y)))) << name << ": " << x << " " << y;
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), std::count(want.begin(), want.end(), '\n')) << name;
  std::string shown = " Moments of " + name + ":\n";
  for (const std::string& l : split_lines(file)) shown += " " + l + "\n";
  EXPECT_NE(got.out.find(shown), npos) << name << got.out;
  return got.out.find(shown);
}

TEST(Options, RunsAsTheModelSays) {
  const Args five = with(kSmall, {"--efermi", "4.987"});
  const Doscar s = parsed(kSmall), e = parsed(five), nc = parsed(kShared);
  auto efermi = [&](double given) {  // the summary with --efermi=given
    std::string t = summary(e), f = reference::fixed8(e.efermi);
    return t.insert(t.find(f) + 8, "  (--efermi; DOSCAR: 4.987)").replace(t.find(f), 8, reference::fixed8(given));
  };
  auto p = [](const Doscar& d, int atom, double shift) { return Tables{{"iLDOS00" + std::to_string(atom), table(d.atoms[atom - 1], shift)}}; };
  auto incar = [&](const std::string& text) { return folder(kShared, {{"INCAR", text}}); };
  const std::string what = "LSORBIT = what\n", kNc = " which no non-collinear run writes",
                    lm_nc = "# E s s_mx s_my s_mz p p_mx p_my p_mz d d_mx d_my d_mz f f_mx f_my f_mz\n";
  std::vector<Case> cases = {
      // --efermi (as users type numbers) replaces line 6's Fermi energy; options anywhere, -- ends them.
      {folder(five), {"--efermi=-1.5E-1", "-ft", "--window=:", "--", "--quiet"}, ok("t", efermi(-0.15), {{"--quiet", table(e.total, 0)}}, false)},
      {folder(five), {"-p", "--efermi=+.51e1", "2", "--window=-1e3:20"}, ok("p", efermi(5.1), p(e, 2, 5.1))},
      // --doscar: the path given (./DOSCAR by its name as without it), the tables here.
      {{{"r/DOSCAR", dos(kSmall)}}, {"--doscar=r/DOSCAR", "-p", "4"}, ok("p", with_file(s, "r/DOSCAR"), p(s, 4, s.efermi))},
      {{{"r/gz", dos(with(kSmall, {"--compress", "gz"}))}, {"r/DOSCAR", ""}}, {"--doscar=r/gz", "-ft", "r/DOSCAR"},
       ok("t", with_file(s, "r/gz"), {{"r/DOSCAR", table(s.total, 0)}}, false)},
      {folder(kSmall, {{"DOSCAR.gz", dos(with(kSmall, {"--seed", "9", "--compress", "gz"}))}}), {"--doscar=DOSCAR", "-t", "b"},
       ok("t", summary(s), {{"b", table(s.total, s.efermi)}})},
      {folder(kSmall), {"--doscar=r/DOSCAR", "-t"}, Outcome{1, " Error! There is no r/DOSCAR\n", "", {}}, 1},
      // --structure names the elements, stops the run when it cannot; it is read only when given.
      {folder(kSmall, {{"s", poscar("Fe_pv O Fe", "2 2 1")}}), {"--structure=s", "-p", "5"},
       ok("p", with_elements(summary(s), "(s): Fe 1-2, 5, O 3-4"), p(s, 5, s.efermi))},
      {folder(kSmall, {{"POSCAR", poscar("Fe O", "2 2")}}), {"--structure=POSCAR", "-t"}, line(1, "Error! POSCAR line 7"), 1},
      {folder(kSmall, {{"CONTCAR", poscar("Fe", "1")}, {"POSCAR", ""}}), {"--header", "-p", "1"}, ok("p", summary(s),
       {{"iLDOS001", "# E-EF s py pz px dxy dyz dz2 dxz dx2-y2\n" + table(s.atoms[0], s.efermi)}})},
      // INCAR decides the shape non-collinear runs share, when (only when) the columns matter.
      {incar(what), {"--window=-99:", "--gaussian=1e-3", "--cumulative", "-fp", "1"}, ok("p", summary(nc), {{"iLDOS001", table(running(nc.atoms[0], 1, 16), 0)}}, false)},
      {incar(what), {"--noncollinear", "--down-negative", "-p", "1"}, ok("p", shared(summary(nc), "(--noncollinear)"), p(nc, 1, nc.efermi))},
      {incar("LSORBIT = .TRUE.\n"), {"--header", "--header", "-fp", "2"},  // a flag given twice
       ok("p", shared(summary(nc), "(INCAR: LSORBIT = .TRUE.)"), {{"iLDOS002", lm_nc + table(nc.atoms[1], 0)}}, false)},
      {incar(what), {"--moments", "-p", "1", "x"}, line(1, "Error! INCAR line 1: LSORBIT = what"), 1},
      {folder(kSpin), {"--noncollinear", "-t", "x"}, line(1, "Error! --noncollinear: DOSCAR holds 4 total-DOS values and 18 values per projected line," + kNc), 1},
      // Faults of the options: the first counts, --quiet is still seen.
      {folder(kSmall), {"--efermi=x", "--bogus", "--gaussian=0", "-t"}, line(2, "Error! --efermi=x: not a number")},
      {folder(kSmall), {"--doscar=DOSCAR", "--bogus=1", "--help", "--efermi=x", "-p", "1"}, block("Wrong input argument(s)")},
      {folder(kSmall), {"--window=:", "--window=1:2", "-a"}, line(2, "Error! --window=1:2: given a second time")},
  };
  for (std::string name : {"--Quiet", "--quiet-", "--efermi-1", "--t", "---quiet", "--help-me", "--doscars=x"})
    cases.push_back({folder(kSmall), {name, "-t"}, block("Wrong input argument(s)")});
  for (std::string name : {"--quiet", "--header", "--help", "--version", "--noncollinear", "--down-negative", "--moments"})
    cases.push_back({folder(kSmall), {name + "=1", "-t"}, line(2, "Error! " + name + "=1: takes no value")});
  for (std::string x : {"abc", " 5", "5 ", "0x10", "inf", "nan", "1e999", "1e", "5,1", "--", ".", "\x01"})
    cases.push_back({folder(kSmall), {"--efermi=" + x, "-t"}, line(2, "Error! --efermi=" + (x == "\x01" ? "\\x01" : x) + ": not a number")});
  for (std::string fault : {"--efermi: needs a value, as in --efermi=E", "--doscar=: needs a value, as in --doscar=PATH",
                            "--orbitals: needs a value, as in --orbitals=lm|l|d-split|sum", "--window=3:-1: EMIN is above EMAX",
                            "--orbitals=LM: unknown grouping (lm, l, d-split or sum)", "--window=a:5: \"a\" is not a number",
                            "--window=5: not EMIN:EMAX (either may be empty)", "--window=1:2:3: \"2:3\" is not a number",
                            "--gaussian=-0.1: the width must be above 0", "--gaussian=w: not a number"})
    cases.push_back({folder(kSmall), {fault.substr(0, fault.find(": ")), "-a"}, line(2, "Error! " + fault)});
  check(cases);
}

TEST(ElementSums, EachTableIsTheSumOfItsAtoms) {
  const Doscar d = parsed(seven("9")), l = parsed(seven("32"));
  const std::string feo = "(POSCAR): Fe 1-2, 6-7, O 3-5", none = "Error! DOSCAR holds no projected DOS";
  auto l_header = [](const Rows& r, double shift) { return "# E-EF s_up s_down p_up p_down d_up d_down f_up f_down total_up total_down\n" + table(grouped(r, "l", 2), shift); };
  std::vector<std::string> lines = split_lines(dos(seven("18")));
  const std::size_t bad = 6 + 40 + 6 * 41 + 1 + 38;  // the last atom's next-to-last row
  lines[bad][15] = 'x';
  std::vector<Case> cases = {
      {fe_o(seven("9")), {"-fe", "slab  "}, elements(d, feo, kFeO, "slab", false)},
      // The structure file beside the DOSCAR read (which file: the structure tests).
      {fe_o(seven("32")), {"--orbitals=l", "--header", "-e"}, elements(l, feo, kFeO, "iSUMDOS", true, l_header)},
      {fe_o(seven("9"), {{"r/DOSCAR", dos(seven("9"))}, {"r/POSCAR", poscar("Ca", "7")}}), {"--doscar=r/DOSCAR", "-e"},  // beside it
       elements(d, "(r/POSCAR): Ca 1-7", {{"Ca", {1, 2, 3, 4, 5, 6, 7}}}, "iSUMDOS", true, table, "r/DOSCAR")},
      // Faults: of the structure file before the atoms are read, of the operands after.
      {folder(seven("9"), {{"CONTCAR", ""}}), {"-fe", "x"}, line(1, "Error! CONTCAR is empty (a run that stopped early) and there is no POSCAR\npdsplit: -e: name the structure file with --structure=PATH"), 1},
      {fe_o(seven("9")), {"-e", "a", "b"}, block("Too many input argument(s)"), 2},
      {fe_o(seven("18", {"--total-only"})), {"-e"}, line(1, none), 1},
      // A fault late in the file: in the last atom (a file that ends there: the reading tests).
      {fe_o(seven("18"), {{"DOSCAR", join_lines(lines)}}), {"-e"}, line(1, "Error! DOSCAR line " + std::to_string(bad + 1)), 1},
  };
  for (std::string mode : {"-eh", "-fef", "-ee", "-E", "-e1"}) cases.push_back({fe_o(seven("9")), {mode}, block("Wrong input argument(s)")});
  for (Args doscar : {seven("9"), seven("4"), seven("18"), seven("8"), seven("32"), seven("12", {"--noncollinear"}), seven("36", {"--noncollinear"}), seven("64", {"--noncollinear"})})
    cases.push_back({fe_o(doscar), {"-e"}, elements(parsed(doscar), feo, kFeO)});  // every kind of file
  check(cases);
}

TEST(TableOptions, ShapeTheTablesAsTheReferenceDoes) {
  const Doscar d = parsed(kSpin), plain = parsed(kSmall), nc = parsed(kShared);
  const std::string l = "# E-EF s_up s_down p_up p_down d_up d_down total_up total_down\n",
                    split = "# E s_up s_down p_up p_down t2g_up t2g_down eg_up eg_down total_up total_down\n",
                    total = "# E-EF DOS_up DOS_down IDOS_up IDOS_down\n";
  auto p = [](const std::string& m, const Doscar& d, const std::string& table, bool shifted = true) {
    return ok(m, summary(d), {{m == "t" ? "iDOS" : m == "p" ? "iLDOS001" : "iSUMDOS", table}}, shifted);
  };
  check({
      {folder(kSpin), {"--orbitals=l", "--header", "-p", "1"}, p("p", d, l + table(grouped(d.atoms[0], "l", 2), d.efermi))},
      {folder(kSpin), {"--orbitals=d-split", "--header", "-fs1", "1", "2"},
       p("s1", d, split + table(grouped(sum_atoms(d, {1, 2}), "d-split", 2), 0), false)},
      {folder(kSpin), {"--orbitals=sum", "--down-negative", "-p", "1"}, p("p", d, table(down_negative(grouped(d.atoms[0], "sum", 2)), d.efermi))},
      {folder(kSpin, {{"INCAR", "LSORBIT = .TRUE.\n"}}), {"--header", "--down-negative", "-t"}, p("t", d, total + table(down_negative(d.total), d.efermi))},
      {folder(kSpin), {"--window=-6:4.5", "-a"}, ok("a", summary(d), {{"iLDOS001", table(window(d.atoms[0], -6, 4.5, d.efermi), d.efermi)},
                                                                     {"iLDOS002", table(window(d.atoms[1], -6, 4.5, d.efermi), d.efermi)}})},
      {folder(kSmall), {"--cumulative", "--window=-3:", "-p", "1"}, p("p", plain, table(running(window(plain.atoms[0], -3, 1e9, plain.efermi), 1, 9), plain.efermi))},
      {folder(kSmall), {"--gaussian=2", "-p", "1"}, p("p", plain, table(broadened(plain.atoms[0], 2), plain.efermi))},
      {folder(kShared, {{"INCAR", "LSORBIT = .TRUE.\n"}}), {"--orbitals=l", "-s2", "3", "1"},
       ok("s2", shared(summary(nc), "(INCAR: LSORBIT = .TRUE.)"), {{"iSUMDOS", table(grouped(sum_atoms(nc, {3, 1}), "l", 4), nc.efermi)}})},
      {folder({"--natom", "2", "--ngrid", "30", "--npcol", "3"}), {"--orbitals=d-split", "--moments", "-p", "2"},
       line(1, "Error! --orbitals=d-split needs an l,m-projected DOSCAR (LORBIT = 11); this one is l-projected"), 2},
  });
}

// --spin: spin-polarised columns in pairs (up, down), each pair summed in the file's order or one of it kept.
Rows channels(const Rows& rows, int keep) {  // keep: 0 up + down, 1 up, 2 down
  Rows out;
  for (const Row& r : rows) {
    out.push_back({r[0]});
    for (std::size_t j = 1; j + 1 < r.size(); j += 2) out.back().push_back(keep == 0 ? r[j] + r[j + 1] : r[j + keep - 1]);
  }
  return out;
}
TEST(TableOptions, SpinChannelsAsTheReferenceAddsThem) {
  const Doscar d = parsed(kSpin);
  auto negated = [](Rows rows) { for (Row& r : rows) std::for_each(r.begin() + 1, r.end(), [](double& x) { x = -x; }); return rows; };
  auto all = [](const Rows& rows) { Rows out; for (const Row& r : rows) out.push_back({r[0], std::accumulate(r.begin() + 1, r.end(), 0.0)}); return out; };
  const std::string refused = "Error! --spin=up: this DOSCAR is of a ";
  Rows down = running(channels(broadened(d.total, 0.5), 2), 1, 1), idos = channels(d.total, 2);  // integrated DOS as read
  for (std::size_t i = 0; i < down.size(); ++i) down[i][2] = idos[i][2];
  check({
      {folder(kSpin), {"--spin=sum", "--header", "-p", "1"},
       ok("p", summary(d), {{"iLDOS001", "# E-EF s py pz px dxy dyz dz2 dxz dx2-y2\n" + table(channels(d.atoms[0], 0), d.efermi)}})},
      {folder(kSpin), {"-t", "--spin=sum", "--header"}, ok("t", summary(d), {{"iDOS", "# E-EF DOS IDOS\n" + table(channels(d.total, 0), d.efermi)}})},
      {folder(kSpin), {"-fs2", "2,1", "--spin=up"}, ok("s2", summary(d), {{"iSUMDOS", table(channels(sum_atoms(d, {2, 1}), 1), 0)}}, false)},
      {folder(kSpin), {"--orbitals=l", "--spin=down", "--header", "--down-negative", "-p", "2"},
       ok("p", summary(d), {{"iLDOS002", "# E-EF s_down p_down d_down total_down\n" + table(negated(channels(grouped(d.atoms[1], "l", 2), 2)), d.efermi)}})},
      {folder(kSpin), {"--orbitals=sum", "--spin=sum", "-a"}, ok("a", summary(d), {{"iLDOS001", table(all(d.atoms[0]), d.efermi)}, {"iLDOS002", table(all(d.atoms[1]), d.efermi)}})},
      {folder(kSpin), {"-t", "--spin=down", "--gaussian=0.5", "--cumulative"}, ok("t", summary(d), {{"iDOS", table(down, d.efermi)}})},
      {folder(kShared), {"--spin=up", "-p", "1"}, line(2, refused + "run without spin (ISPIN = 1)"), 1},
      {folder(kShared, {{"INCAR", "LSORBIT = .TRUE.\n"}}), {"-p", "1", "--spin=up"}, line(2, refused + "non-collinear run, which has no spin channels"), 1},
      {folder(kSpin), {"--spin=sum", "-t", "--down-negative"}, line(2, "Error! --spin=sum: leaves no spin-down column for --down-negative")},
      {folder(kSpin), {"-t", "--spin=both"}, line(2, "Error! --spin=both: unknown choice (sum, up or down)")},
  });
  // Moments of the columns --spin leaves: one row each, no up+down rows.
  expect_moments(run_every_way(folder(kSpin), {"--spin=sum", "--moments", "--window=-8:6", "-p", "1"}), "iLDOS001",
                 moments(window(channels(d.atoms[0], 0), -8, 6, d.efermi), {"s", "py", "pz", "px", "dxy", "dyz", "dz2", "dxz", "dx2-y2"}, 1, d.efermi));
}

// Moments as the reference takes them: of the shaped columns over the window, of the total's DOS columns only, of a non-collinear file's total.
TEST(TableOptions, Moments) {
  const Args soc_file = {"--natom", "2", "--ngrid", "60", "--npcol", "36", "--noncollinear", "--efermi", "0.75"},
             tails = {"--natom", "2", "--ngrid", "129", "--npcol", "18", "--seed", "12918", "--efermi", "1.234"};
  const Doscar d = parsed(kSpin), soc = parsed(soc_file), t = parsed(tails), e = parsed(seven("9"));
  const std::vector<std::string> lm = {"s", "py", "pz", "px", "dxy", "dyz", "dz2", "dxz", "dx2-y2"};
  Rows summed = grouped(window(d.atoms[1], -8, 6, 0), "sum", 2), dos;
  for (const Row& r : d.total) dos.push_back({r[0], r[1], r[2]});
  const Args shaped = {"--orbitals=sum", "--moments", "--efermi=0.5", "--window=-8:6", "-fp", "2"};
  Outcome got = run_every_way(folder(kSpin), shaped);
  expect_moments(got, "iLDOS002", moments(summed, {"total"}, 2, 0.5));
  EXPECT_EQ(got.tables["iLDOS002"], table(summed, 0));
  expect_same(run_in_memory(folder(kSpin), with({"--quiet"}, shaped)), Outcome{0, "", "", got.tables}, "--quiet: no moments printed");
  expect_moments(run_every_way(folder(kSpin), {"--moments", "-t"}), "iDOS", moments(dos, {"DOS"}, 2, d.efermi));
  expect_moments(run_every_way(folder(soc_file), {"--orbitals=l", "--moments", "-p", "2"}), "iLDOS002",
                 moments(grouped(soc.atoms[1], "l", 4), {"s", "p", "d", "total"}, 4, soc.efermi));
  // At the low end of the grid, columns nonzero on one row of the window: width 0. -a takes each
  // table's moments as its rows are written, -p at once: the same to the bit.
  Outcome one = run_every_way(folder(tails), {"--window=-21.234:-20.5", "--moments", "-p", "2"}), all = run_every_way(folder(tails), {"--window=-21.234:-20.5", "--moments", "-a"});
  expect_moments(one, "iLDOS002", moments(window(t.atoms[1], -21.234, -20.5, t.efermi), lm, 2, t.efermi));
  EXPECT_EQ(all.tables["iLDOS002.moments"], one.tables["iLDOS002.moments"]);
  // Of each element's table, in the structure file's order (POTCAR labels, a symbol twice).
  got = run_every_way(folder(seven("9"), {{"POSCAR", poscar("O_s Fe_pv O/3a7f Ni", "1 2 3 1")}}), {"--moments", "-e"});
  std::size_t o = expect_moments(got, "iSUMDOS_O", moments(sum_atoms(e, {1, 4, 5, 6}), lm, 1, e.efermi)),
              fe = expect_moments(got, "iSUMDOS_Fe", moments(sum_atoms(e, {2, 3}), lm, 1, e.efermi));
  EXPECT_TRUE(o < fe && fe < expect_moments(got, "iSUMDOS_Ni", moments(sum_atoms(e, {7}), lm, 1, e.efermi)));
}

// -e adds the atoms of each element as -s2 does, whatever the table options.
TEST(ElementSums, EveryTableOptionActsOnEachTableAsOnAListSum) {
  const Args options = {"--orbitals=d-split", "--header", "--down-negative", "--window=-6:4",
                        "--moments", "--gaussian=0.4", "--cumulative", "--efermi=1.5"};
  Outcome all = run_every_way(fe_o(seven("18")), with(options, {"-fe", "all"}));
  for (auto [symbol, atoms] : {std::pair<std::string, Args>{"Fe", {"1", "2", "6", "7"}}, {"O", {"3", "4", "5"}}}) {
    Outcome one = run_in_memory(fe_o(seven("18")), with(with(options, {"-fs2"}), with(atoms, {"list"})));
    EXPECT_EQ(all.tables["all_" + symbol], one.tables["list"]) << symbol;
    EXPECT_EQ(all.tables["all_" + symbol + ".moments"], one.tables["list.moments"]) << symbol;
  }
}

std::string source(const std::string& name) { return read_file(std::string(PDSPLIT_SOURCE_DIR) + "/" + name); }

// --help and --version end the options; every option is known, in the usage, the manual, README and completion.
TEST(Help, EveryOptionIsInTheUsageTheManualTheReadmeAndTheCompletion) {
  std::string manual = source("doc/pdsplit.1"), readme = source("README.md"), completion = source("tools/pdsplit-completion.bash");
  const Outcome version = run_in_memory({}, {"--quiet", "--version", "--help"});  // the manual's title names it
  EXPECT_TRUE(version.out.starts_with("pdsplit ") && manual.find(version.out.substr(0, version.out.size() - 1) + "\"") != npos) << version.out;
  const Outcome usage = run_in_memory({}, {"--help"});
  for (const std::string& line : split_lines(usage.out)) EXPECT_LT(line.size(), 80u) << line;  // a terminal's width
  expect_same(run_in_memory({}, {"--efermi=1", "--help", "--bogus"}), usage, "--help");
  expect_same(run_in_memory({}, {"-p", "1", "--help", "--bogus"}), usage, "--help after the mode");
  for (std::size_t at; (at = manual.find("\\-")) != npos;) manual.erase(at, 1);  // groff's \- is a hyphen
  for (const std::string& form : pdsplit::long_option_forms()) {
    std::string name = form.substr(0, form.find('='));
    EXPECT_EQ(run_in_memory({}, {name, "-h"}).out.find("Wrong input"), npos) << form;
    EXPECT_TRUE(usage.out.find("  " + form + " ") != npos && manual.find(name) != npos && readme.find(name) != npos) << form;
    EXPECT_NE(completion.find(form.find('=') == npos ? name : name + "="), npos) << form;
  }
  EXPECT_TRUE(usage.out.find("\n  -e [OUTPUT]") != npos && manual.find(".BR -e") != npos && readme.find("pdsplit -e") != npos && completion.find(" -e -fe -ef ") != npos);
  // -h, asked for, is no chatter: --quiet keeps it, without the banner.
  EXPECT_EQ(reference::banner() + run_in_memory({}, {"--quiet", "-h"}).out, run_in_memory({}, {"-h"}).out);
}
// No table replaces the file --doscar names, by any name: its identity on a disk is the point (the built program, a scratch folder).
TEST(Doscar, NoTableReplacesTheFileItNames) {
  Scratch dir;
  generate(dir, kSmall, "D");
  write_file(dir.file("POSCAR"), poscar("Fe O", "2 3"));
  // The .moments files too: beside a table whose own name is free.
  for (std::string name : {"iSUMDOS_O", "out.moments", "iLDOS002.moments", "x_O.moments"})
    ASSERT_EQ(::link(dir.file("D").c_str(), dir.file(name).c_str()), 0) << name;
  for (Args args : {Args{"--doscar=D", "-t", "./D"}, {"--doscar=D", "-s1", "1", "2", "iSUMDOS_O"}, {"--doscar=iSUMDOS_O", "-ft", "D"},
                    {"--doscar=" + dir.file("D"), "-e"}, {"--doscar=out.moments", "--moments", "-t", "out"},
                    {"--doscar=D", "--moments", "-a"}, {"--doscar=D", "--moments", "-e", "x"}}) {
    RunResult r = run_pdsplit(dir, args);
    EXPECT_TRUE(r.status == 2 && r.out.ends_with(reference::error_block("Output file would overwrite DOSCAR"))) << show(args) << r.out;
  }
  EXPECT_TRUE(dir.entries() == (std::vector<std::string>{"D", "POSCAR", "iLDOS002.moments", "iSUMDOS_O", "out.moments", "x_O.moments"}) &&
              read_file(dir.file("D")) == dos(kSmall));
}

}  // namespace
