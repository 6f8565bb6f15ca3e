// Every kind of DOSCAR VASP writes besides the usual one, end to end:
// spin-orbit files (12, 36 and 64 values per grid point, the last wrapped
// over two lines), files that hold the total DOS alone or only their header,
// the faults of wrapped lines, and wrapped files compressed. Consoles and
// tables are compared whole with what the reference model computes from the
// DOSCAR text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "lines.h"
#include "reference.h"
#include "support.h"

namespace {

using namespace testing_support;

const std::string kNoProjections =
    "Error! DOSCAR holds no projected DOS (VASP writes it only when LORBIT is set)\n";
const std::string kHeaderOnly =
    "Error! DOSCAR holds only its header: VASP stopped before writing the density of states\n";

std::string heading(const std::string& option) {
  auto has = [&](const char* letters) { return option.find(letters) != std::string::npos; };
  if (has("t")) return " ::: TOTAL DOS :::\n";
  if (has("a")) return " ::: PROJECTED DOS FOR ALL ATOMS :::\n";
  if (has("p")) return " ::: PROJECTED DOS FOR AN ATOM :::\n";
  if (has("s1")) return " ::: SUM PROJECTED DOS OF SEQUENTIAL ATOMS :::\n";
  return " ::: SUM PROJECTED DOS OF DISCRETE ATOMS :::\n";
}

std::string command(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& a : args) text += a + " ";
  return text;
}

// The console without the processor-time line, whose figure varies.
std::string without_cpu_time(const std::string& out) {
  std::size_t at = out.find(" CPU time (s):");
  if (at == std::string::npos) return out;
  return out.substr(0, at) + out.substr(out.find('\n', at) + 1);
}

// Banner, heading and summary: all a run prints when it stops after the
// header. A DOSCAR read under another name is named after the opening line.
std::string up_to_summary(const reference::Doscar& d, const std::string& option,
                          const std::string& name = "DOSCAR") {
  std::string summary = reference::summary(d);
  if (name != "DOSCAR") summary.insert(summary.find('\n') + 1, " File: " + name + "\n");
  return reference::banner() + heading(option) + summary;
}

enum class Kind { Total, Atom, Sum };
struct Table {
  std::string name;
  Kind kind;
  std::vector<int> atoms;  // the atom of an Atom table, the summed ones of a Sum
};
struct Run {
  std::vector<std::string> args;
  std::vector<Table> tables;
};

std::string expected(const reference::Doscar& d, const Table& t, double shift) {
  switch (t.kind) {
    case Kind::Total: return reference::table(d.total, shift);
    case Kind::Atom: return reference::table(d.atoms.at(t.atoms[0] - 1), shift);
    case Kind::Sum: break;
  }
  return reference::table(reference::sum_atoms(d, t.atoms), shift);
}

