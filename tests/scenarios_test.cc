// The modes as users run them, in memory. Each row: a generated DOSCAR
// (perhaps edited, compressed, or beside other files), a command line and
// what the run must give, the same on any threads, chunks, ring and reads:
// for a run that succeeds, the console and tables the tests' own model of
// the file computes; for a fault, where the console stops, the message,
// the status and no table (or only those before one that failed).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <sstream>

#include "lines.h"
#include "reference.h"
#include "scenario.h"
#include "support.h"

namespace {

using namespace testing_support;
using reference::Doscar;

using Edit = std::function<std::string(const std::string&)>;  // of the DOSCAR's text

Edit on_lines(std::function<void(std::vector<std::string>&)> change) {
  return [=](const std::string& text) {
    std::vector<std::string> lines = split_lines(text);
    change(lines);
    return join_lines(lines);
  };
}
Edit keep(std::size_t count) { return on_lines([=](auto& l) { l.resize(count); }); }
// Line `n` (from 1) from column `column` (from 0) on replaced by `text`.
Edit replace(std::size_t n, std::size_t column, std::string text) {
  return on_lines([=](auto& l) { l[n - 1].replace(column, text.size(), text); });
}
// `text` after the last character of line `n`, before its carriage return.
Edit append(std::size_t n, std::string text) {
  return on_lines([=](auto& l) { l[n - 1].insert(l[n - 1].find_last_not_of('\r') + 1, text); });
}
// Lines before `n`, then half of it without a line feed.
Edit cut_inside(std::size_t n) {
  return [=](const std::string& text) {
    std::vector<std::string> l = split_lines(text);
    std::string half = l[n - 1].substr(0, l[n - 1].size() / 2);
    l.resize(n - 1);
    return join_lines(l) + half;
  };
}

// Where the console of a run stops.
enum class Stop { Done, Banner, Missing, Heading, Opening, Summary, Closing, Writing };
// Which text the model of the file reads: by default the edited one for a
// run that succeeds, the unedited one (its header) for a fault.
enum class Model { Default, Edited, Unedited };

struct Case {
  Args gen;  // the generator's options; none: no DOSCAR
  Args cmd;
  // The tables written: "name" the total DOS, "name:k" atom k, "name=a+b"
  // the sum of atoms a and b, "prefix*" every atom's.
  std::vector<std::string> tables;
  Stop stop = Stop::Done;
  std::string message = {};  // of a fault; ending in ": ", its beginning
  Edit edit = {};
  Model model = Model::Default;
  std::string name = "DOSCAR";  // of the DOSCAR in the folder
  Folder beside = {};
  std::string elements = {};  // the summary's line of elements
  int fail_line = 0;          // reads fail from this line (-1: the last) ...
  int fail_column = 0;        // ... and column, both from 0 for line 1
  int fail_errno = EIO;
  DiskFaults disk = {};
  std::string fail_table = {};  // a table (as in `tables`) that meets a full disk
};

Args shape(int natom, int ngrid, const std::string& npcol, Args more = {}) {
  Args a = {"--natom", std::to_string(natom), "--ngrid", std::to_string(ngrid), "--npcol", npcol};
  a.insert(a.end(), more.begin(), more.end());
  return a;
}

const std::string& doscar(const Args& options) {
  static std::map<Args, std::string> made;
  auto it = made.find(options);
  if (it == made.end()) it = made.emplace(options, generated(options)).first;
  return it->second;
}

std::string atom_suffix(int atom) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%03d", atom);
  return buf;
}

Folder tables_of(const Doscar& d, const std::vector<std::string>& specs, double shift) {
  Folder out;
  for (const std::string& spec : specs) {
    std::size_t at = spec.find_first_of(":=*");
    std::string name = spec.substr(0, at);
    if (at == std::string::npos) {
      out[name] = reference::table(d.total, shift);
    } else if (spec[at] == '*') {
      for (int k = 1; k <= d.natom; ++k) out[name + atom_suffix(k)] = reference::table(d.atoms[k - 1], shift);
    } else if (spec[at] == ':') {
      out[name] = reference::table(d.atoms.at(std::stoul(spec.substr(at + 1)) - 1), shift);
    } else {
      std::vector<int> atoms;
      std::istringstream in(spec.substr(at + 1));
      for (std::string a; std::getline(in, a, '+');) atoms.push_back(std::stoi(a));
      out[name] = reference::table(reference::sum_atoms(d, atoms), shift);
    }
  }
  return out;
}

std::string option_of(const Args& cmd) {
  for (const std::string& a : cmd)
    if (a.size() > 1 && a[0] == '-' && a[1] != '-') return a;
  return "";
}

