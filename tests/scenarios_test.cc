// The modes as users run them, in memory: tables of rows, each a generated DOSCAR (perhaps
// edited, compressed, or beside other files), a command line and what the run must give, the
// same on any threads, chunks, ring and reads. A run that succeeds gives the console and
// tables the tests' model of the file computes; a fault stops the console at its place, with
// its message and status, and leaves no table (or, for -a, those before the one that failed).
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "reference.h"
#include "scenario.h"
#include "support.h"
#include "driver/run.h"

namespace {

using namespace testing_support;

const std::string kWrong = "Wrong atomic index(es)", kNone = "No atom specified",
                  kMany = "Too many input argument(s)", kFew = "Too few input argument(s)",
                  kEmpty = "Empty output file name", kInput = "Output file would overwrite DOSCAR",
                  kOption = "Wrong input argument(s)";
const std::string kEio = "Error! Cannot read DOSCAR: " + std::string(std::strerror(EIO));
const std::string kFull = std::string(": ") + std::strerror(ENOSPC);
std::string not_a_number(int line, const std::string& columns, const std::string& field) {
  return "Error! DOSCAR line " + std::to_string(line) + ", columns " + columns + ": \"" + field + "\" is not a number";
}

// Every mode, shifted and not, on `g` (3 atoms or more).
std::vector<Case> every_mode(const Args& g) {
  return {{g, {"-t"}, {"iDOS"}},           {g, {"-ft", "tdos"}, {"tdos"}},     {g, {"-p", "3", "one"}, {"one003:3"}},
          {g, {"-fp", "2"}, {"iLDOS002:2"}}, {g, {"-a"}, {"iLDOS*"}},           {g, {"-af", "at"}, {"at*"}},
          {g, {"-s1", "3", "2"}, {"iSUMDOS=2+3"}}, {g, {"-fs1", "1", "3", "range"}, {"range=1+2+3"}},
          {g, {"-s2", "3", "2", "3"}, {"iSUMDOS=3+2+3"}}, {g, {"-s2f", "2", "list"}, {"list=2"}}};
}

TEST(Scenarios, EveryModeOnEveryWidth) {
  for (std::string npcol : {"3", "4", "9", "16", "6", "8", "18", "32"})
    expect_cases(every_mode(shape(3, 30, npcol, {"--seed", npcol, "--atom-shift"})));
  // Spin-orbit runs, 64 values wrapped over two lines per point; 16
  // beside 2 total values cannot be told from a run without spin.
  for (std::string npcol : {"12", "36", "64", "16"})
    expect_cases(every_mode(shape(3, 30, npcol, {"--noncollinear", "--seed", npcol, "--atom-shift"})));
  // Windows line ends; values near zero keep their sign in the summary only.
  expect_cases(every_mode(shape(3, 25, "18", {"--system", "Fe bcc", "--crlf"})));
  expect_cases({{shape(1, 20, "3", {"--efermi", "-0.0004", "--emin", "-0.0002", "--emax", "3"}), {"-t"}, {"iDOS"}}});
}

TEST(Scenarios, OperandsAndNames) {
  const Args g = shape(12, 6, "3"), t = shape(1, 10, "3"), many = shape(1002, 3, "4", {"--atom-shift"});
  const std::string longest(60, 'n'), atoms(39, 'L');
  std::vector<Case> cases = {
      {g, {"-p", "12"}, {"iLDOS012:12"}}, {g, {"-p", "007"}, {"iLDOS007:7"}}, {g, {"-s1", "007", "+9"}, {"iSUMDOS=7+8+9"}},
      {g, {"-p", "2", "Fe  "}, {"Fe002:2"}}, {g, {"-s1", "1", "12"}, {"iSUMDOS=1+2+3+4+5+6+7+8+9+10+11+12"}},
      {g, {"-s1", "2", "5", "12"}, {"12=2+3+4+5"}}, {g, {"-s2", "4"}, {"iSUMDOS=4"}},
      // -s2: atom lists and ranges in the order given; the last operand a name when it is no atom list.
      {g, {"-s2", "1", "3", "12abc"}, {"12abc=1+3"}}, {g, {"-s2", "1", "3", "3,out"}, {"3,out=1+3"}},
      {g, {"-s2", "5,6,7,8", "surf"}, {"surf=5+6+7+8"}}, {g, {"-s2", "1-4,9", "12"}, {"iSUMDOS=1+2+3+4+9+12"}},
      {g, {"-s2", "11-12", "9", "+3-4,2-2", "010", "x"}, {"x=11+12+9+3+4+2+10"}},
      // Settings anywhere, "--" ends them: what follows is an operand or a name.
      {g, {"-s2", "--window=:", "1-3", "--doscar=DOSCAR", "5", "x"}, {"x=1+2+3+5"}},
      {g, {"-s2", "2", "--", "--odd"}, {"--odd=2"}}, {t, {"-ft", "a", "--"}, {"a"}}, {t, {"--", "-t", "-x"}, {"-x"}},
      // Names used whole but trailing blanks; the option judged by five characters.
      {t, {"-tf", "TDOS"}, {"TDOS"}}, {t, {"-t", longest}, {longest}}, {t, {"-t", "with blank  "}, {"with blank"}},
      {t, {"-t   x"}, {"iDOS"}}, {t, {"-tf  "}, {"iDOS"}}, {shape(3, 4, "9"), {"-a", atoms}, {atoms + "*"}},
      // A DOSCAR elsewhere, or names that only begin like it.
      {t, {"-ft", "sub/DOSCAR"}, {"sub/DOSCAR"}}, {t, {"-fp", "1", "DOSCAR"}, {"DOSCAR001:1"}},
      // More than 999 atoms: the suffix grows. No atoms: no tables.
      {many, {"-a"}, {"iLDOS*"}}, {many, {"-p", "1001"}, {"iLDOS1001:1001"}},
      {.gen = shape(1, 4, "9"), .cmd = {"-a"}, .tables = {}, .edit = replace(1, 0, "   0")},
      // Atom 1 left out still gives its energies.
      {shape(5, 8, "8", {"--atom-shift"}), {"-s2", "4", "2", "2", "out"}, {"out=4+2+2"}}};
  // Lists of any length and order; sums large enough to
  // be shared out by rows, each row added in list order.
  for (auto [ngrid, count, option] : {std::tuple{8, 150, "-s2"}, {3001, 120, "-s2f"}}) {
    Case c{shape(5, ngrid, "32", {"--atom-shift"}), {option}, {"iSUMDOS="}};
    for (int i = 0; i < count; ++i)
      c.cmd.push_back(std::to_string(5 - (i * 3) % 5)), c.tables[0] += (i ? "+" : "") + c.cmd.back();
    cases.push_back(c);
  }
  const std::pair<Args, std::string> errors[] = {
      {{"-p"}, kNone}, {{"-p", "2", "a", "b"}, kMany}, {{"-a", "x", "y"}, kMany}, {{"-a", " "}, kEmpty},
      {{"-s1"}, kNone}, {{"-s1", "2"}, kFew}, {{"-s1", "x"}, kFew}, {{"-s1", "5-8"}, kFew}, {{"-s2"}, kNone},
      {{"-s1", "2", "5", "a", "b"}, kMany}, {{"-s2", "1", "3", ""}, kEmpty}, {{"-t", "-", "-"}, kMany},
      // No table replaces the DOSCAR read, under any of its names.
      {{"-ft", "DOSCAR"}, kInput}, {{"-t", "DOSCAR.gz"}, kInput}, {{"-fs2", "1", "3", "./DOSCAR"}, kInput}};
  for (const auto& [cmd, message] : errors) cases.push_back({g, cmd, {}, Stop::Closing, message});
  expect_cases(cases);
  // A wrong atom operand: the error block once the file is read, and a line on standard error naming it.
  const std::string count = "this DOSCAR has 12 atoms (1-12)", number = "not an atom number", one = "one atom number here, not a list or range",
                    hyphen = "a range is two atom numbers joined by one hyphen", name = "not an atom list, and only the last operand names the output";
  const std::pair<Args, std::string> wrong[] = {
      {{"-p", "13"}, "-p 13: " + count}, {{"-p", "0"}, "-p 0: " + count}, {{"-p", "2,3"}, "-p 2,3: " + one},
      {{"-fp", "3-4", "x"}, "-fp 3-4: " + one}, {{"-p", "2.5"}, "-p 2.5: " + number}, {{"-p", "  7"}, "-p   7: " + number},
      {{"-p", "\t3"}, "-p \\x093: " + number}, {{"-p", "-1"}, "-p -1: " + hyphen},
      {{"-p", "1234567890"}, "-p 1234567890: an atom number has more than nine digits"},
      {{"-s1", "x", "3"}, "-s1 x: " + number}, {{"-s1", "2", "13"}, "-s1 13: " + count}, {{"-s1f", "0", "3"}, "-s1f 0: " + count},
      {{"-s2", "5,,6"}, "-s2 5,,6: an atom is missing between commas"}, {{"-s2", "4-1", "x"}, "-s2 4-1: a range must rise"},
      {{"-s2", "1-"}, "-s2 1-: " + hyphen}, {{"-s2", "1", "-3"}, "-s2 -3: " + hyphen}, {{"-s2", "1", "--", "1-2-3"}, "-s2 1-2-3: " + hyphen},
      {{"-s2", "3", "4", "x", "5"}, "-s2 x: " + name}, {{"-s2", "Fe"}, "-s2 Fe: no atom before the output name"},
      {{"-fs2", "1", "2-13", "x"}, "-fs2 2-13: " + count}, {{"-a", "-"}, "-a -: writes several tables; standard output takes one"}};
  for (const auto& [cmd, line] : wrong) {
    Outcome o = run_every_way({{"DOSCAR", doscar(g)}}, cmd);
    EXPECT_TRUE(o.status == 2 && o.tables.empty() && o.out.find(" Closing DOSCAR file...\n") != std::string::npos) << show(cmd);
    EXPECT_TRUE(o.out.ends_with(reference::error_block(cmd[0] == "-a" ? kOption : kWrong))) << show(cmd) << o.out;
    EXPECT_EQ(o.err, "pdsplit: " + line + "\n");
  }
}

// "-": the one table of -t, -p, -s1 and -s2 on standard output, the console on standard error as it is
// for a named table; no .moments file beside it. -a and -e refuse it by one check (OperandsAndNames).
TEST(Scenarios, StandardOutput) {
  const Folder f = {{"DOSCAR", doscar(shape(4, 20, "9"))}, {"POSCAR", poscar("Fe O", "2 2")}};
  const reference::Doscar d = reference::parse(f.at("DOSCAR"));
  const std::pair<Args, std::vector<reference::Row>> rows[] = {
      {{"-t"}, d.total}, {{"-p", "2"}, d.atoms[1]}, {{"-s1", "3", "1"}, reference::sum_atoms(d, {1, 2, 3})},
      {{"-s2", "4", "1-2,4"}, reference::sum_atoms(d, {4, 1, 2, 4})}};
  for (const auto& [cmd, rows] : rows)
    for (const Args& more : {Args{}, Args{"--moments"}}) {
      Args to = cmd, named = cmd;
      to.push_back("-"), named.push_back("x");
      to.insert(to.end(), more.begin(), more.end()), named.insert(named.end(), more.begin(), more.end());
      Outcome o = run_in_memory(f, to), file = run_in_memory(f, named);
      EXPECT_TRUE(o.status == 0 && o.tables.empty() && o.out == reference::table(rows, d.efermi)) << show(to) << o.err;
      std::string console = without_cpu_time(o.err), moments = " Moments of -:";
      if (!more.empty()) console.replace(console.find(moments), moments.size(), cmd[0] == "-p" ? " Moments of x002:" : " Moments of x:");
      EXPECT_EQ(console, file.out) << show(to);
    }
}

TEST(Scenarios, CommandLineAndMissingDoscar) {
  const Args g = shape(2, 5, "9");
  std::vector<Case> cases = {{g, {}, {}, Stop::Banner, "No input argument found"},
                             {g, {"-h", "x"}, {}, Stop::Banner, kMany}, {g, {"-h", ""}, {}, Stop::Banner, kMany}};
  for (std::string option : {"-H", "--t", "t", "", " -t", "-s1fx", "-s1f12", "-F"})
    cases.push_back({g, {option}, {}, Stop::Banner, kOption});
  cases.push_back({{}, {"-s2", "1"}, {}, Stop::Missing, "Error! There is no DOSCAR in current directory"});
  expect_cases(cases);
}

TEST(Scenarios, FilesWithoutProjectionsOrDensities) {
  const std::string none = "Error! DOSCAR holds no projected DOS (VASP writes it only when LORBIT is set)";
  std::vector<Args> modes = {{"-p", "1"}, {"-fp", "2", "x"}, {"-a"}, {"-s1", "1", "2"}, {"-s2", "1"}, {"-fs2", "2", "1", "y"}};
  // The total DOS alone; a molecular-dynamics run's further blocks are not read; projection
  // flag 1, but the file ends after the total-DOS block or after the first atom's header line.
  const std::pair<Args, std::size_t> kinds[] = {
      {{"--total-only", "--npcol", "18"}, 0}, {{"--md", "--npcol", "3"}, 0},
      {{"--npcol", "32"}, 27}, {{"--noncollinear", "--npcol", "64"}, 27}};
  std::vector<Case> cases;
  for (auto [options, lines] : kinds) {
    options.insert(options.end(), {"--natom", "3", "--ngrid", "20"});
    Edit edit = lines ? keep(lines) : Edit{};
    cases.push_back({.gen = options, .cmd = {"-tf", "TDOS"}, .tables = {"TDOS"}, .edit = edit});
    for (const Args& cmd : modes)
      cases.push_back({.gen = options, .cmd = cmd, .tables = {}, .stop = Stop::Summary, .message = none,
                       .edit = edit, .model = Model::Edited});
  }
  expect_cases(cases);
}

// A wrapped file of 2 atoms and 5 points: total DOS 7-11, atom 1 on lines 12-22 (odd lines
// the energy and values 1-36, even lines value 37 and values 38-64), atom 2 on lines 23-33.
TEST(Scenarios, WrappedSpinOrbitLines) {
  const Args w = shape(2, 5, "64", {"--noncollinear", "--atom-shift"});
  const std::string ends = "Error! DOSCAR ends at line ", follows = " follows the last value of a continued line";
  auto fault = [&](Edit edit, Args cmd, std::string message) {
    return Case{.gen = w, .cmd = cmd, .tables = {}, .stop = Stop::Summary, .message = message, .edit = edit};
  };
  // Short lines: their missing values are zeros (the first continuation
  // line, which tells a wrapped file, read like the others).
  auto shorter = [](const std::string& text) {
    std::vector<std::string> l = split_lines(text);
    l[13].resize(71), l[15].resize(71), l[17].resize(11), l[19].resize(0), l[16].resize(251);
    return join_lines(l);
  };
  expect_cases({
      {.gen = w, .cmd = {"-fa"}, .tables = {"iLDOS*"}, .edit = shorter},
      {.gen = w, .cmd = {"-s2", "2", "1"}, .tables = {"iSUMDOS=2+1"}, .edit = shorter},
      fault(keep(15), {"-a"}, ends + "15, but its header needs 33 lines"),
      fault(cut_inside(16), {"-s1", "1", "2"}, "Error! DOSCAR ends in the middle of line 16"),
      fault(append(25, "   0.1E+01 junk  "), {"-fs2", "1", "2"},
            "Error! DOSCAR line 25, columns 336-350: \"0.1E+01 junk\"" + follows),
      // Value 37 in the energy's columns, the first and last value field, value 36.
      fault(replace(18, 0, "    0.0x0  "), {"-a"}, not_a_number(18, "1-11", "0.0x0")),
      fault(replace(30, 323, "        1E  "), {"-p", "2"}, not_a_number(30, "324-335", "1E")),
      fault(replace(17, 431, "  abc       "), {"-a"}, not_a_number(17, "432-443", "abc")),
  });
}

// Compressed with gzip, xz or bzip2: the plain file's tables; the plain file
// wins, .xz before .bz2, and the first bytes decide; archives one after the
// other read as one text; damaged and cut archives refused by name.
TEST(Scenarios, CompressedFiles) {
  auto with = [](Args a, const Args& more) { a.insert(a.end(), more.begin(), more.end()); return a; };
  const Args g = shape(5, 101, "18", {"--seed", "11"}), spin_orbit = shape(3, 40, "64", {"--noncollinear"});
  std::vector<Case> cases;
  for (std::string kind : {"gz", "xz", "bz2"}) {
    Args packed = with(g, {"--compress", kind});
    for (Case c : std::vector<Case>{{packed, {"-a", "at"}, {"at*"}}, {packed, {"-s2", "5", "1", "5", "x"}, {"x=5+1+5"}},
                                    {with(spin_orbit, {"--compress", kind}), {"-fs2", "3", "1"}, {"iSUMDOS=3+1"}}}) {
      c.name = "DOSCAR." + kind;
      cases.push_back(c);
    }
    // Cut at a third (a bzip2 block gives nothing then),
    // cut before its end, damaged from its first bytes on.
    const std::pair<Edit, Stop> refusals[] = {
        {[](const std::string& t) { return t.substr(0, t.size() / 3); }, kind == "bz2" ? Stop::Opening : Stop::Summary},
        {[](const std::string& t) { return t.substr(0, t.size() - 5); }, Stop::Summary},
        {[](std::string t) { for (std::size_t i = 20; i < 84; ++i) t[i] ^= 0x5a; return t; }, Stop::Opening}};
    for (const auto& [edit, stop] : refusals)
      cases.push_back({.gen = packed, .cmd = {"-s1", "1", "5"}, .tables = {}, .stop = stop,
                       .message = "Error! Cannot read DOSCAR." + kind + ": ", .edit = edit, .name = "DOSCAR." + kind});
    // Zero bytes after the last stream are padding where the format has it
    // (gzip ignores them, xz pads in fours): read as the tools read them.
    auto zeros = [](std::size_t n) { return [n](const std::string& t) { return t + std::string(n, '\0'); }; };
    if (kind != "bz2")
      cases.push_back({.gen = packed, .cmd = {"-a", "at"}, .tables = {"at*"}, .edit = zeros(kind == "gz" ? 512 : 8),
                       .name = "DOSCAR." + kind});
    if (kind == "xz")
      cases.push_back({.gen = packed, .cmd = {"-s1", "1", "5"}, .tables = {}, .stop = Stop::Summary,
                       .message = "Error! Cannot read DOSCAR.xz: its stream padding is damaged", .edit = zeros(6),
                       .name = "DOSCAR.xz"});
  }
  cases.push_back({.gen = with(g, {"--system", "plain"}), .cmd = {"-t"}, .tables = {"iDOS"},
                   .beside = {{"DOSCAR.gz", doscar(with(g, {"--system", "packed", "--compress", "gz"}))}}});
  cases.push_back({.gen = with(g, {"--system", "bz2-in-xz", "--compress", "bz2"}), .cmd = {"-t"}, .tables = {"iDOS"},
                   .name = "DOSCAR.xz", .beside = {{"DOSCAR.bz2", doscar(with(g, {"--compress", "bz2"}))}}});
  cases.push_back({with(g, {"--compress", "gz"}), {"-t"}, {"iDOS"}});
  for (std::string tool : {"gzip", "xz", "bzip2"})
    cases.push_back({.gen = g, .cmd = {"-fa"}, .tables = {"iLDOS*"}, .edit = [tool](const std::string& text) {
                       Scratch dir;
                       std::size_t half = text.find('\n', text.size() / 2) + 1;
                       write_file(dir.file("a"), text.substr(0, half));
                       write_file(dir.file("b"), text.substr(half));
                       run_in(dir.path(), "/bin/sh", {"-c", tool + " -c a > c && " + tool + " -c b >> c"});
                       return read_file(dir.file("c"));
                     }, .model = Model::Unedited});
  expect_cases(cases);
}

// Lines of 10 MB read as their first characters: a header line read by no one, the line of the
// energies, the first projected line, an atom's header line, the last line without its line feed.
TEST(Scenarios, LongLinesReadAsTheirFirstCharacters) {
  std::string noise(10 << 20, 'E');
  for (std::size_t i = 0; i < noise.size(); i += 5) noise[i] = '7';
  const std::string after_fields = std::string(1100, ' ') + noise;
  std::vector<Case> cases;
  for (Args g : {shape(3, 301, "32"), shape(3, 301, "32", {"--crlf"})})
    for (auto [line, junk] : {std::pair{2, noise}, {6, after_fields}, {309, after_fields}, {610, noise}, {0, noise}})
      cases.push_back({.gen = g, .cmd = {"-fs2", "3", "1", "x"}, .tables = {"x=3+1"},
                       .edit = line ? append(line, junk) : [=](const std::string& t) {
                         std::string text = append(1213, after_fields)(t);
                         return text.erase(text.size() - 1);
                       }, .model = Model::Unedited});
  expect_cases(cases);
}

// A read that fails anywhere the run reads stops it, nothing written; so does a bad field; the first
// fault in the file is the one reported; operand errors come after the whole file and its faults.
TEST(Scenarios, ReadFaultsAndBadFields) {
  std::vector<Case> cases;
  // 4 atoms of 301 points: total DOS lines 7-307, atom k's header line 308 + 302 (k - 1).
  const Args g = shape(4, 301, "32");
  for (Args cmd : {Args{"-t"}, Args{"-a"}, Args{"-p", "3"}, Args{"-s1", "1", "4"}}) {
    // The summary follows the total DOS and the first projected line; -t reads no further.
    for (auto [line, column, stop] : {std::tuple{1, 0, Stop::Heading}, {3, 5, Stop::Opening}, {6, 5, Stop::Opening},
                                      {150, 5, Stop::Opening}, {309, 5, Stop::Opening}, {310, 0, Stop::Summary},
                                      {912, 5, Stop::Summary}, {1100, 5, Stop::Summary}, {-1, 3, Stop::Summary}})
      cases.push_back(cmd[0] == "-t" && stop == Stop::Summary
                          ? Case{.gen = g, .cmd = cmd, .tables = {"iDOS"}, .fail_line = line, .fail_column = column}
                          : Case{.gen = g, .cmd = cmd, .tables = {}, .stop = stop, .message = kEio,
                                 .fail_line = line, .fail_column = column});
  }
  cases.push_back({.gen = g, .cmd = {"-a"}, .tables = {"iLDOS*"}, .fail_line = 1516});  // past the end
  // The first fault in the file: a bad field on line 4001, a read fault before it, inside it or after it.
  for (auto [line, column] : {std::pair{2600, 17}, {4001, 17}, {4002, 0}, {7000, 17}})
    cases.push_back({.gen = shape(9, 1001, "32"), .cmd = {"-a"}, .tables = {}, .stop = Stop::Summary,
                     .message = line > 4001 ? not_a_number(4001, "36-47", "0.12x4E+02") : kEio,
                     .edit = replace(4001, 35, "  0.12x4E+02"), .fail_line = line, .fail_column = column});
  // A bad field in atom 1, 5 or 9 of 9, in every projected mode (read faults there: the rows above).
  for (int line : {409, 409 + 302 * 4, 409 + 302 * 8})
    for (Args cmd : {Args{"-s1", "9", "2"}, Args{"-fs2", "7", "3", "3", "9", "2", "7", "sum"}, Args{"-p", "6"},
                     Args{"-fa"}, Args{"-a", "at"}})
      cases.push_back({.gen = shape(9, 301, "32"), .cmd = cmd, .tables = {}, .stop = Stop::Summary,
                       .message = not_a_number(line, "60-71", "x.x"), .edit = replace(line, 59, "         x.x")});
  // Operand errors come after the whole file: its fault is reported.
  for (Args cmd : {Args{"-p", "5"}, Args{"-p", "2", "a", "b"}, Args{"-s1", "0", "3"}, Args{"-s2", "4", "x", "1"},
                   Args{"-s2", "3", "9", "out"}, Args{"-a", "x", "y"}, Args{"-a", " "}})
    cases.push_back({.gen = shape(4, 51, "9"), .cmd = cmd, .tables = {}, .stop = Stop::Summary,
                     .message = not_a_number(264, "12-23", "0.12x4E+02"), .edit = replace(264, 11, "  0.12x4E+02")});
  expect_cases(cases);
}

// The names of the tables whose moments the console shows, in order.
std::vector<std::string> moments_shown(const std::string& console) {
  std::vector<std::string> names;
  for (const std::string& line : split_lines(console))
    if (line.starts_with(" Moments of ")) names.push_back(line.substr(12, line.size() - 13));
  return names;
}

// Tables that cannot be written: nothing left, or for -a those before the failed one. A run that
// fails at a target replaces no file: every target, tables and .moments files, is checked before
// the first is put in place; only a fault no check foresees (at the rename itself) leaves -a's
// tables before it, each with its own .moments or none. -a with --moments makes its tables on every
// reading thread at once: the moments are shown in atom order all the same, up to a failed table.
TEST(Scenarios, WriteFaults) {
  // Control characters of a name are shown, not obeyed: one line.
  const std::string shown = "missing/a\\x0ab\\x1b[2J: No such file or directory";
  std::vector<Case> cases = {{.gen = shape(1, 400, "6"), .cmd = {"-t", "missing/a\nb\x1b[2J"}, .tables = {},
                              .stop = Stop::Writing, .message = "Error! Cannot write " + shown,
                              .disk = {.folders = {{"missing", ENOENT}}}}};
  // Element sums: all written or none (the last meets the full disk).
  const Args e = shape(9, 301, "18", {"--atom-shift", "--seed", "13"});
  const Folder structure = {{"POSCAR", poscar(" Fe O Fe_pv Ni", " 2 3 2 2")}};
  const std::string elements = " Elements (POSCAR): Fe 1-2, 6-7, O 3-5, Ni 8-9";
  cases.push_back({.gen = e, .cmd = {"-e"}, .tables = {}, .stop = Stop::Writing,
                   .message = "Error! Cannot write iSUMDOS_Ni" + kFull, .beside = structure,
                   .elements = elements, .fail_table = "iSUMDOS_Ni=8+9"});
  expect_cases(cases);

  const Folder folder = {{"DOSCAR", doscar(shape(9, 301, "18", {"--atom-shift", "--seed", "8"}))}};
  reference::Doscar d = reference::parse(folder.at("DOSCAR"));
  const Args cmd = {"--moments", "--orbitals=l", "-a"};
  std::vector<std::string> names;
  for (int atom = 1; atom <= 9; ++atom) names.push_back("iLDOS00" + std::to_string(atom));
  Outcome all = run_every_way(folder, cmd);
  EXPECT_EQ(moments_shown(all.out), names);
  EXPECT_EQ(all.tables.size(), 18u);
  for (const std::string& name : names) EXPECT_EQ(all.tables.count(name + ".moments"), 1u) << name;
  // A full disk at atom k: the moments of 1 to k, the tables of 1 to k - 1, each with its .moments.
  const std::map<int, std::string> placed = {
      {1, ""}, {2, " (the table of atom 1 is in place)"}, {4, " (the tables of atoms 1-3 are in place)"}};
  for (const auto& [k, suffix] : placed) {
    Outcome full = run_every_way(folder, cmd, {}, {.marker = split_lines(all.tables.at(names[k - 1]))[0]});
    EXPECT_EQ(moments_shown(full.out), std::vector<std::string>(names.begin(), names.begin() + k));
    EXPECT_EQ(full.err, "Error! Cannot write " + names[k - 1] + kFull + suffix + "\n");
    Folder before;
    for (int atom = 0; atom < k - 1; ++atom)
      for (const std::string& name : {names[atom], names[atom] + ".moments"})
        before[name] = all.tables.at(name);
    EXPECT_TRUE(full.tables == before) << k << ": " << full.tables.size() << " files";
  }
  // A window that leaves fewer than 2 rows of atom 4 and of every atom after it (their energies
  // lie higher): atom 4 is reported, after the moments of 1 to 3, and nothing is written.
  double top = std::stod(reference::energy_field(d.atoms[0][1][0] - d.efermi)) + 0.03;
  Outcome window = run_every_way(folder, {"--moments", "--orbitals=l", "--window=-100:" + std::to_string(top), "-a"});
  EXPECT_EQ(window.err, "Error! --window leaves fewer than 2 rows of the table iLDOS004\n");
  EXPECT_EQ(moments_shown(window.out), std::vector<std::string>(names.begin(), names.begin() + 3));
  EXPECT_TRUE(window.tables.empty());

  const Folder f = {{"DOSCAR", doscar(shape(4, 51, "9"))}, {"POSCAR", poscar("Fe O", "2 2")}};
  const std::string name(300, 'n');
  const std::map<std::string, std::string> older = {{"iSUMDOS_Fe", "old\n"}, {"iDOS", "old\n"}, {"iLDOS001", "old\n"}};
  const std::tuple<Args, std::string, int> rows[] = {
      {{"-e"}, "iSUMDOS_O", EISDIR}, {{"--moments", "-t", name}, name + ".moments", ENAMETOOLONG},
      {{"--moments", "-a"}, "iLDOS004.moments", EISDIR}};
  for (const auto& [args, target, error] : rows) {
    Outcome o = run_every_way(f, args, {}, {.targets = {{target, error}}, .older = older});
    EXPECT_EQ(o.status, 1) << show(args);
    EXPECT_EQ(o.err, "Error! Cannot write " + target + ": " + std::strerror(error) + "\n");
    EXPECT_TRUE(o.tables == older) << show(args) << o.tables.size() << " files";
  }
  // Unforeseen: the .moments of atom 3 fails at its rename;
  // table 3 is new, and the older .moments beside it is gone.
  Outcome o = run_in_memory(f, {"--moments", "-a"}, {},
                            {.targets = {{"iLDOS003.moments", EIO}}, .unforeseen = true,
                             .older = {{"iLDOS003.moments", "old\n"}}});
  EXPECT_EQ(o.err, "Error! Cannot write iLDOS003.moments: " + std::string(std::strerror(EIO)) +
                       " (the tables of atoms 1-3 are in place)\n");
  Args left;
  for (const auto& entry : o.tables) left.push_back(entry.first);
  EXPECT_EQ(left, (Args{"iLDOS001", "iLDOS001.moments", "iLDOS002", "iLDOS002.moments", "iLDOS003"}));
}

// Gigabytes of zeros behind a small archive: a run reads no further than the lines it needs and
// the first characters of a line that never ends, and the check for damage after a failure reads
// no further than twice what the run read. Counted in reads of the archive, not in seconds.
TEST(Scenarios, ZerosBehindAnArchiveAreNotReadToTheirEnd) {
  const std::string& real = doscar(shape(4, 51, "9", {"--compress", "gz"}));
  Scratch dir;  // 256 gzip members of 64 MiB of NULs each: 16 GiB in 16 MB
  run_in(dir.path(), "/bin/sh",
         {"-c", "head -c 67108864 /dev/zero | gzip -9 > z && for i in $(seq 256); do cat z; done > t"});
  const std::string tail = read_file(dir.file("t"));
  const std::pair<std::string, Args> runs[] = {{real + tail, {"-p", "1"}}, {real + tail, {"-a"}}, {tail, {"-t"}}};
  for (const auto& [text, args] : runs) {
    MemoryFiles files;
    files.add("DOSCAR", text);
    files.faults.max_read = 64 << 10;
    MemoryDisk disk;
    Captured out, err;
    int status = pdsplit::run(args, out.open(), err.open(), disk, files, 2);
    std::string message = err.close();
    out.close();
    EXPECT_LT(files.counts.reads.load(), 64u) << show(args);
    EXPECT_EQ(status, text == tail ? 1 : 0) << message;
    EXPECT_TRUE(text != tail || message == not_a_number(1, "1-4", "\\x00\\x00\\x00\\x00") + "\n") << message;
    EXPECT_TRUE(text == tail || disk.files() == run_in_memory({{"DOSCAR", real}}, args).tables) << show(args);
  }
}

// Settings the file's header shows cannot serve are refused once it
// is read: status 2, one line, nothing read further, nothing written.
TEST(Scenarios, SettingsTheHeaderRefuses) {
  const Folder f = {{"DOSCAR", doscar(shape(4, 51, "9", {"--emin", "-10", "--emax", "15"}))}};
  const std::string efermi = "Error! --efermi: puts the energies of this DOSCAR less the Fermi energy outside "
                             "the table's energy field (-999999.999 to 9999999.999 eV)";
  const std::pair<Args, std::string> rows[] = {
      {{"--efermi=1000000", "-ft"}, efermi}, {{"--efermi=-9999990", "-p", "1"}, efermi},
      {{"--gaussian=25.001", "-a"}, "Error! --gaussian: wider than the energy range of this DOSCAR (25.000 eV)"}};
  for (const auto& [args, message] : rows) {
    Outcome o = run_every_way(f, args);
    EXPECT_EQ(o.status, 2) << show(args);
    EXPECT_EQ(o.err, message + "\n");
    EXPECT_TRUE(o.out.ends_with(" Opening DOSCAR file...\n")) << o.out;
    EXPECT_TRUE(o.tables.empty());
  }
  for (Args args : {Args{"--efermi=-9999980", "-t"}, Args{"--gaussian=24.9", "-t"}})
    EXPECT_EQ(run_every_way(f, args).status, 0) << show(args);
}

// Exponents spelt e or D from line 7 on, the first projected line too: the same tables as with E.
TEST(Scenarios, OtherExponentLettersOnEveryLine) {
  std::vector<Case> cases;
  const std::pair<Args, std::string> runs[] = {{{"-a"}, "iLDOS*"}, {{"-s1", "1", "3"}, "iSUMDOS=1+2+3"}};
  for (const char letter : {'e', 'D'})
    for (std::string npcol : {"9", "18", "32"})
      for (const auto& [cmd, out] : runs)
        cases.push_back({.gen = shape(3, 20, npcol), .cmd = cmd, .tables = {out}, .edit = [=](std::string t) {
                           std::size_t at = 0;
                           for (int line = 1; line < 7; ++line) at = t.find('\n', at) + 1;
                           for (; (at = t.find('E', at)) != std::string::npos;) t[at] = letter;
                           return t;
                         }, .model = Model::Unedited});
  expect_cases(cases);
}

}  // namespace