// Runs each command line on `doscar` in `dir`: whole console, every table
// and nothing else written. The tables are removed after each run.
void expect_runs(const Scratch& dir, const reference::Doscar& d, const std::vector<Run>& runs,
                 const std::string& doscar = "DOSCAR") {
  for (const Run& run : runs) {
    SCOPED_TRACE(command(run.args));
    const std::string& option = run.args[0];
    bool unshifted = option.find('f') != std::string::npos;
    RunResult r = run_pdsplit(dir, run.args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(without_cpu_time(r.out),
              up_to_summary(d, option, doscar) + " Closing DOSCAR file...\n" +
                  (unshifted ? " Fermi level is not shifted\n" : " Fermi level is shifted\n") +
                  (option.find('a') != std::string::npos ? " Creating output files...\n"
                                                         : " Creating output file...\n") +
                  reference::kDone);
    std::vector<std::string> names = {doscar};
    for (const Table& t : run.tables) {
      EXPECT_EQ(read_file(dir.file(t.name)), expected(d, t, unshifted ? 0.0 : d.efermi)) << t.name;
      names.push_back(t.name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(dir.entries(), names);
    for (const Table& t : run.tables) ::unlink(dir.file(t.name).c_str());
  }
}

// Every mode, shifted and not, on a DOSCAR of 3 atoms.
const std::vector<Run> kEveryMode = {
    {{"-t"}, {{"iDOS", Kind::Total, {}}}},
    {{"-ft", "tdos"}, {{"tdos", Kind::Total, {}}}},
    {{"-p", "3", "one"}, {{"one003", Kind::Atom, {3}}}},
    {{"-fp", "2"}, {{"iLDOS002", Kind::Atom, {2}}}},
    {{"-a"}, {{"iLDOS001", Kind::Atom, {1}}, {"iLDOS002", Kind::Atom, {2}}, {"iLDOS003", Kind::Atom, {3}}}},
    {{"-af", "at"}, {{"at001", Kind::Atom, {1}}, {"at002", Kind::Atom, {2}}, {"at003", Kind::Atom, {3}}}},
    {{"-s1", "3", "2"}, {{"iSUMDOS", Kind::Sum, {2, 3}}}},
    {{"-fs1", "1", "3", "range"}, {{"range", Kind::Sum, {1, 2, 3}}}},
    {{"-s2", "3", "2", "3"}, {{"iSUMDOS", Kind::Sum, {3, 2, 3}}}},
    {{"-s2f", "2", "list"}, {{"list", Kind::Sum, {2}}}},
};

TEST(NonCollinear, EveryModeOnEveryWidth) {
  struct Width {
    const char* npcol;
    std::string kind;  // the summary's lines that say what the file holds
  };
  const Width widths[] = {
      {"12", " Calc. type: non-collinear\n LDOS type: l-projected\n Orbitals found: s p d\n"},
      {"36", " Calc. type: non-collinear\n LDOS type: l,m-projected\n Orbitals found: s p d\n"},
      {"64", " Calc. type: non-collinear\n LDOS type: l,m-projected\n Orbitals found: s p d f\n"},
      // Beside 2 total values, 16 values cannot be told from a run without
      // spin: read as one, with the same tables.
      {"16", " Calc. type: non-spin polarized\n LDOS type: l,m-projected\n Orbitals found: s p d f\n"},
  };
  for (const Width& w : widths) {
    SCOPED_TRACE(std::string("NPCOL ") + w.npcol);
    Scratch dir;
    generate(dir, {"--noncollinear", "--npcol", w.npcol, "--natom", "3", "--ngrid", "30",
                   "--seed", w.npcol, "--atom-shift"});
    reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
    ASSERT_EQ(d.npcol, std::atoi(w.npcol));
    ASSERT_EQ(d.wrapped, d.npcol == 64);
    EXPECT_NE(reference::summary(d).find(w.kind + " Number of atoms:    3\n"), std::string::npos);
    if (d.wrapped) {
      // Value 37, written in the energy's form, is not always 0.000 here:
      // the tables show that it was read in its place.
      int nonzero = 0;
      for (const auto& atom : d.atoms)
        for (const reference::Row& row : atom) nonzero += row[37] != 0;
      ASSERT_GT(nonzero, 3);
    }
    expect_runs(dir, d, kEveryMode);
  }
}

// The command lines of every projected mode.
const std::vector<std::vector<std::string>> kProjectedModes = {
    {"-p", "1"}, {"-fp", "2", "x"}, {"-a"}, {"-s1", "1", "2"}, {"-s2", "1"}, {"-fs2", "2", "1", "y"}};

TEST(TotalDosAlone, TotalTableWrittenAndProjectedModesRefused) {
  struct Case {
    std::vector<std::string> options;
    std::size_t keep;  // lines kept; 0 for all
  };
  const std::size_t ngrid = 20;
  const Case cases[] = {
      {{"--total-only", "--npcol", "9"}, 0},
      {{"--total-only", "--npcol", "18"}, 0},  // with spin
      // A molecular-dynamics run: the blocks after the first are not read.
      {{"--md", "--npcol", "6"}, 0},
      {{"--md", "--npcol", "3"}, 0},
      // Projection flag 1, but the file ends after the total-DOS block or
      // after the first atom's header line.
      {{"--npcol", "9"}, 6 + ngrid},
      {{"--npcol", "32"}, 7 + ngrid},
      {{"--noncollinear", "--npcol", "64"}, 7 + ngrid},
  };
  for (const Case& c : cases) {
    std::vector<std::string> options = c.options;
    options.insert(options.end(), {"--natom", "3", "--ngrid", std::to_string(ngrid)});
    SCOPED_TRACE(command(options) + "keeping " + std::to_string(c.keep));
    std::vector<std::string> lines = split_lines(generated(options));
    if (options[0] == "--md") {
      ASSERT_EQ(lines.size(), 7 + 2 * ngrid);  // a second total-DOS block
    }
    if (c.keep > 0) lines.resize(c.keep);
    Scratch dir;
    write_file(dir.file("DOSCAR"), join_lines(lines));
    reference::Doscar d = reference::parse(join_lines(lines));
    ASSERT_FALSE(d.projected);
    EXPECT_NE(reference::summary(d).find(" LDOS type: none\n Number of atoms:    3\n"),
              std::string::npos);
    expect_runs(dir, d, {{{"-t"}, {{"iDOS", Kind::Total, {}}}},
                         {{"-tf", "TDOS"}, {{"TDOS", Kind::Total, {}}}}});
    for (const std::vector<std::string>& args : kProjectedModes) {
      SCOPED_TRACE(command(args));
      RunResult r = run_pdsplit(dir, args);
      EXPECT_EQ(r.out, up_to_summary(d, args[0]));
      EXPECT_EQ(r.err, kNoProjections);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(dir.entries(), std::vector<std::string>{"DOSCAR"});
    }
  }
}

TEST(HeaderOnly, EveryModeStopsAfterOpening) {
  for (const char* lines : {"5", "6"}) {
    Scratch dir;
    generate(dir, {"--header-only", lines, "--npcol", "18"});
    ASSERT_EQ(split_lines(read_file(dir.file("DOSCAR"))).size(), std::size_t(std::atoi(lines)));
    std::vector<std::vector<std::string>> modes = kProjectedModes;
    modes.insert(modes.end(), {{"-t"}, {"-ft", "x"}});
    for (const std::vector<std::string>& args : modes) {
      SCOPED_TRACE(std::string(lines) + " lines: " + command(args));
      RunResult r = run_pdsplit(dir, args);
      EXPECT_EQ(r.out, reference::banner() + heading(args[0]) + " Opening DOSCAR file...\n");
      EXPECT_EQ(r.err, kHeaderOnly);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(dir.entries(), std::vector<std::string>{"DOSCAR"});
    }
  }
}

// A wrapped file of 2 atoms and 5 grid points: header lines 1-6, total DOS
// 7-11, atom 1's header line 12 and its points on lines 13-22 (odd lines
// the energy and values 1-36, even lines value 37 and values 38-64), atom 2
// on lines 23-33.
struct Wrapped {
  static std::vector<std::string> options() {
    return {"--noncollinear", "--npcol", "64", "--natom", "2", "--ngrid", "5", "--atom-shift"};
  }
  std::vector<std::string> lines = split_lines(generated(options()));
  reference::Doscar whole = reference::parse(join_lines(lines));
};

using Edit = std::function<std::string(std::vector<std::string>)>;

Edit keep(std::size_t count) {
  return [=](std::vector<std::string> lines) { lines.resize(count); return join_lines(lines); };
}
// Lines before `line`, then half of it without a line feed.
Edit cut_inside(std::size_t line) {
  return [=](std::vector<std::string> lines) {
    std::string half = lines[line - 1].substr(0, lines[line - 1].size() / 2);
    lines.resize(line - 1);
    return join_lines(lines) + half;
  };
}
Edit replace(std::size_t line, std::size_t column, std::string text) {
  return [=](std::vector<std::string> lines) {
    lines[line - 1].replace(column, text.size(), text);
    return join_lines(lines);
  };
}
Edit append(std::size_t line, std::string text) {
  return [=](std::vector<std::string> lines) { lines[line - 1] += text; return join_lines(lines); };
}
Edit shorten(std::size_t line, std::size_t columns) {
  return [=](std::vector<std::string> lines) { lines[line - 1].resize(columns); return join_lines(lines); };
}

struct Fault {
  Edit edit;
  std::vector<std::string> args;
  std::string message;
};

// Each fault stops the run after the summary, with one line on stderr.
void expect_faults(const std::vector<Fault>& faults) {
  Wrapped w;
  ASSERT_EQ(w.lines.size(), 33u);
  ASSERT_TRUE(w.whole.wrapped);
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.message);
    Scratch dir;
    write_file(dir.file("DOSCAR"), f.edit(w.lines));
    RunResult r = run_pdsplit(dir, f.args);
    EXPECT_EQ(r.out, up_to_summary(w.whole, f.args[0]));
    EXPECT_EQ(r.err, f.message + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"DOSCAR"});
  }
}