std::string console(const Case& c, const Doscar& d, const std::string& option) {
  std::string out = reference::banner();
  if (c.stop == Stop::Banner) return out + reference::error_block(c.message);
  out += " ::: " + reference::heading_of(option) + " :::\n";
  if (c.stop == Stop::Missing) return out + " " + c.message + "\n";
  if (c.stop == Stop::Heading) return out;
  std::string opening = " Opening DOSCAR file...\n";
  if (c.name != "DOSCAR") opening += " File: " + c.name + "\n";
  if (c.stop == Stop::Opening) return out + opening;
  std::string summary = reference::summary(d).replace(0, 24, opening);
  if (!c.elements.empty()) summary = reference::summary_with(d, " Number of atoms", c.elements + "\n");
  bool shifted = option.find('f') == std::string::npos;
  bool several = option.find_first_of("ae") != std::string::npos;
  if (c.stop == Stop::Done)
    return reference::success(reference::heading_of(option), summary, shifted, several);
  out += summary;
  if (c.stop == Stop::Summary) return out;
  out += std::string(" Closing DOSCAR file...\n") +
         (shifted ? " Fermi level is shifted\n" : " Fermi level is not shifted\n");
  if (c.stop == Stop::Closing) return out + reference::error_block(c.message);
  return out + (several ? " Creating output files...\n" : " Creating output file...\n");
}

void expect_case(const Case& c) {
  std::string what = show(c.cmd) + c.message;
  SCOPED_TRACE(what);
  Folder folder = c.beside;
  Doscar d;
  ReadFaults read;
  if (!c.gen.empty()) {
    Args plain_options = c.gen;
    auto packed = std::find(plain_options.begin(), plain_options.end(), "--compress");
    bool compressed = packed != plain_options.end();
    if (compressed) plain_options.erase(packed, packed + 2);
    std::string plain = doscar(plain_options);
    std::string text = c.edit ? c.edit(doscar(c.gen)) : doscar(c.gen);
    bool edited = c.model == Model::Edited || (c.model == Model::Default && c.stop == Stop::Done);
    d = reference::parse(edited && c.edit && !compressed ? text : plain);
    folder[c.name] = text;
    if (c.fail_line != 0) {
      std::vector<std::uint64_t> starts{0};
      for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') starts.push_back(i + 1);
      std::size_t line = c.fail_line > 0 ? c.fail_line - 1 : starts.size() + c.fail_line - 1;
      read.fail_at = starts.at(line) + c.fail_column;
      read.fail_errno = c.fail_errno;
    }
  }
  std::string option = option_of(c.cmd);
  double shift = option.find('f') == std::string::npos ? d.efermi : 0.0;
  DiskFaults disk = c.disk;
  if (!c.fail_table.empty())
    disk.marker = split_lines(tables_of(d, {c.fail_table}, shift).begin()->second)[0];
  bool to_console = c.stop == Stop::Done || c.stop == Stop::Banner || c.stop == Stop::Closing ||
                    c.stop == Stop::Missing;
  Outcome want{c.stop == Stop::Done ? 0 : c.stop == Stop::Banner || c.stop == Stop::Closing ? 2 : 1,
               console(c, d, option), to_console ? "" : c.message + "\n", tables_of(d, c.tables, shift)};
  Outcome got = run_every_way(folder, c.cmd, read, disk);
  if (c.message.ends_with(": ") && got.err.starts_with(c.message) &&
      got.err.find('\n') == got.err.size() - 1)
    want.err = got.err;
  expect_same(got, want, what);
}

void expect_cases(const std::vector<Case>& cases) {
  for (const Case& c : cases) expect_case(c);
}

// Every mode, shifted and not, on `g` (3 atoms or more).
std::vector<Case> every_mode(const Args& g) {
  return {{g, {"-t"}, {"iDOS"}},
          {g, {"-ft", "tdos"}, {"tdos"}},
          {g, {"-p", "3", "one"}, {"one003:3"}},
          {g, {"-fp", "2"}, {"iLDOS002:2"}},
          {g, {"-a"}, {"iLDOS*"}},
          {g, {"-af", "at"}, {"at*"}},
          {g, {"-s1", "3", "2"}, {"iSUMDOS=2+3"}},
          {g, {"-fs1", "1", "3", "range"}, {"range=1+2+3"}},
          {g, {"-s2", "3", "2", "3"}, {"iSUMDOS=3+2+3"}},
          {g, {"-s2f", "2", "list"}, {"list=2"}}};
}

TEST(Scenarios, EveryModeOnEveryWidth) {
  for (std::string npcol : {"3", "4", "9", "16", "6", "8", "18", "32"})
    expect_cases(every_mode(shape(3, 30, npcol, {"--seed", npcol, "--atom-shift"})));
  // Spin-orbit runs: 64 values wrapped over two lines per grid point; 16
  // beside 2 total values cannot be told from a run without spin.
  for (std::string npcol : {"12", "36", "64", "16"})
    expect_cases(every_mode(shape(3, 30, npcol, {"--noncollinear", "--seed", npcol, "--atom-shift"})));
  // Windows line ends; values near zero keep their sign in the summary only.
  expect_cases(every_mode(shape(3, 25, "18", {"--system", "Fe bcc", "--crlf"})));
  expect_cases({{shape(1, 20, "3", {"--efermi", "-0.0004", "--emin", "-0.0002", "--emax", "3"}),
                 {"-t"}, {"iDOS"}}});
}

