// The long options as users meet them: the built binary run in scratch
// folders (and the whole program in memory), its console, exit status and
// tables compared for --help, --version, --quiet, --doscar, --efermi,
// --structure, --noncollinear and INCAR, and every fault of the options.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "driver/run.h"
#include "lines.h"
#include "memory_files.h"
#include "reference.h"
#include "support.h"

namespace {

using namespace testing_support;
using Args = std::vector<std::string>;

const std::string kUsage =
    "Usage: pdsplit [--setting ...] MODE [OPERANDS] [OUTPUT]\n"
    "Splits the DOSCAR of a VASP run into plain-text density-of-states tables,\n"
    "written to the current folder.\n"
    "\n"
    "Modes (an f before or after the letters, as in -ft or -tf, keeps the\n"
    "energies as in DOSCAR; without it the Fermi level is shifted to 0):\n"
    "  -t [OUTPUT]                  total DOS to iDOS or OUTPUT\n"
    "  -p N [OUTPUT]                pro-DOS of atom N to iLDOSNNN or OUTPUTNNN\n"
    "  -a [OUTPUT]                  pro-DOS of every atom: iLDOS001, iLDOS002, ...\n"
    "  -s1 N1 N2 [OUTPUT]           pro-DOS summed over atoms N1 to N2 to iSUMDOS\n"
    "  -s2 N1 N2 ... [OUTPUT]       pro-DOS summed over the atoms listed to iSUMDOS\n"
    "  -e [OUTPUT]                  pro-DOS summed per element (from CONTCAR, else\n"
    "                               POSCAR) to iSUMDOS_Fe, ... or OUTPUT_Fe, ...\n"
    "  -h                           the help screen of the modes\n"
    "\n"
    "Settings, before the mode:\n"
    "  --doscar=PATH                read PATH (plain, gzip, xz or bzip2) as DOSCAR\n"
    "  --efermi=E                   shift by the Fermi energy E (eV), not DOSCAR's\n"
    "  --structure=PATH             read the elements from a VASP 5 POSCAR/CONTCAR\n"
    "  --noncollinear               16 values per atom line: s p d f, non-collinear\n"
    "  --quiet                      print nothing on standard output unless it fails\n"
    "  --help                       print this text\n"
    "  --version                    print the version\n"
    "Tables:\n"
    "  --orbitals=lm|l|d-split|sum  group the orbital columns\n"
    "  --header                     a first line naming the columns\n"
    "  --down-negative              spin-down values below 0\n"
    "  --window=EMIN:EMAX           energies from EMIN to EMAX (either may be empty)\n"
    "  --moments                    band centre and width of each column\n"
    "  --gaussian=WIDTH             smoothing by a Gaussian of WIDTH eV (above 0)\n"
    "  --cumulative                 integrated columns\n"
    "\n"
    "Examples:\n"
    "  pdsplit -p 2                            pro-DOS of atom 2 to iLDOS002\n"
    "  pdsplit --doscar=run1/DOSCAR.gz -ft     total DOS of run1, written here\n"
    "  pdsplit --quiet --efermi=5.1 -s2 3 4 O  atoms 3 and 4 summed to O, silently\n"
    "  pdsplit --orbitals=l --header -e        s, p, d and total of each element\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 command-line error.\n"
    "The manual page, man pdsplit, tells the rest.\n";

const Args kSmall = {"--natom", "5", "--ngrid", "41", "--npcol", "9", "--seed", "3"};

Args with(Args options, const Args& more) {
  options.insert(options.end(), more.begin(), more.end());
  return options;
}

std::string without_cpu_time(std::string text) {
  std::size_t at = text.find(" CPU time (s):");
  if (at != std::string::npos) text.erase(at, text.find('\n', at) + 1 - at);
  return text;
}

std::string show(const Args& args) {
  std::string text;
  for (const std::string& a : args) text += a + " ";
  return text;
}

// The files of `dir` other than `kept`, with their text.
std::map<std::string, std::string> tables_in(const Scratch& dir, const std::vector<std::string>& kept) {
  std::map<std::string, std::string> tables;
  for (const std::string& name : dir.entries())
    if (std::find(kept.begin(), kept.end(), name) == kept.end())
      tables[name] = read_file(dir.file(name));
  return tables;
}

// The summary of a run on `d` with `line` inserted after the line that
// begins with `after`.
std::string summary_with(const reference::Doscar& d, const std::string& after, const std::string& line) {
  std::string s = reference::summary(d);
  std::size_t at = s.find(after);
  at = s.find('\n', at) + 1;
  return s.insert(at, line);
}

// The program's console for a successful run of a mode on `d`, from the
// heading to the closing lines, without the processor-time line.
std::string console_of(const std::string& heading, const std::string& summary, const std::string& creating) {
  return reference::banner() + " " + heading + "\n" + summary + " Closing DOSCAR file...\n" +
         " Fermi level is shifted\n " + creating + "\n" + reference::kDone;
}

std::string source_file(const std::string& name) { return read_file(std::string(PDSPLIT_SOURCE_DIR) + "/" + name); }

TEST(Help, TheWholeUsageOnStandardOutputWithoutBanner) {
  Scratch dir;
  for (const Args& args : {Args{"--help"}, Args{"--help", "-t", "x"}, Args{"--quiet", "--help"},
                           Args{"--efermi=1", "--help", "--bogus"}}) {
    RunResult r = run_pdsplit(dir, args);
    EXPECT_EQ(r.out, kUsage) << show(args);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
  EXPECT_TRUE(dir.entries().empty());
  // Every line fits a terminal of 80 columns.
  for (const std::string& line : split_lines(kUsage)) EXPECT_LT(line.size(), 80u) << line;
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

TEST(Help, EveryOptionIsInTheUsageTheManualTheReadmeAndTheCompletion) {
  std::string manual = source_file("doc/pdsplit.1"), readme = source_file("README.md"),
              completion = source_file("tools/pdsplit-completion.bash");
  // groff writes a hyphen of an option as \-.
  std::string manual_text = replace_all(manual, "\\-", "-");
  for (const std::string& form : pdsplit::long_option_forms()) {
    std::string name = form.substr(0, form.find('='));
    EXPECT_NE(kUsage.find("  " + form + " "), std::string::npos) << form;
    EXPECT_NE(manual_text.find(name), std::string::npos) << form;
    EXPECT_NE(readme.find(name), std::string::npos) << form;
    EXPECT_NE(completion.find(name + (form.find('=') != std::string::npos ? "=" : "")),
              std::string::npos) << form;
  }
  // And the usage names no option the parser does not know.
  for (std::size_t at = kUsage.find("--"); at != std::string::npos; at = kUsage.find("--", at)) {
    std::size_t end = at + 2;
    while (end < kUsage.size() && (std::islower(static_cast<unsigned char>(kUsage[end])) || kUsage[end] == '-')) ++end;
    std::string option = kUsage.substr(at, end - at);
    at = end;
    if (option == "--setting" || option == "--") continue;  // the usage's placeholder
    Scratch dir;
    RunResult r = run_pdsplit(dir, {option, "-h"});
    EXPECT_EQ(r.out.find("Wrong input argument(s)"), std::string::npos) << option;
  }
  for (std::string grouping : {"lm", "l", "d-split", "sum"}) {
    bool found = false;
    for (char before : {' ', '"'})
      for (char after : {' ', '"'}) found |= completion.find(before + grouping + after) != std::string::npos;
    EXPECT_TRUE(found) << grouping;
  }
}

TEST(Version, OneLineWithTheProjectVersion) {
  std::string cmake = source_file("CMakeLists.txt");
  std::size_t at = cmake.find("project(pdsplit VERSION ");
  ASSERT_NE(at, std::string::npos);
  at += std::string("project(pdsplit VERSION ").size();
  std::string version = cmake.substr(at, cmake.find_first_not_of("0123456789.", at) - at);
  ASSERT_EQ(std::count(version.begin(), version.end(), '.'), 2) << version;
  Scratch dir;
  for (const Args& args : {Args{"--version"}, Args{"--version", "--help"}, Args{"--quiet", "--version", "-t"}}) {
    RunResult r = run_pdsplit(dir, args);
    EXPECT_EQ(r.out, "pdsplit " + version + "\n") << show(args);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
  EXPECT_NE(source_file("doc/pdsplit.1").find("\"pdsplit " + version + "\""), std::string::npos);
}

TEST(LongOptions, AnUnknownNameIsTheWrongArgumentBlock) {
  Scratch dir;
  generate(dir, kSmall);
  for (const Args& args : {Args{"--bogus", "-t"}, Args{"--", "-t"}, Args{"--Quiet", "-t"},
                           Args{"--efermi=1", "--t"}, Args{"--doscar=DOSCAR", "--bogus=1", "-p", "1"}}) {
    RunResult r = run_pdsplit(dir, args);
    EXPECT_EQ(r.out, reference::banner() + reference::error_block("Wrong input argument(s)")) << show(args);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 2);
  }
  // Quiet: the block alone.
  RunResult r = run_pdsplit(dir, {"--quiet", "--bogus", "-t"});
  EXPECT_EQ(r.out, reference::error_block("Wrong input argument(s)"));
  EXPECT_EQ(r.status, 2);
  r = run_pdsplit(dir, {"--bogus", "--quiet", "-t"});
  EXPECT_EQ(r.out, reference::error_block("Wrong input argument(s)"));
  // Settings and no mode.
  r = run_pdsplit(dir, {"--efermi=2"});
  EXPECT_EQ(r.out, reference::banner() + reference::error_block("No input argument found"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"DOSCAR"});
}

TEST(LongOptions, ABadValueIsOneLineOnStandardErrorWithStatus2) {
  Scratch dir;
  generate(dir, kSmall);
  const std::pair<Args, std::string> cases[] = {
      {{"--efermi=abc", "-t"}, "Error! --efermi=abc: not a number"},
      {{"--efermi", "-t"}, "Error! --efermi: needs a value, as in --efermi=E"},
      {{"--doscar=", "-t"}, "Error! --doscar=: needs a value, as in --doscar=PATH"},
      {{"--quiet=yes", "-t"}, "Error! --quiet=yes: takes no value"},
      {{"--orbitals=spdf", "-p", "1"}, "Error! --orbitals=spdf: unknown grouping (lm, l, d-split or sum)"},
      {{"--window=2:1", "-t"}, "Error! --window=2:1: EMIN is above EMAX"},
      {{"--window=1", "-t"}, "Error! --window=1: not EMIN:EMAX (either may be empty)"},
      {{"--gaussian=0", "-a"}, "Error! --gaussian=0: the width must be above 0"},
      {{"--efermi=1", "--efermi=1", "-t"}, "Error! --efermi=1: given a second time"},
      // The first fault counts.
      {{"--header=1", "--bogus", "-t"}, "Error! --header=1: takes no value"},
  };
  for (const auto& [args, message] : cases) {
    RunResult r = run_pdsplit(dir, args);
    EXPECT_EQ(r.out, reference::banner()) << show(args);
    EXPECT_EQ(r.err, message + "\n");
    EXPECT_EQ(r.status, 2);
    // Quiet, wherever --quiet stands: the line alone.
    std::size_t mode_at = 0;
    while (args[mode_at].substr(0, 2) == "--") ++mode_at;
    for (std::size_t at : {std::size_t{0}, mode_at}) {
      Args quiet = args;
      quiet.insert(quiet.begin() + static_cast<std::ptrdiff_t>(at), "--quiet");
      r = run_pdsplit(dir, quiet);
      EXPECT_EQ(r.out, "") << show(quiet);
      EXPECT_EQ(r.err, message + "\n") << show(quiet);
      EXPECT_EQ(r.status, 2);
    }
  }
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"DOSCAR"});
}

TEST(LongOptions, OnlyBeforeTheMode) {
  Scratch dir;
  generate(dir, kSmall);
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  // After the mode option, an argument that begins with -- is an operand as
  // ever: here an output name.
  RunResult r = run_pdsplit(dir, {"-ft", "--quiet"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" P D S P L I T\n"), std::string::npos);
  EXPECT_EQ(read_file(dir.file("--quiet")), reference::table(d.total, 0));
  r = run_pdsplit(dir, {"-fp", "2", "--efermi=1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("--efermi=1002")), reference::table(d.atoms[1], 0));
  r = run_pdsplit(dir, {"-s2", "1", "2", "--doscar=x"});
  EXPECT_EQ(read_file(dir.file("--doscar=x")), reference::table(reference::sum_atoms(d, {1, 2}), d.efermi));
  // Settings change nothing of how the mode reads its arguments.
  r = run_pdsplit(dir, {"--quiet", "-p", "9"});
  EXPECT_EQ(r.out, reference::error_block("Wrong atomic index(es)"));
  EXPECT_EQ(r.status, 2);
  r = run_pdsplit(dir, {"--quiet", "-t", "1", "2"});
  EXPECT_EQ(r.out, reference::error_block("Too many input argument(s)"));
  EXPECT_EQ(r.status, 2);
}

TEST(Quiet, ASuccessfulRunPrintsNothingAndWritesTheSameTables) {
  for (const Args& mode : {Args{"-t"}, Args{"-fa"}, Args{"-p", "3", "one"}, Args{"-s1", "2", "4"},
                           Args{"-fs2", "5", "1", "sum"}}) {
    Scratch loud, quiet;
    generate(loud, kSmall);
    generate(quiet, kSmall);
    RunResult want = run_pdsplit(loud, mode);
    ASSERT_EQ(want.status, 0) << want.err;
    RunResult got = run_pdsplit(quiet, with({"--quiet"}, mode));
    EXPECT_EQ(got.out, "") << show(mode);
    EXPECT_EQ(got.err, "");
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(tables_in(quiet, {"DOSCAR"}), tables_in(loud, {"DOSCAR"})) << show(mode);
    EXPECT_FALSE(tables_in(quiet, {"DOSCAR"}).empty());
  }
}

TEST(Quiet, FailuresAreReportedAsWithoutIt) {
  Scratch dir;
  // No DOSCAR: its line on standard output.
  RunResult r = run_pdsplit(dir, {"--quiet", "-t"});
  EXPECT_EQ(r.out, " Error! There is no DOSCAR in current directory\n");
  EXPECT_EQ(r.status, 1);

  // A field that is no number: the same line on standard error.
  generate(dir, kSmall);
  std::vector<std::string> lines = split_lines(read_file(dir.file("DOSCAR")));
  lines[60].replace(14, 3, "x.x");
  write_file(dir.file("DOSCAR"), join_lines(lines));
  RunResult loud = run_pdsplit(dir, {"-a"});
  r = run_pdsplit(dir, {"--quiet", "-a"});
  ASSERT_EQ(loud.status, 1);
  EXPECT_NE(loud.err, "");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, loud.err);
  EXPECT_EQ(r.status, 1);

  // A projection of no known kind: the summary line that tells it.
  lines[5].replace(32, 5, "    0");
  write_file(dir.file("DOSCAR"), join_lines(lines));
  loud = run_pdsplit(dir, {"-t"});
  EXPECT_EQ(loud.out.substr(loud.out.size() - 24), " LDOS type: Unspecified\n");
  r = run_pdsplit(dir, {"--quiet", "-t"});
  EXPECT_EQ(r.out, " LDOS type: Unspecified\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"DOSCAR"});

  // A table that cannot be written (beyond a file-size limit of 2 KiB).
  Scratch limited;
  generate(limited, kSmall);
  loud = run_in(limited.path(), PDSPLIT_BIN, {"-p", "1"}, "ulimit -f 4");
  r = run_in(limited.path(), PDSPLIT_BIN, {"--quiet", "-p", "1"}, "ulimit -f 4");
  ASSERT_EQ(loud.status, 1);
  EXPECT_EQ(loud.err, "Error! Cannot write iLDOS001: File too large\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, loud.err);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(limited.entries(), std::vector<std::string>{"DOSCAR"});
}

TEST(Quiet, TheHelpScreenIsKeptWithoutBanner) {
  Scratch dir;
  RunResult loud = run_pdsplit(dir, {"-h"});
  RunResult r = run_pdsplit(dir, {"--quiet", "-h"});
  EXPECT_EQ(reference::banner() + r.out, loud.out);
  EXPECT_EQ(r.out.substr(0, 14), " ::: HELP :::\n");
  EXPECT_EQ(r.status, 0);
}

TEST(Doscar, ReadsThePathGivenAndWritesHere) {
  Scratch dir;
  ASSERT_EQ(::mkdir(dir.file("run").c_str(), 0755), 0);
  generate(dir, kSmall, "run/DOSCAR");
  reference::Doscar d = reference::parse(read_file(dir.file("run/DOSCAR")));
  RunResult r = run_pdsplit(dir, {"--doscar=run/DOSCAR", "-p", "4"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string summary = reference::summary(d);
  summary.insert(summary.find('\n') + 1, " File: run/DOSCAR\n");
  EXPECT_EQ(without_cpu_time(r.out),
            console_of("::: PROJECTED DOS FOR AN ATOM :::", summary, "Creating output file..."));
  EXPECT_EQ(read_file(dir.file("iLDOS004")), reference::table(d.atoms[3], d.efermi));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"iLDOS004", "run"}));

  // Compressed, whatever its name, and by a path from the root.
  for (std::string kind : {"gz", "xz", "bz2"}) {
    generate(dir, with(kSmall, {"--compress", kind}), "run/packed");
    r = run_pdsplit(dir, {"--doscar=" + dir.file("run/packed"), "-fs1", "1", "5", "sum-" + kind});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" Opening DOSCAR file...\n File: " + dir.file("run/packed") + "\n"),
              std::string::npos);
    EXPECT_EQ(read_file(dir.file("sum-" + kind)),
              reference::table(reference::sum_atoms(d, {1, 2, 3, 4, 5}), 0));
  }
  // ./DOSCAR by its own name reads as without the option, though another
  // DOSCAR.gz stands beside it.
  Scratch here;
  generate(here, kSmall);
  generate(here, with(kSmall, {"--compress", "gz", "--seed", "9"}), "DOSCAR.gz");
  RunResult plain = run_pdsplit(here, {"-t", "a"});
  r = run_pdsplit(here, {"--doscar=DOSCAR", "-t", "b"});
  EXPECT_EQ(without_cpu_time(r.out), without_cpu_time(plain.out));
  EXPECT_EQ(read_file(here.file("a")), read_file(here.file("b")));
}

TEST(Doscar, AMissingOrUnreadablePathIsNamed) {
  Scratch dir;
  generate(dir, kSmall);  // not read in its place
  RunResult r = run_pdsplit(dir, {"--doscar=run/DOSCAR", "-t"});
  EXPECT_EQ(r.out, reference::banner() + " ::: TOTAL DOS :::\n Error! There is no run/DOSCAR\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
  r = run_pdsplit(dir, {"--quiet", "--doscar=DOSCAR.gz", "-a"});
  EXPECT_EQ(r.out, " Error! There is no DOSCAR.gz\n");
  EXPECT_EQ(r.status, 1);
  ASSERT_EQ(::mkdir(dir.file("run").c_str(), 0755), 0);
  r = run_pdsplit(dir, {"--doscar=run", "-t"});
  EXPECT_EQ(r.out, reference::banner() + " ::: TOTAL DOS :::\n");
  EXPECT_EQ(r.err, "Error! Cannot read run: Is a directory\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"DOSCAR", "run"}));
}

TEST(Doscar, NoTableReplacesTheFileRead) {
  Scratch dir;
  ASSERT_EQ(::mkdir(dir.file("run").c_str(), 0755), 0);
  generate(dir, kSmall, "run/DOSCAR");
  std::string doscar = read_file(dir.file("run/DOSCAR"));
  ASSERT_EQ(::link(dir.file("run/DOSCAR").c_str(), dir.file("hard").c_str()), 0);
  for (const Args& args : {Args{"--doscar=run/DOSCAR", "-t", "run/DOSCAR"},
                           Args{"--doscar=run/DOSCAR", "-ft", "./run/../run/DOSCAR"},
                           Args{"--doscar=run/DOSCAR", "-s1", "1", "2", "hard"},
                           Args{"--doscar=hard", "-t", "run/DOSCAR"},
                           Args{"--doscar=" + dir.file("run/DOSCAR"), "-fs2", "1", "2", "hard"},
                           // A table is never named DOSCAR here either.
                           Args{"--doscar=run/DOSCAR", "-t", "DOSCAR"}}) {
    RunResult r = run_pdsplit(dir, args);
    EXPECT_EQ(r.status, 2) << show(args);
    std::string block = reference::error_block("Output file would overwrite DOSCAR");
    ASSERT_GE(r.out.size(), block.size());
    EXPECT_EQ(r.out.substr(r.out.size() - block.size()), block) << show(args);
  }
  EXPECT_EQ(read_file(dir.file("run/DOSCAR")), doscar);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"hard", "run"}));
  // Another DOSCAR than the one read may be replaced.
  generate(dir, kSmall, "run/other");
  EXPECT_EQ(run_pdsplit(dir, {"--doscar=run/other", "-ft", "run/DOSCAR"}).status, 0);
  reference::Doscar d = reference::parse(doscar);
  EXPECT_EQ(read_file(dir.file("run/DOSCAR")), reference::table(d.total, 0));
}