const std::string kFollows = " follows the last value of a continued line";

TEST(Wrapped, CutAndDamagedLinesStopTheRun) {
  expect_faults({
      // Cut between the two lines of a grid point.
      {keep(15), {"-a"}, "Error! DOSCAR ends at line 15, but its header needs 33 lines"},
      {keep(26), {"-p", "1"}, "Error! DOSCAR ends at line 26, but its header needs 33 lines"},
      {keep(32), {"-s2", "2"}, "Error! DOSCAR ends at line 32, but its header needs 33 lines"},
      // Cut inside a continuation line.
      {cut_inside(16), {"-s1", "1", "2"}, "Error! DOSCAR ends in the middle of line 16"},
      {cut_inside(33), {"-fa"}, "Error! DOSCAR ends in the middle of line 33"},
      // Text after the last value of a continuation line.
      {append(16, "  7.5"), {"-a"}, "Error! DOSCAR line 16, columns 336-340: \"7.5\"" + kFollows},
      {append(31, "x"), {"-p", "2"}, "Error! DOSCAR line 31, columns 336-336: \"x\"" + kFollows},
      {append(25, "   0.1E+01 junk  "), {"-fs2", "1", "2"},
       "Error! DOSCAR line 25, columns 336-350: \"0.1E+01 junk\"" + kFollows},
      // Fields of a continuation line that are no numbers: value 37 in
      // the energy's columns, the first and the last value field.
      {replace(18, 0, "    0.0x0  "), {"-a"},
       "Error! DOSCAR line 18, columns 1-11: \"0.0x0\" is not a number"},
      {replace(20, 11, "  0.12x4E+02"), {"-s1", "1", "2"},
       "Error! DOSCAR line 20, columns 12-23: \"0.12x4E+02\" is not a number"},
      {replace(30, 323, "        1E  "), {"-p", "2"},
       "Error! DOSCAR line 30, columns 324-335: \"1E\" is not a number"},
      // And value 36, the last of a first line.
      {replace(17, 431, "  abc       "), {"-a"},
       "Error! DOSCAR line 17, columns 432-443: \"abc\" is not a number"},
  });
}