TEST(Scenarios, OperandsAndNames) {
  const Args g = shape(12, 6, "3");
  const Args t = shape(1, 10, "3");
  const std::string longest(60, 'n'), atoms(39, 'L');
  std::vector<Case> cases = {
      {g, {"-p", "1"}, {"iLDOS001:1"}},        {g, {"-p", "12"}, {"iLDOS012:12"}},
      {g, {"-p", "007"}, {"iLDOS007:7"}},      {g, {"-p", "3,7"}, {"iLDOS003:3"}},
      {g, {"-p", "+3"}, {"iLDOS003:3"}},       {g, {"-p", "3 7"}, {"iLDOS003:3"}},
      {g, {"-p", "3/x"}, {"iLDOS003:3"}},      {g, {"-p", "  7"}, {"iLDOS007:7"}},
      {g, {"-p", "2", "LDOS2"}, {"LDOS2002:2"}}, {g, {"-p", "2", "Fe  "}, {"Fe002:2"}},
      {g, {"-s1", "2", "5"}, {"iSUMDOS=2+3+4+5"}},
      {g, {"-s1", "1", "12"}, {"iSUMDOS=1+2+3+4+5+6+7+8+9+10+11+12"}},
      {g, {"-s1", "2", "5", "Fe"}, {"Fe=2+3+4+5"}}, {g, {"-s1", "2", "5", "12"}, {"12=2+3+4+5"}},
      {g, {"-s2", "1", "3", "5"}, {"iSUMDOS=1+3+5"}}, {g, {"-s2", "4"}, {"iSUMDOS=4"}},
      {g, {"-s2", "1", "3", "10"}, {"iSUMDOS=1+3+10"}}, {g, {"-s2", "1", "3", "5", "Fe"}, {"Fe=1+3+5"}},
      // The last operand of -s2 is a name when its first five characters
      // read as no atom number.
      {g, {"-s2", "1", "3", "12abc"}, {"12abc=1+3"}}, {g, {"-s2", "1", "3", "3,out"}, {"iSUMDOS=1+3+3"}},
      // Names used whole but trailing blanks; the option judged by five characters.
      {t, {"-ft", "TDOS"}, {"TDOS"}}, {t, {"-tf", "TDOS"}, {"TDOS"}}, {t, {"-t", longest}, {longest}},
      {t, {"-t", "with blank  "}, {"with blank"}}, {t, {"-t "}, {"iDOS"}}, {t, {"-t   x"}, {"iDOS"}},
      {t, {"-tf  "}, {"iDOS"}}, {shape(3, 4, "9"), {"-a", atoms}, {atoms + "*"}},
      // A DOSCAR elsewhere, or a name that only begins like it.
      {t, {"-ft", "sub/DOSCAR"}, {"sub/DOSCAR"}}, {t, {"-fp", "1", "DOSCAR"}, {"DOSCAR001:1"}},
      {t, {"-ft", "DOSCAR.old"}, {"DOSCAR.old"}},
      // More than 999 atoms: the suffix grows.
      {shape(1002, 3, "4", {"--atom-shift"}), {"-a"}, {"iLDOS*"}},
      {shape(1002, 3, "4", {"--atom-shift"}), {"-p", "1001"}, {"iLDOS1001:1001"}},
      // Lists of any length and order; atom 1 left out still gives its energies.
      {shape(5, 8, "8", {"--atom-shift"}), {"-s2", "4", "2", "2", "out"}, {"out=4+2+2"}},
      // No atoms: no tables.
      {.gen = shape(1, 4, "9"), .cmd = {"-a"}, .tables = {}, .edit = replace(1, 0, "   0")},
  };
  // Sums large enough to be shared out by rows, each row added in list order.
  for (auto [ngrid, count, option] : {std::tuple{8, 150, "-s2"}, {3001, 120, "-s2f"}}) {
    Case c{shape(5, ngrid, "32", {"--atom-shift"}), {option}, {"iSUMDOS="}};
    for (int i = 0; i < count; ++i) {
      std::string atom = std::to_string(5 - (i * 3) % 5);
      c.cmd.push_back(atom);
      c.tables[0] += (i ? "+" : "") + atom;
    }
    cases.push_back(c);
  }
  const char* const wrong = "Wrong atomic index(es)";
  const char* const none = "No atom specified";
  const char* const many = "Too many input argument(s)";
  const char* const few = "Too few input argument(s)";
  const char* const empty = "Empty output file name";
  const char* const input = "Output file would overwrite DOSCAR";
  const std::pair<Args, const char*> errors[] = {
      {{"-p"}, none}, {{"-p", "x"}, wrong}, {{"-p", "2.5"}, wrong}, {{"-p", "2a"}, wrong},
      {{"-p", "0"}, wrong}, {{"-p", "-1"}, wrong}, {{"-p", "13"}, wrong}, {{"-p", ""}, wrong},
      {{"-p", ",3"}, wrong}, {{"-p", "- 3"}, wrong}, {{"-p", "+"}, wrong}, {{"-p", "\t3"}, wrong},
      {{"-p", "  ,"}, wrong}, {{"-p", "123456"}, wrong}, {{"-p", "2", "a", "b"}, many},
      {{"-p", "2", ""}, empty}, {{"-a", "x", "y"}, many}, {{"-a", " "}, empty},
      {{"-s1"}, none}, {{"-s1", "2"}, few}, {{"-s1", "x"}, few}, {{"-s1", "0", "3"}, wrong},
      {{"-s1", "2", "13"}, wrong}, {{"-s1", "x", "3"}, wrong}, {{"-s1", "2.5", "3"}, wrong},
      {{"-s1", "", "3"}, wrong}, {{"-s1", "2", "5", "a", "b"}, many}, {{"-s2"}, none},
      {{"-s2", "Fe"}, wrong}, {{"-s2", "1", "x", "3"}, wrong}, {{"-s2", "1", "3", "x", "y"}, wrong},
      {{"-s2", "1", "3", "13"}, wrong}, {{"-s2", "1", "3", "12345abc"}, wrong},
      {{"-s2", "1", "3", "/tmp/out"}, wrong}, {{"-s2", "1", "3", ""}, wrong},
      {{"-t", "a", "b"}, many}, {{"-t", ""}, empty}, {{"-t", "   "}, empty},
      // No table replaces the DOSCAR read, under any of its names.
      {{"-ft", "DOSCAR"}, input}, {{"-t", "./DOSCAR"}, input}, {{"-t", "DOSCAR.gz"}, input},
      {{"-t", "DOSCAR.xz"}, input}, {{"-t", "DOSCAR.bz2"}, input},
      {{"-s1", "1", "3", "DOSCAR"}, input}, {{"-fs2", "1", "3", "./DOSCAR"}, input},
  };
  for (const auto& [cmd, message] : errors) cases.push_back({g, cmd, {}, Stop::Closing, message});
  expect_cases(cases);
}