TEST(Efermi, ReplacesLine6sFermiEnergyForTheShift) {
  Scratch dir;
  generate(dir, with(kSmall, {"--efermi", "4.987"}));
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  RunResult r = run_pdsplit(dir, {"--efermi=5.1", "-p", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string summary = reference::summary(d);
  std::size_t at = summary.find(" Fermi level (eV):");
  summary.replace(at, summary.find('\n', at) - at, " Fermi level (eV):    5.100  (--efermi; DOSCAR: 4.987)");
  EXPECT_EQ(without_cpu_time(r.out),
            console_of("::: PROJECTED DOS FOR AN ATOM :::", summary, "Creating output file..."));
  EXPECT_EQ(read_file(dir.file("iLDOS002")), reference::table(d.atoms[1], 5.1));
  EXPECT_NE(reference::table(d.atoms[1], 5.1), reference::table(d.atoms[1], d.efermi));

  // Negative values, the total DOS, and no shift with f.
  r = run_pdsplit(dir, {"--efermi=-0.25", "-t"});
  EXPECT_NE(r.out.find(" Fermi level (eV):   -0.250  (--efermi; DOSCAR: 4.987)\n"), std::string::npos);
  EXPECT_EQ(read_file(dir.file("iDOS")), reference::table(d.total, -0.25));
  r = run_pdsplit(dir, {"--efermi=-0.25", "-ft"});
  EXPECT_NE(r.out.find(" Fermi level is not shifted\n"), std::string::npos);
  EXPECT_EQ(read_file(dir.file("iDOS")), reference::table(d.total, 0));
  Scratch below;
  generate(below, with(kSmall, {"--efermi", "-1.5"}));
  r = run_pdsplit(below, {"--efermi=12", "-s1", "1", "5"});
  EXPECT_NE(r.out.find(" Fermi level (eV):   12.000  (--efermi; DOSCAR: -1.500)\n"), std::string::npos);
}

std::string poscar(const std::string& symbols, const std::string& counts) {
  return "Fe3O4\n 1.0\n 8.39 0 0\n 0 8.39 0\n 0 0 8.39\n " + symbols + "\n " + counts +
         "\nDirect\n 0 0 0\n";
}

TEST(Structure, TheSummaryNamesTheElementsOfTheFileGiven) {
  Scratch dir;
  generate(dir, kSmall);
  reference::Doscar d = reference::parse(read_file(dir.file("DOSCAR")));
  write_file(dir.file("POSCAR"), poscar("Fe_pv O Fe", "2 2 1"));
  RunResult r = run_pdsplit(dir, {"--structure=POSCAR", "-a"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(without_cpu_time(r.out),
            console_of("::: PROJECTED DOS FOR ALL ATOMS :::",
                       summary_with(d, " Number of atoms:", " Elements (POSCAR): Fe 1-2, 5, O 3-4\n"),
                       "Creating output files..."));
  EXPECT_EQ(read_file(dir.file("iLDOS005")), reference::table(d.atoms[4], d.efermi));
  // By any path, named as given.
  ASSERT_EQ(::mkdir(dir.file("relaxed").c_str(), 0755), 0);
  write_file(dir.file("relaxed/CONTCAR"), poscar("Ni", "5"));
  r = run_pdsplit(dir, {"--quiet", "--structure=relaxed/CONTCAR", "--efermi=0", "-t"});
  EXPECT_EQ(r.out, "");
  r = run_pdsplit(dir, {"--structure=relaxed/CONTCAR", "--efermi=0", "-t"});
  EXPECT_NE(r.out.find(" Number of atoms:    5\n Elements (relaxed/CONTCAR): Ni 1-5\n Energy min"),
            std::string::npos);
}

TEST(Structure, FaultsStopTheRunWithNothingWritten) {
  Scratch dir;
  generate(dir, kSmall);
  const std::pair<std::string, std::string> cases[] = {
      {poscar("Fe O", "2 2"), "Error! POSCAR line 7: the counts add up to 4 atoms, but DOSCAR holds 5"},
      {poscar("2 3", "Direct"),
       "Error! POSCAR line 6 holds numbers, not element symbols (a VASP 4 file, which names no elements)"},
      {poscar("Fe O", "2 three"), "Error! POSCAR line 7: \"three\" is not an atom count (a whole number above 0)"},
      {poscar("Fe O", "5"), "Error! POSCAR lines 6-7: 2 element symbols, but 1 atom count"},
      {"", "Error! POSCAR is empty"},
  };
  for (const auto& [text, message] : cases) {
    write_file(dir.file("POSCAR"), text);
    for (const Args& mode : {Args{"-t"}, Args{"-p", "1"}}) {
      RunResult r = run_pdsplit(dir, with({"--structure=POSCAR"}, mode));
      EXPECT_EQ(r.err, message + "\n") << text;
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out.find(" Closing DOSCAR file..."), std::string::npos);
    }
  }
  RunResult r = run_pdsplit(dir, {"--structure=CONTCAR", "-t"});
  EXPECT_EQ(r.err, "Error! There is no CONTCAR\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"DOSCAR", "POSCAR"}));
}

TEST(Structure, NotReadUnlessGiven) {
  Scratch dir;
  generate(dir, kSmall);
  write_file(dir.file("CONTCAR"), poscar("Fe", "1"));
  write_file(dir.file("POSCAR"), "junk");
  RunResult r = run_pdsplit(dir, {"-t"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("Elements"), std::string::npos);
  r = run_pdsplit(dir, {"--header", "--efermi=1", "-p", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
}

const Args kShared = {"--natom", "3", "--ngrid", "21", "--npcol", "16", "--noncollinear"};

std::string calc_lines(const std::string& out) {
  std::size_t at = out.find(" Calc. type:");
  return out.substr(at, out.find(" Number of atoms:") - at);
}

TEST(Incar, DecidesTheSharedShapeWhenTheColumnsMatter) {
  Scratch dir;
  generate(dir, kShared);
  const std::string lm = " Calc. type: non-spin polarized\n LDOS type: l,m-projected\n Orbitals found: s p d f\n";
  auto noncollinear = [](const std::string& why) {
    return " Calc. type: non-collinear " + why + "\n LDOS type: l-projected\n Orbitals found: s p d f\n";
  };
  // Without an option that needs the columns' meaning: as ever, INCAR unread.
  write_file(dir.file("INCAR"), "LSORBIT = what\n");
  RunResult r = run_pdsplit(dir, {"-p", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(calc_lines(r.out), lm);
  // --noncollinear decides, INCAR unread.
  r = run_pdsplit(dir, {"--noncollinear", "--header", "-p", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(calc_lines(r.out), noncollinear("(--noncollinear)"));
  // INCAR read: a value that is neither true nor false stops the run.
  for (std::string option : {"--header", "--moments", "--down-negative", "--orbitals=l"}) {
    r = run_pdsplit(dir, {option, "-p", "1", "x"});
    EXPECT_EQ(r.err, "Error! INCAR line 1: LSORBIT = what is neither true (.TRUE.) nor false (.FALSE.)\n");
    EXPECT_EQ(r.status, 1);
  }
  EXPECT_FALSE(exists(dir.file("x001")));
  write_file(dir.file("INCAR"), "SYSTEM = Pt\nISPIN = 2 ; LSORBIT = .TRUE. ! with SOC\n");
  r = run_pdsplit(dir, {"--header", "-p", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(calc_lines(r.out), noncollinear("(INCAR: LSORBIT = .TRUE.)"));
  write_file(dir.file("INCAR"), "lnoncollinear = T\n");
  r = run_pdsplit(dir, {"--moments", "-t"});
  EXPECT_EQ(calc_lines(r.out), noncollinear("(INCAR: lnoncollinear = T)"));
  write_file(dir.file("INCAR"), "LSORBIT = .FALSE.\n");
  r = run_pdsplit(dir, {"--header", "-p", "1"});
  EXPECT_EQ(calc_lines(r.out), lm);
  ::unlink(dir.file("INCAR").c_str());
  r = run_pdsplit(dir, {"--header", "-p", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(calc_lines(r.out), lm);

  // The INCAR beside the DOSCAR read.
  ASSERT_EQ(::mkdir(dir.file("soc").c_str(), 0755), 0);
  generate(dir, kShared, "soc/DOSCAR");
  write_file(dir.file("soc/INCAR"), "LNONCOLLINEAR = .TRUE.\n");
  write_file(dir.file("INCAR"), "LNONCOLLINEAR = junk\n");
  r = run_pdsplit(dir, {"--doscar=soc/DOSCAR", "--header", "-p", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(calc_lines(r.out), noncollinear("(soc/INCAR: LNONCOLLINEAR = .TRUE.)"));
}

TEST(Incar, OtherShapesAreDecidedByTheirColumns) {
  Scratch dir;
  write_file(dir.file("INCAR"), "LSORBIT = .TRUE.\n");
  // A shape only non-collinear runs write.
  generate(dir, {"--natom", "2", "--ngrid", "11", "--npcol", "36", "--noncollinear"});
  for (const Args& args : {Args{"--header", "-t"}, Args{"--noncollinear", "-t"}}) {
    RunResult r = run_pdsplit(dir, args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(calc_lines(r.out), " Calc. type: non-collinear\n LDOS type: l,m-projected\n Orbitals found: s p d\n");
  }
  // Shapes of other runs: INCAR does not change them, --noncollinear is refused.
  const std::pair<Args, std::string> others[] = {
      {{"--npcol", "18"}, "DOSCAR holds 4 total-DOS values and 18 values per projected line"},
      {{"--npcol", "9"}, "DOSCAR holds 2 total-DOS values and 9 values per projected line"},
      {{"--npcol", "8", "--total-only"}, "DOSCAR holds 4 total-DOS values"},
  };
  for (const auto& [shape, held] : others) {
    generate(dir, with({"--natom", "2", "--ngrid", "11"}, shape));
    RunResult r = run_pdsplit(dir, {"--header", "-t"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("non-collinear"), std::string::npos);
    r = run_pdsplit(dir, {"--noncollinear", "-t", "x"});
    EXPECT_EQ(r.err, "Error! --noncollinear: " + held + ", which no non-collinear run writes\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(exists(dir.file("x")));
  }
}

TEST(ReservedOptions, AcceptedBeforeEveryMode) {
  Scratch dir;
  generate(dir, kSmall);
  Args reserved = {"--orbitals=sum", "--header", "--down-negative", "--window=-5:", "--moments",
                   "--gaussian=0.1", "--cumulative"};
  for (const Args& mode : {Args{"-t"}, Args{"-a"}, Args{"-p", "1"}, Args{"-s1", "1", "2"}, Args{"-s2", "1", "3"}}) {
    RunResult r = run_pdsplit(dir, with(reserved, mode));
    EXPECT_EQ(r.status, 0) << show(mode) << r.err;
    EXPECT_NE(r.out.find(reference::kDone), std::string::npos);
  }
}

TEST(InMemory, TheFilesBesideDoscarAreOpenedThroughTheSameOpener) {
  MemoryFiles files;
  std::string doscar = generated(kShared);
  files.add("calc/DOSCAR", doscar);
  files.add("calc/INCAR", "LSORBIT = .TRUE.\n");
  files.add("calc/CONTCAR", "");  // ignored: --structure names the file
  files.add("calc/POSCAR", poscar("Pt Ni", "2 1"));
  MemoryDisk disk;
  Captured out, err;
  Args args = {"--doscar=calc/DOSCAR", "--structure=calc/POSCAR", "--orbitals=l", "--efermi=1", "-s2", "3", "1"};
  int status = pdsplit::run(args, out.open(), err.open(), disk, files, 2);
  std::string text = out.close();
  EXPECT_EQ(err.close(), "");
  ASSERT_EQ(status, 0);
  EXPECT_NE(text.find(" Opening DOSCAR file...\n File: calc/DOSCAR\n"), std::string::npos);
  EXPECT_EQ(calc_lines(text),
            " Calc. type: non-collinear (calc/INCAR: LSORBIT = .TRUE.)\n LDOS type: l-projected\n"
            " Orbitals found: s p d f\n");
  EXPECT_NE(text.find(" Elements (calc/POSCAR): Pt 1-2, Ni 3\n"), std::string::npos);
  reference::Doscar d = reference::parse(doscar);
  auto tables = disk.files();
  ASSERT_EQ(tables.count("iSUMDOS"), 1u);
  // --orbitals=l on an l-projected file: its columns, then the sum over s p d f
  // of each component (total, mx, my, mz).
  auto rows = reference::sum_atoms(d, {3, 1});
  for (auto& row : rows) {
    double total[4] = {0, 0, 0, 0};
    for (int orbital = 0; orbital < 4; ++orbital)
      for (int c = 0; c < 4; ++c) total[c] += row[1 + 4 * orbital + c];
    row.insert(row.end(), total, total + 4);
  }
  EXPECT_EQ(tables["iSUMDOS"], reference::table(rows, 1));
}

}  // namespace