// Tables of the edited file as the model reads it: a short line's missing
// values are zeros.
void expect_short_lines_read_as_zeros(const std::vector<Edit>& edits) {
  Wrapped w;
  std::string text = join_lines(w.lines);
  for (const Edit& edit : edits) text = edit(split_lines(text));
  ASSERT_NE(text, join_lines(w.lines));
  Scratch dir;
  write_file(dir.file("DOSCAR"), text);
  reference::Doscar d = reference::parse(text);
  ASSERT_EQ(d.npcol, 64);
  expect_runs(dir, d, {{{"-fa"}, {{"iLDOS001", Kind::Atom, {1}}, {"iLDOS002", Kind::Atom, {2}}}},
                       {{"-s2", "2", "1"}, {{"iSUMDOS", Kind::Sum, {2, 1}}}}});
}

TEST(Wrapped, ShortLinesReadTheirMissingValuesAsZeros) {
  expect_short_lines_read_as_zeros({
      shorten(16, 11 + 12 * 5),  // value 37 and 5 more
      shorten(18, 11),           // value 37 alone
      shorten(20, 0),            // an empty continuation line
      shorten(17, 11 + 12 * 20), // a first line of 20 values
  });
}

// The first continuation line, which tells a wrapped file from one of 36
// values a line, is read like any other.
TEST(Wrapped, TheFirstContinuationLineIsReadLikeTheOthers) {
  expect_short_lines_read_as_zeros({shorten(14, 11 + 12 * 5)});
  expect_faults({
      {append(14, " x"), {"-a"}, "Error! DOSCAR line 14, columns 336-337: \"x\"" + kFollows},
      {append(14, "  0.1234E+01"), {"-a"},
       "Error! DOSCAR line 14, columns 336-347: \"0.1234E+01\"" + kFollows},
  });
}

TEST(Compressed, SpinOrbitFilesReadAsThePlainOnes) {
  struct Case {
    const char* npcol;
    const char* compress;
    const char* name;
  };
  for (const Case& c : {Case{"64", "gz", "DOSCAR.gz"}, Case{"36", "xz", "DOSCAR.xz"},
                        Case{"12", "bz2", "DOSCAR.bz2"}}) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> options = {"--noncollinear", "--npcol", c.npcol, "--natom", "3",
                                        "--ngrid", "40", "--atom-shift"};
    reference::Doscar d = reference::parse(generated(options));
    options.insert(options.end(), {"--compress", c.compress});
    Scratch dir;
    generate(dir, options, c.name);
    expect_runs(dir, d, {{{"-t"}, {{"iDOS", Kind::Total, {}}}},
                         {{"-a"}, {{"iLDOS001", Kind::Atom, {1}}, {"iLDOS002", Kind::Atom, {2}},
                                   {"iLDOS003", Kind::Atom, {3}}}},
                         {{"-fs2", "3", "1"}, {{"iSUMDOS", Kind::Sum, {3, 1}}}}},
                c.name);
  }
}

}  // namespace