TEST(Scenarios, CommandLineAndMissingDoscar) {
  const Args g = shape(2, 5, "9");
  std::vector<Case> cases;
  const std::pair<Args, const char*> errors[] = {
      {{}, "No input argument found"},  {{"-h", "x"}, "Too many input argument(s)"},
      {{"-h", ""}, "Too many input argument(s)"}, {{"-H"}, "Wrong input argument(s)"},
      {{"--t"}, "Wrong input argument(s)"}, {{"t"}, "Wrong input argument(s)"},
      {{""}, "Wrong input argument(s)"}, {{" -t"}, "Wrong input argument(s)"},
      {{"-s1fx"}, "Wrong input argument(s)"}, {{"-s1f12"}, "Wrong input argument(s)"},
      {{"-F"}, "Wrong input argument(s)"}};
  for (const auto& [cmd, message] : errors) cases.push_back({g, cmd, {}, Stop::Banner, message});
  for (std::string option : {"-t", "-a", "-p", "-s1", "-s2"})
    cases.push_back({{}, {option, "1"}, {}, Stop::Missing, "Error! There is no DOSCAR in current directory"});
  expect_cases(cases);
  // The help screen needs no DOSCAR.
  Outcome help = run_every_way({}, {"-h"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with(reference::banner() + " ::: HELP :::\n")) << help.out;
  EXPECT_EQ(help.err, "");
  EXPECT_TRUE(help.tables.empty());
}

TEST(Scenarios, FilesWithoutProjectionsOrDensities) {
  const std::string none =
      "Error! DOSCAR holds no projected DOS (VASP writes it only when LORBIT is set)";
  const std::string header =
      "Error! DOSCAR holds only its header: VASP stopped before writing the density of states";
  const std::vector<Args> projected = {{"-p", "1"}, {"-fp", "2", "x"}, {"-a"},
                                       {"-s1", "1", "2"}, {"-s2", "1"}, {"-fs2", "2", "1", "y"}};
  // The total DOS alone; a molecular-dynamics run's further blocks are not
  // read; projection flag 1, but the file ends after the total-DOS block or
  // after the first atom's header line.
  const std::pair<Args, std::size_t> kinds[] = {
      {{"--total-only", "--npcol", "9"}, 0}, {{"--total-only", "--npcol", "18"}, 0},
      {{"--md", "--npcol", "6"}, 0}, {{"--md", "--npcol", "3"}, 0}, {{"--npcol", "9"}, 26},
      {{"--npcol", "32"}, 27}, {{"--noncollinear", "--npcol", "64"}, 27}};
  std::vector<Case> cases;
  for (auto [options, lines] : kinds) {
    options.insert(options.end(), {"--natom", "3", "--ngrid", "20"});
    Edit edit = lines ? keep(lines) : Edit{};
    cases.push_back({.gen = options, .cmd = {"-t"}, .tables = {"iDOS"}, .edit = edit});
    cases.push_back({.gen = options, .cmd = {"-tf", "TDOS"}, .tables = {"TDOS"}, .edit = edit});
    for (const Args& cmd : projected)
      cases.push_back({.gen = options, .cmd = cmd, .tables = {}, .stop = Stop::Summary,
                       .message = none, .edit = edit, .model = Model::Edited});
  }
  std::vector<Args> every = projected;
  every.insert(every.end(), {{"-t"}, {"-ft", "x"}});
  for (std::string lines : {"5", "6"})
    for (const Args& cmd : every)
      cases.push_back({{"--header-only", lines, "--npcol", "18"}, cmd, {}, Stop::Opening, header});
  expect_cases(cases);
}

// A wrapped file of 2 atoms and 5 grid points: header lines 1-6, total DOS
// 7-11, atom 1's header line 12 and its points on lines 13-22 (odd lines
// the energy and values 1-36, even lines value 37 and values 38-64), atom 2
// on lines 23-33.
TEST(Scenarios, WrappedSpinOrbitLines) {
  const Args w = shape(2, 5, "64", {"--noncollinear", "--atom-shift"});
  const std::string ends = "Error! DOSCAR ends at line ", follows = " follows the last value of a continued line";
  auto fault = [&](Edit edit, Args cmd, std::string message) {
    return Case{.gen = w, .cmd = cmd, .tables = {}, .stop = Stop::Summary, .message = message, .edit = edit};
  };
  // Short lines: their missing values are zeros (the first continuation
  // line, which tells a wrapped file, like the others).
  Edit shorter = on_lines([](auto& l) {
    l[13].resize(71), l[15].resize(71), l[17].resize(11), l[19].resize(0), l[16].resize(251);
  });
  expect_cases({
      {.gen = w, .cmd = {"-fa"}, .tables = {"iLDOS*"}, .edit = shorter},
      {.gen = w, .cmd = {"-s2", "2", "1"}, .tables = {"iSUMDOS=2+1"}, .edit = shorter},
      fault(keep(15), {"-a"}, ends + "15, but its header needs 33 lines"),
      fault(keep(26), {"-p", "1"}, ends + "26, but its header needs 33 lines"),
      fault(keep(32), {"-s2", "2"}, ends + "32, but its header needs 33 lines"),
      fault(cut_inside(16), {"-s1", "1", "2"}, "Error! DOSCAR ends in the middle of line 16"),
      fault(cut_inside(33), {"-fa"}, "Error! DOSCAR ends in the middle of line 33"),
      fault(append(16, "  7.5"), {"-a"}, "Error! DOSCAR line 16, columns 336-340: \"7.5\"" + follows),
      fault(append(31, "x"), {"-p", "2"}, "Error! DOSCAR line 31, columns 336-336: \"x\"" + follows),
      fault(append(25, "   0.1E+01 junk  "), {"-fs2", "1", "2"},
            "Error! DOSCAR line 25, columns 336-350: \"0.1E+01 junk\"" + follows),
      fault(append(14, " x"), {"-a"}, "Error! DOSCAR line 14, columns 336-337: \"x\"" + follows),
      fault(append(14, "  0.1234E+01"), {"-a"}, "Error! DOSCAR line 14, columns 336-347: \"0.1234E+01\"" + follows),
      // Value 37 in the energy's columns, the first and last value field, value 36.
      fault(replace(18, 0, "    0.0x0  "), {"-a"}, "Error! DOSCAR line 18, columns 1-11: \"0.0x0\" is not a number"),
      fault(replace(20, 11, "  0.12x4E+02"), {"-s1", "1", "2"},
            "Error! DOSCAR line 20, columns 12-23: \"0.12x4E+02\" is not a number"),
      fault(replace(30, 323, "        1E  "), {"-p", "2"}, "Error! DOSCAR line 30, columns 324-335: \"1E\" is not a number"),
      fault(replace(17, 431, "  abc       "), {"-a"}, "Error! DOSCAR line 17, columns 432-443: \"abc\" is not a number"),
  });
}

// Compressed with gzip, xz or bzip2: the plain file's tables; the plain
// file wins, .xz before .bz2, and the first bytes decide; archives one
// after the other read as one text; damaged and cut archives refused by name.
TEST(Scenarios, CompressedFiles) {
  std::vector<Case> cases;
  auto with = [](Args a, const Args& more) { a.insert(a.end(), more.begin(), more.end()); return a; };
  const Args g = shape(5, 101, "18", {"--seed", "11"});
  const Args sp = shape(3, 40, "64", {"--noncollinear", "--atom-shift"});
  for (const char* kind : {"gz", "xz", "bz2"}) {
    std::string name = std::string("DOSCAR.") + kind;
    Args packed = with(g, {"--compress", kind});
    for (const Case& c : std::vector<Case>{{packed, {"-t"}, {"iDOS"}}, {packed, {"-fp", "3"}, {"iLDOS003:3"}},
                                           {packed, {"-a", "at"}, {"at*"}},
                                           {packed, {"-s2", "5", "1", "5", "sum"}, {"sum=5+1+5"}},
                                           {with(sp, {"--compress", kind}), {"-fs2", "3", "1"}, {"iSUMDOS=3+1"}}}) {
      cases.push_back(c);
      cases.back().name = name;
    }
    // Cut at a third (a bzip2 block gives nothing then), cut before its
    // end, damaged from its first bytes on.
    const std::pair<Edit, Stop> refusals[] = {
        {[](const std::string& t) { return t.substr(0, t.size() / 3); },
         kind == std::string("bz2") ? Stop::Opening : Stop::Summary},
        {[](const std::string& t) { return t.substr(0, t.size() - 5); }, Stop::Summary},
        {[](std::string t) {
           for (std::size_t i = 20; i < 84; ++i) t[i] ^= 0x5a;
           return t;
         }, Stop::Opening}};
    for (const auto& [edit, stop] : refusals)
      cases.push_back({.gen = packed, .cmd = {"-s1", "1", "5"}, .tables = {}, .stop = stop,
                       .message = "Error! Cannot read " + name + ": ", .edit = edit, .name = name});
  }
  const Args plain = with(g, {"--system", "plain"});
  const Args xz = with(g, {"--system", "bz2-in-xz", "--compress", "bz2"});
  cases.push_back({.gen = plain, .cmd = {"-t"}, .tables = {"iDOS"},
                   .beside = {{"DOSCAR.gz", doscar(with(g, {"--system", "packed", "--compress", "gz"}))}}});
  cases.push_back({.gen = xz, .cmd = {"-t"}, .tables = {"iDOS"}, .name = "DOSCAR.xz",
                   .beside = {{"DOSCAR.bz2", doscar(with(g, {"--compress", "bz2"}))}}});
  cases.push_back({with(g, {"--compress", "gz"}), {"-t"}, {"iDOS"}});
  for (std::string tool : {"gzip", "xz", "bzip2"})
    cases.push_back({.gen = g, .cmd = {"-fa"}, .tables = {"iLDOS*"},
                     .edit = [tool](const std::string& text) {
                       Scratch dir;
                       std::size_t half = text.find('\n', text.size() / 2) + 1;
                       write_file(dir.file("a"), text.substr(0, half));
                       write_file(dir.file("b"), text.substr(half));
                       run_in(dir.path(), "/bin/sh", {"-c", tool + " -c a > c && " + tool + " -c b >> c"});
                       return read_file(dir.file("c"));
                     },
                     .model = Model::Unedited});
  expect_cases(cases);
}

// Lines far longer than any field reaches read as their first characters.
TEST(Scenarios, LongLinesReadAsTheirFirstCharacters) {
  std::string noise(10 << 20, 'E');
  for (std::size_t i = 0; i < noise.size(); i += 5) noise[i] = '7';
  const std::string after_fields = std::string(1100, ' ') + noise;
  std::vector<Case> cases;
  for (bool crlf : {false, true}) {
    Args g = shape(3, 301, "32", crlf ? Args{"--crlf"} : Args{});
    const std::pair<int, std::string> lines[] = {
        {2, noise}, {5, after_fields}, {6, after_fields}, {7, after_fields}, {309, after_fields},
        {610, noise}, {760, after_fields}, {-1, after_fields}};
    for (auto [line, junk] : lines)
      for (const Case& c : std::vector<Case>{{g, {"-a"}, {"iLDOS*"}}, {g, {"-fs2", "3", "1", "sum"}, {"sum=3+1"}}}) {
        cases.push_back(c);
        cases.back().model = Model::Unedited;
        cases.back().edit = line > 0 ? append(line, junk) : [=](const std::string& t) {
          std::string text = append(1213, junk)(t);  // the last line, without its line feed
          text.pop_back();
          return text;
        };
      }
  }
  expect_cases(cases);
}

// A read that fails anywhere the run reads stops it, nothing written; a
// bad field stops it the same way; the first fault in the file is the one
// reported; operand errors come after the whole file and its faults.
TEST(Scenarios, ReadFaultsAndBadFields) {
  std::vector<Case> cases;
  const std::string eio = "Error! Cannot read DOSCAR: " + std::string(std::strerror(EIO));
  // 4 atoms of 301 points: total DOS lines 7-307, atom k's header line
  // 308 + 302 (k - 1).
  const Args g = shape(4, 301, "32");
  auto read_fault = [&](Args cmd, int line, int column, Stop stop) {
    return Case{.gen = g, .cmd = cmd, .tables = {}, .stop = stop, .message = eio, .fail_line = line,
                .fail_column = column};
  };
  for (Args cmd : {Args{"-t"}, Args{"-a"}, Args{"-p", "3"}, Args{"-s1", "1", "4"}}) {
    // The summary follows the total DOS and the first projected line.
    for (auto [line, column, stop] : {std::tuple{1, 0, Stop::Heading}, {3, 5, Stop::Opening},
                                      {6, 5, Stop::Opening}, {150, 5, Stop::Opening}, {309, 5, Stop::Opening}})
      cases.push_back(read_fault(cmd, line, column, stop));
    // -t reads no further than the first projected line.
    for (auto [line, column] : {std::pair{310, 0}, {912, 5}, {1100, 5}, {-1, 3}}) {
      cases.push_back(read_fault(cmd, line, column, Stop::Summary));
      if (cmd[0] == "-t") cases.back() = Case{.gen = g, .cmd = cmd, .tables = {"iDOS"}, .fail_line = line,
                                          .fail_column = column};
    }
  }
  cases.push_back({.gen = g, .cmd = {"-a"}, .tables = {}, .stop = Stop::Summary,
                   .message = "Error! Cannot read DOSCAR: " + std::string(std::strerror(ESTALE)),
                   .fail_line = 1100, .fail_column = 5, .fail_errno = ESTALE});
  cases.push_back({.gen = g, .cmd = {"-a"}, .tables = {"iLDOS*"}, .fail_line = 1516});  // past the end
  // The first fault in the file: a bad field on line 4001 and a read fault
  // before it, inside it, or after it.
  const Args big = shape(9, 1001, "32");
  const std::string field = "Error! DOSCAR line 4001, columns 36-47: \"0.12x4E+02\" is not a number";
  for (auto [line, column] : {std::pair{1500, 0}, {2600, 17}, {4001, 0}, {4001, 17}, {4002, 0}, {7000, 17}})
    cases.push_back({.gen = big, .cmd = {"-a"}, .tables = {}, .stop = Stop::Summary,
                     .message = line > 4001 ? field : eio, .edit = replace(4001, 35, "  0.12x4E+02"),
                     .fail_line = line, .fail_column = column});
  // A bad field in atom k of 9, or a read fault there, for every projected mode.
  const Args nine = shape(9, 301, "32", {"--seed", "5"});
  for (int k : {1, 5, 9}) {
    int line = 309 + 302 * (k - 1) + 100;
    std::string message = "Error! DOSCAR line " + std::to_string(line) + ", columns 60-71: \"x.x\" is not a number";
    for (Args cmd : {Args{"-s1", "9", "2"}, Args{"-fs2", "7", "3", "3", "9", "2", "7", "sum"}, Args{"-p", "6"},
                     Args{"-fa"}, Args{"-a", "at"}}) {
      cases.push_back({.gen = nine, .cmd = cmd, .tables = {}, .stop = Stop::Summary, .message = message,
                       .edit = replace(line, 59, "         x.x")});
      cases.push_back({.gen = nine, .cmd = cmd, .tables = {}, .stop = Stop::Summary, .message = eio,
                       .fail_line = line + 150, .fail_column = 5});
    }
  }
  // Operand errors come after the whole file: its fault is reported.
  const Args four = shape(4, 51, "9");
  for (Args cmd : {Args{"-p", "5"}, Args{"-p", "2", "a", "b"}, Args{"-s1", "0", "3"}, Args{"-s2", "4", "x", "1"},
                   Args{"-s2", "3", "9", "out"}, Args{"-a", "x", "y"}, Args{"-a", " "}})
    cases.push_back({.gen = four, .cmd = cmd, .tables = {}, .stop = Stop::Summary,
                     .message = "Error! DOSCAR line 264, columns 12-23: \"0.12x4E+02\" is not a number",
                     .edit = replace(264, 11, "  0.12x4E+02")});
  expect_cases(cases);
}

// Tables that cannot be written: nothing left but, for -a, the tables
// before the one that failed.
TEST(Scenarios, WriteFaults) {
  const Args g = shape(1, 400, "6");
  std::vector<Case> cases;
  const std::tuple<std::string, DiskFaults, std::string> names[] = {
      {"folder", {.targets = {{"folder", EISDIR}}}, "folder: Is a directory"},
      {"missing/x", {.folders = {{"missing", ENOENT}}}, "missing/x: No such file or directory"},
      {"plain/x", {.folders = {{"plain", ENOTDIR}}}, "plain/x: Not a directory"},
      // Control characters of a name are shown, not obeyed: one line.
      {"missing/a\nb\x1b[2J", {.folders = {{"missing", ENOENT}}},
       "missing/a\\x0ab\\x1b[2J: No such file or directory"}};
  for (const auto& [name, faults, message] : names)
    cases.push_back({.gen = g, .cmd = {"-t", name}, .tables = {}, .stop = Stop::Writing,
                     .message = "Error! Cannot write " + message, .disk = faults});
  const std::string full = std::string(": ") + std::strerror(ENOSPC);
  // -a: the tables before atom k, whatever the threads; a bad field in
  // atom 8, after that table, leaves none.
  const Args nine = shape(9, 301, "32", {"--atom-shift", "--seed", "11"});
  for (int k : {1, 4, 9}) {
    Case c{.gen = nine, .cmd = {"-a"}, .tables = {}, .stop = Stop::Writing,
           .message = "Error! Cannot write iLDOS" + atom_suffix(k) + full,
           .fail_table = "iLDOS" + atom_suffix(k) + ":" + std::to_string(k)};
    for (int atom = 1; atom < k; ++atom)
      c.tables.push_back("iLDOS" + atom_suffix(atom) + ":" + std::to_string(atom));
    cases.push_back(c);
    if (k == 9) continue;
    c.tables = {};
    c.stop = Stop::Summary;
    c.message = "Error! DOSCAR line 2427, columns 24-35: \"x.x\" is not a number";
    c.edit = replace(2427, 23, "         x.x");
    cases.push_back(c);
  }
  // Element sums: the list sums of their atoms, all written or none.
  const Args e = shape(9, 301, "18", {"--atom-shift", "--seed", "13"});
  const Folder poscar = {{"POSCAR", testing_support::poscar(" Fe O Fe_pv Ni", " 2 3 2 2")}};
  const std::string elements = " Elements (POSCAR): Fe 1-2, 6-7, O 3-5, Ni 8-9";
  const std::vector<std::string> sums = {"iSUMDOS_Fe=1+2+6+7", "iSUMDOS_O=3+4+5", "iSUMDOS_Ni=8+9"};
  for (const char* option : {"-e", "-fe"})
    cases.push_back({.gen = e, .cmd = {option}, .tables = sums, .beside = poscar, .elements = elements});
  for (const std::string& sum : sums)
    cases.push_back({.gen = e, .cmd = {"-e"}, .tables = {}, .stop = Stop::Writing,
                     .message = "Error! Cannot write " + sum.substr(0, sum.find('=')) + full,
                     .beside = poscar, .elements = elements, .fail_table = sum});
  expect_cases(cases);
}

// The names of the tables whose moments the console shows, in order.
std::vector<std::string> moments_shown(const std::string& console) {
  std::vector<std::string> names;
  for (const std::string& line : split_lines(console))
    if (line.starts_with(" Moments of ")) names.push_back(line.substr(12, line.size() - 13));
  return names;
}

// -a with --moments makes its tables on every reading thread at once: the
// moments are shown in atom order all the same, up to a table that cannot
// be written or made.
TEST(Scenarios, MomentsOfAllAtomsInAtomOrder) {
  std::string text = doscar(shape(9, 301, "18", {"--atom-shift", "--seed", "8"}));
  Doscar d = reference::parse(text);
  const Args cmd = {"--moments", "--orbitals=l", "-a"};
  std::vector<std::string> names;
  for (int atom = 1; atom <= 9; ++atom) names.push_back("iLDOS" + atom_suffix(atom));
  Outcome all = run_every_way({{"DOSCAR", text}}, cmd);
  EXPECT_EQ(moments_shown(all.out), names);
  EXPECT_EQ(all.tables.size(), 18u);
  for (const std::string& name : names) EXPECT_EQ(all.tables.count(name + ".moments"), 1u) << name;
  // A full disk at atom 4: the moments of 1 to 4, the tables of 1 to 3.
  Outcome full = run_every_way({{"DOSCAR", text}}, cmd, {}, {.marker = split_lines(all.tables.at(names[3]))[0]});
  EXPECT_EQ(moments_shown(full.out), std::vector<std::string>(names.begin(), names.begin() + 4));
  EXPECT_EQ(full.err, "Error! Cannot write iLDOS004: " + std::string(std::strerror(ENOSPC)) + "\n");
  Folder before;
  for (int atom = 0; atom < 3; ++atom) before[names[atom]] = all.tables.at(names[atom]);
  EXPECT_TRUE(full.tables == before) << full.tables.size() << " files";
  // A window that leaves fewer than 2 rows of atom 4 and of every atom
  // after it (their energies lie higher): atom 4 is reported, after the
  // moments of 1 to 3, and nothing is written.
  double top = std::stod(reference::energy_field(d.atoms[0][1][0] - d.efermi)) + 0.03;
  Outcome window = run_every_way({{"DOSCAR", text}}, {"--moments", "--orbitals=l",
                                                       "--window=-100:" + std::to_string(top), "-a"});
  EXPECT_EQ(window.err, "Error! --window leaves fewer than 2 rows of the table iLDOS004\n");
  EXPECT_EQ(moments_shown(window.out), std::vector<std::string>(names.begin(), names.begin() + 3));
  EXPECT_TRUE(window.tables.empty());
  // -e: the file beside the first element's table cannot be written.
  Outcome e = run_every_way({{"DOSCAR", text}, {"POSCAR", poscar("Fe O", "4 5")}}, {"--moments", "-e"}, {},
                            {.marker = "# column"});
  EXPECT_EQ(e.err, "Error! Cannot write iSUMDOS_Fe.moments: " + std::string(std::strerror(ENOSPC)) + "\n");
  EXPECT_TRUE(e.tables.empty());
}

}  // namespace
