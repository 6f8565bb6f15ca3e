// The element sums (-e, -fe, -ef) as users meet them: the built binary run
// in scratch folders on DOSCARs made by the generator and structure files
// written here. Every table is compared with the -s2 table of the same
// atoms and with sums computed here from the DOSCAR text (reference.h).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lines.h"
#include "reference.h"
#include "generated_folder.h"
#include "support.h"

namespace {

using namespace testing_support;
using reference::Row;
using Args = std::vector<std::string>;

// A VASP 5 structure file: symbols on line 6, counts on line 7.
std::string poscar(const std::string& symbols, const std::string& counts) {
  return "Fe3O4 slab\n   1.0\n 8.39 0 0\n 0 8.39 0\n 0 0 20.0\n   " + symbols + "\n   " + counts +
         "\nDirect\n 0 0 0\n";
}

struct Element {
  std::string symbol;
  std::vector<int> atoms;
};

// "Fe O Fe", 2 3 2: iron is atoms 1, 2, 6, 7 and oxygen 3, 4, 5 (no atom 1:
// its table takes the energies of an atom it does not add).
const char* const kSymbols = "Fe O Fe";
const char* const kCounts = "2 3 2";
const std::vector<Element> kElements = {{"Fe", {1, 2, 6, 7}}, {"O", {3, 4, 5}}};

Args with(Args args, const Args& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

std::string show(const Args& args) {
  std::string text;
  for (const std::string& a : args) text += "'" + a + "' ";
  return text;
}

// The -s2 command line (`option`) that sums `atoms` into `name`.
Args list_sum(const std::vector<int>& atoms, const std::string& name, const Args& settings = {},
              const std::string& option = "-s2") {
  Args args = with(settings, {option});
  for (int atom : atoms) args.push_back(std::to_string(atom));
  args.push_back(name);
  return args;
}

std::string without_cpu_time(std::string text) {
  std::size_t at = text.find(" CPU time (s):");
  if (at != std::string::npos) text.erase(at, text.find('\n', at) + 1 - at);
  return text;
}

// The summary of `d` with the line `elements` after the number of atoms.
std::string summary_with_elements(const reference::Doscar& d, const std::string& elements) {
  std::string s = reference::summary(d);
  std::size_t at = s.find('\n', s.find(" Number of atoms:")) + 1;
  return s.insert(at, elements + "\n");
}

using Folder = GeneratedFolder;

Args shape(const Args& projection, int natom = 7) {
  return with({"--natom", std::to_string(natom), "--ngrid", "40", "--atom-shift", "--seed", "5"},
              projection);
}

TEST(ElementSums, EachTableIsTheListSumOfItsElementsAtomsOnEveryKindOfFile) {
  const Args kinds[] = {{"--npcol", "9"},  {"--npcol", "4"},  {"--npcol", "18"},
                        {"--npcol", "8"},  {"--npcol", "32"}, {"--npcol", "12", "--noncollinear"},
                        {"--npcol", "36", "--noncollinear"},  {"--npcol", "64", "--noncollinear"}};
  for (const Args& kind : kinds) {
    SCOPED_TRACE(show(kind));
    Folder f(shape(kind));
    f.write("POSCAR", poscar(kSymbols, kCounts));
    RunResult r = f.run({"-e"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(f.dir.entries(), (std::vector<std::string>{"DOSCAR", "POSCAR", "iSUMDOS_Fe", "iSUMDOS_O"}));
    for (const Element& e : kElements) {
      std::string table = f.file("iSUMDOS_" + e.symbol);
      EXPECT_EQ(table, reference::table(reference::sum_atoms(f.d, e.atoms), f.d.efermi)) << e.symbol;
      ASSERT_EQ(f.run(list_sum(e.atoms, "list")).status, 0);
      EXPECT_EQ(table, f.file("list")) << e.symbol;
    }
  }
}

TEST(ElementSums, WholeConsoleOfARunAndNothingWithQuiet) {
  Folder f(shape({"--npcol", "18"}));
  f.write("POSCAR", poscar(kSymbols, kCounts));
  RunResult r = f.run({"-e"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(without_cpu_time(r.out),
            reference::banner() + " ::: SUM PROJECTED DOS OF EACH ELEMENT :::\n" +
                summary_with_elements(f.d, " Elements (POSCAR): Fe 1-2, 6-7, O 3-5") +
                " Closing DOSCAR file...\n Fermi level is shifted\n Creating output files...\n" +
                reference::kDone);
  EXPECT_NE(r.out.find(" Creating output files...\n CPU time (s): "), std::string::npos);
  std::string fe = f.file("iSUMDOS_Fe");
  ::unlink(f.dir.file("iSUMDOS_Fe").c_str());
  r = f.run({"--quiet", "-e"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(f.file("iSUMDOS_Fe"), fe);
}

TEST(ElementSums, ASymbolThatStandsTwiceIsOneTableAndTablesComeInTheFilesOrder) {
  // POTCAR labels name their element; O stands first, Fe twice.
  Folder f(shape({"--npcol", "9"}, 6));
  f.write("POSCAR", poscar("O_s Fe_pv O/3a7f Ni Fe", "1 2 1 1 1"));
  const std::vector<Element> elements = {{"O", {1, 4}}, {"Fe", {2, 3, 6}}, {"Ni", {5}}};
  RunResult r = f.run({"--moments", "-e"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" Number of atoms:    6\n Elements (POSCAR): O 1, 4, Fe 2-3, 6, Ni 5\n"),
            std::string::npos);
  std::size_t before = 0;
  for (const Element& e : elements) {
    std::size_t at = r.out.find(" Moments of iSUMDOS_" + e.symbol + ":\n");
    ASSERT_NE(at, std::string::npos) << e.symbol;
    EXPECT_GT(at, before) << e.symbol << " out of the structure file's order";
    before = at;
  }
  EXPECT_EQ(f.dir.entries(),
            (std::vector<std::string>{"DOSCAR", "POSCAR", "iSUMDOS_Fe", "iSUMDOS_Fe.moments",
                                      "iSUMDOS_Ni", "iSUMDOS_Ni.moments", "iSUMDOS_O",
                                      "iSUMDOS_O.moments"}));
  RunResult plain = f.run({"-e", "plain"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  for (const Element& e : elements)
    EXPECT_EQ(f.file("plain_" + e.symbol),
              reference::table(reference::sum_atoms(f.d, e.atoms), f.d.efermi)) << e.symbol;
}

TEST(ElementSums, TheFOptionKeepsTheEnergiesAndAGivenNamePrefixesTheTables) {
  Folder f(shape({"--npcol", "16"}));
  f.write("POSCAR", poscar(kSymbols, kCounts));
  for (std::string option : {"-fe", "-ef"}) {
    RunResult r = f.run({option, "slab  "});
    ASSERT_EQ(r.status, 0) << option << r.err;
    EXPECT_NE(r.out.find(" Closing DOSCAR file...\n Fermi level is not shifted\n Creating output files...\n"),
              std::string::npos) << option;
    EXPECT_EQ(f.dir.entries(), (std::vector<std::string>{"DOSCAR", "POSCAR", "slab_Fe", "slab_O"}));
    for (const Element& e : kElements)
      EXPECT_EQ(f.file("slab_" + e.symbol), reference::table(reference::sum_atoms(f.d, e.atoms), 0))
          << option << " " << e.symbol;
  }
  RunResult r = f.run({"-e", "slab"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" Fermi level is shifted\n"), std::string::npos);
  for (const Element& e : kElements)
    EXPECT_EQ(f.file("slab_" + e.symbol), reference::table(reference::sum_atoms(f.d, e.atoms), f.d.efermi));
  // The mode option is judged by its first five characters, as every other.
  r = f.run({"-e   x", "cut"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(exists(f.dir.file("cut_O")));
}

TEST(ElementSums, ContcarBeforePoscarAnEmptyContcarCountsAsNoneAndStructureNamesTheFile) {
  Folder f(shape({"--npcol", "9"}));
  f.write("POSCAR", poscar("Ni", "7"));
  f.write("CONTCAR", poscar(kSymbols, kCounts));
  auto elements_line = [](const RunResult& r) {
    std::size_t at = r.out.find(" Elements (");
    return at == std::string::npos ? std::string() : r.out.substr(at, r.out.find('\n', at) + 1 - at);
  };
  RunResult r = f.run({"-e", "c"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(elements_line(r), " Elements (CONTCAR): Fe 1-2, 6-7, O 3-5\n");
  EXPECT_EQ(f.file("c_O"), reference::table(reference::sum_atoms(f.d, {3, 4, 5}), f.d.efermi));
  EXPECT_FALSE(exists(f.dir.file("c_Ni")));

  // A run that stopped early leaves CONTCAR empty: POSCAR is read.
  f.write("CONTCAR", "");
  r = f.run({"-e", "p"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(elements_line(r), " Elements (POSCAR): Ni 1-7\n");
  EXPECT_EQ(f.file("p_Ni"),
            reference::table(reference::sum_atoms(f.d, {1, 2, 3, 4, 5, 6, 7}), f.d.efermi));

  // --structure names the file, whatever lies beside DOSCAR.
  ASSERT_EQ(::mkdir(f.dir.file("relaxed").c_str(), 0755), 0);
  f.write("relaxed/CONTCAR", poscar("O Ti", "3 4"));
  r = f.run({"--structure=relaxed/CONTCAR", "-e", "s"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(elements_line(r), " Elements (relaxed/CONTCAR): O 1-3, Ti 4-7\n");
  EXPECT_EQ(f.file("s_Ti"), reference::table(reference::sum_atoms(f.d, {4, 5, 6, 7}), f.d.efermi));

  // With --doscar, the files beside that DOSCAR; the tables come here.
  ASSERT_EQ(::mkdir(f.dir.file("run").c_str(), 0755), 0);
  ASSERT_EQ(::link(f.dir.file("DOSCAR").c_str(), f.dir.file("run/DOSCAR").c_str()), 0);
  f.write("run/POSCAR", poscar("Ca", "7"));
  r = f.run({"--doscar=run/DOSCAR", "-e", "r"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(elements_line(r), " Elements (run/POSCAR): Ca 1-7\n");
  EXPECT_EQ(f.file("r_Ca"), f.file("p_Ni"));
}

// The run of `args` fails with one line `message` on standard error and
// status 1, before the atom blocks are read, writing nothing.
void expect_stopped(const Folder& f, const Args& args, const std::string& message) {
  std::vector<std::string> before = f.dir.entries();
  RunResult r = f.run(args);
  EXPECT_EQ(r.err, message + "\n") << show(args);
  EXPECT_EQ(r.status, 1) << show(args);
  EXPECT_EQ(r.out.find(" Closing DOSCAR file..."), std::string::npos) << show(args);
  EXPECT_EQ(f.dir.entries(), before) << show(args);
}

TEST(ElementSums, AStructureFileThatCannotBeUsedStopsTheRunWithNothingWritten) {
  Folder f(shape({"--npcol", "9"}));
  for (std::string option : {"-e", "-fe"}) {
    expect_stopped(f, {option}, "Error! There is neither CONTCAR nor POSCAR");
    f.write("CONTCAR", "");
    expect_stopped(f, {option, "x"},
                   "Error! CONTCAR is empty (a run that stopped early) and there is no POSCAR");
    f.write("CONTCAR", poscar("2 5", "Direct"));
    f.write("POSCAR", poscar(kSymbols, kCounts));  // not read: CONTCAR holds something
    expect_stopped(f, {option},
                   "Error! CONTCAR line 6 holds numbers, not element symbols (a VASP 4 file, which "
                   "names no elements)");
    f.write("CONTCAR", poscar("Fe O", "2 6"));
    expect_stopped(f, {option}, "Error! CONTCAR line 7: the counts add up to 8 atoms, but DOSCAR holds 7");
    expect_stopped(f, {"--structure=POSCAR.orig", option}, "Error! There is no POSCAR.orig");
    ::unlink(f.dir.file("CONTCAR").c_str());
    ::unlink(f.dir.file("POSCAR").c_str());
  }
}

TEST(ElementSums, OperandErrorsComeAfterTheFileIsReadAndWriteNothing) {
  Folder f(shape({"--npcol", "9"}));
  f.write("POSCAR", poscar(kSymbols, kCounts));
  const std::pair<Args, std::string> cases[] = {
      {{"-e", "a", "b"}, "Too many input argument(s)"},
      {{"-fe", "a", "b", "c"}, "Too many input argument(s)"},
      {{"-e", ""}, "Empty output file name"},
      {{"-ef", "   "}, "Empty output file name"},
  };
  std::string common = " Closing DOSCAR file...\n Fermi level is";
  for (const auto& [args, message] : cases) {
    RunResult r = f.run(args);
    EXPECT_EQ(r.status, 2) << show(args);
    EXPECT_EQ(r.err, "");
    std::size_t at = r.out.find(common);
    ASSERT_NE(at, std::string::npos) << show(args) << r.out;
    std::string after = r.out.substr(r.out.find('\n', at + common.size()) + 1);
    EXPECT_EQ(after, reference::error_block(message)) << show(args);
    EXPECT_EQ(f.dir.entries(), (std::vector<std::string>{"DOSCAR", "POSCAR"})) << show(args);
  }
  // Letters beside the mode's are no mode: the error block before reading.
  for (std::string option : {"-eh", "-fef", "-ee", "-E", "-e1"}) {
    RunResult r = f.run({option});
    EXPECT_EQ(r.out, reference::banner() + reference::error_block("Wrong input argument(s)")) << option;
    EXPECT_EQ(r.status, 2) << option;
  }
  EXPECT_EQ(f.dir.entries(), (std::vector<std::string>{"DOSCAR", "POSCAR"}));
  // A table that would replace the DOSCAR read is refused before any is
  // written, here the second one (iron's comes first).
  Scratch other;
  generate(other, shape({"--npcol", "9"}), "iSUMDOS_O");
  write_file(other.file("POSCAR"), poscar(kSymbols, kCounts));
  RunResult r = run_pdsplit(other, {"--doscar=iSUMDOS_O", "-e"});
  EXPECT_EQ(r.status, 2);
  std::string block = reference::error_block("Output file would overwrite DOSCAR");
  ASSERT_GE(r.out.size(), block.size());
  EXPECT_EQ(r.out.substr(r.out.size() - block.size()), block);
  EXPECT_EQ(other.entries(), (std::vector<std::string>{"POSCAR", "iSUMDOS_O"}));
}

TEST(ElementSums, ADoscarWithoutProjectedDosFailsAsForTheOtherProjectedModes) {
  Folder f(shape({"--npcol", "18", "--total-only"}));
  const std::string message =
      "Error! DOSCAR holds no projected DOS (VASP writes it only when LORBIT is set)";
  // With or without a structure file: the DOSCAR's own fault.
  RunResult list = f.run({"-s2", "1", "2"});
  for (bool structure : {false, true}) {
    if (structure) f.write("POSCAR", poscar(kSymbols, kCounts));
    RunResult r = f.run({"-e"});
    EXPECT_EQ(r.err, message + "\n");
    EXPECT_EQ(r.err, list.err);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.status, list.status);
    EXPECT_EQ(r.out.find("Elements"), std::string::npos);
    EXPECT_EQ(r.out.find(" Closing DOSCAR file..."), std::string::npos);
  }
  EXPECT_EQ(f.dir.entries(), (std::vector<std::string>{"DOSCAR", "POSCAR"}));
}

// The sum of columns (1-based, in this order) of a row, from 0.
double sum(const Row& row, int first, int last, int step) {
  double s = 0;
  for (int c = first; c <= last; c += step) s += row[static_cast<std::size_t>(c)];
  return s;
}

TEST(ElementSums, OrbitalsLWithHeaderSumsTheAtomsThenTheOrbitalsOfEachSpin) {
  // Spin-polarised l,m-projected s p d f: 16 orbitals, up and down each.
  Folder f(shape({"--npcol", "32"}));
  f.write("POSCAR", poscar(kSymbols, kCounts));
  RunResult r = f.run({"--orbitals=l", "--header", "-e"});
  ASSERT_EQ(r.status, 0) << r.err;
  // Orbital o (0-based, DOSCAR order), spin c (0 up, 1 down): column 1 + 2o + c.
  const int first_of_l[] = {0, 1, 4, 9, 16};  // s, p, d, f
  for (const Element& e : kElements) {
    std::vector<Row> rows;
    for (const Row& summed : reference::sum_atoms(f.d, e.atoms)) {
      Row row{summed[0]};
      for (int l = 0; l < 4; ++l)
        for (int c = 0; c < 2; ++c)
          row.push_back(sum(summed, 1 + 2 * first_of_l[l] + c, 2 * first_of_l[l + 1] + c, 2));
      for (int c = 0; c < 2; ++c) row.push_back(sum(summed, 1 + c, 32, 2));
      rows.push_back(row);
    }
    EXPECT_EQ(f.file("iSUMDOS_" + e.symbol),
              "# E-EF s_up s_down p_up p_down d_up d_down f_up f_down total_up total_down\n" +
                  reference::table(rows, f.d.efermi)) << e.symbol;
  }
}

TEST(ElementSums, EveryTableOptionActsOnEachTableAsOnAListSum) {
  Folder f(shape({"--npcol", "18"}));
  f.write("POSCAR", poscar(kSymbols, kCounts));
  const Args options = {"--orbitals=d-split", "--header", "--down-negative", "--window=-6:4",
                        "--moments", "--gaussian=0.4", "--cumulative", "--efermi=1.5"};
  RunResult r = f.run(with(options, {"-fe", "all"}));
  ASSERT_EQ(r.status, 0) << r.err;
  for (const Element& e : kElements) {
    RunResult list = f.run(list_sum(e.atoms, "list", options, "-fs2"));
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(f.file("all_" + e.symbol), f.file("list")) << e.symbol;
    EXPECT_EQ(f.file("all_" + e.symbol + ".moments"), f.file("list.moments")) << e.symbol;
    // Unshifted, and every option at work: a header, grouped columns.
    EXPECT_EQ(f.file("list").substr(0, 24), "# E s_up s_down p_up p_d");
  }
  // The moments of each table are printed, in the structure file's order.
  std::size_t fe = r.out.find(" Moments of all_Fe:\n"), o = r.out.find(" Moments of all_O:\n");
  ASSERT_NE(fe, std::string::npos);
  ASSERT_NE(o, std::string::npos);
  EXPECT_LT(fe, o);
}

TEST(ElementSums, AFaultLateInTheFileLeavesNoTableAndKeepsOlderOnes) {
  Folder f(shape({"--npcol", "18"}));
  f.write("POSCAR", poscar(kSymbols, kCounts));
  f.write("iSUMDOS_Fe", "an older table\n");
  std::vector<std::string> lines = split_lines(f.file("DOSCAR"));
  // A field of the last atom's next-to-last grid point that is no number.
  std::size_t bad = 6 + 40 + 6 * 41 + 1 + 38;
  ASSERT_LT(bad, lines.size());
  std::vector<std::string> broken = lines;
  broken[bad][15] = 'x';
  f.write("DOSCAR", join_lines(broken));
  RunResult r = f.run({"-e"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("Error! DOSCAR line " + std::to_string(bad + 1) + ", columns 12-23: ", 0), 0u)
      << r.err;
  EXPECT_EQ(r.out.find("Creating output"), std::string::npos);
  EXPECT_EQ(f.dir.entries(), (std::vector<std::string>{"DOSCAR", "POSCAR", "iSUMDOS_Fe"}));
  EXPECT_EQ(f.file("iSUMDOS_Fe"), "an older table\n");
  // A file that ends in its last atom.
  lines.resize(bad);
  f.write("DOSCAR", join_lines(lines));
  r = f.run({"--orbitals=l", "-e"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("DOSCAR"), std::string::npos) << r.err;
  EXPECT_EQ(f.dir.entries(), (std::vector<std::string>{"DOSCAR", "POSCAR", "iSUMDOS_Fe"}));
  EXPECT_EQ(f.file("iSUMDOS_Fe"), "an older table\n");
}

std::string source_file(const std::string& name) {
  return read_file(std::string(PDSPLIT_SOURCE_DIR) + "/" + name);
}

TEST(ElementSums, TheModeIsInTheUsageTheManualTheReadmeAndTheCompletion) {
  Scratch dir;
  RunResult usage = run_pdsplit(dir, {"--help"});
  std::string manual = source_file("doc/pdsplit.1"), readme = source_file("README.md"),
              completion = source_file("tools/pdsplit-completion.bash");
  EXPECT_NE(usage.out.find("\n  -e [OUTPUT] "), std::string::npos);
  EXPECT_NE(manual.find(".BR \\-e \", \" \\-fe \", \" \\-ef "), std::string::npos);
  EXPECT_NE(readme.find("| `pdsplit -e [output]` |"), std::string::npos);
  EXPECT_NE(readme.find("pdsplit --orbitals=l --header -e"), std::string::npos);
  for (std::string option : {" -e ", " -fe ", " -ef "})
    EXPECT_NE(completion.find(option), std::string::npos) << option;
  // The help screen of -h stays as it was: no new mode there.
  RunResult help = run_pdsplit(dir, {"-h"});
  EXPECT_EQ(help.out.find("-e"), std::string::npos);
}

}  // namespace
