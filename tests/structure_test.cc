// The structure-file reader: element symbols and counts of VASP 5 POSCAR
// and CONTCAR files, their faults, the summary's list of atoms, and which
// file a run reads.
#include "structure/structure.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "base/failure.h"
#include "memory_files.h"

namespace {

using namespace pdsplit;
using testing_support::MemoryFiles;

// A POSCAR as VASP 5 writes one, with `symbols` on line 6 and `counts` on
// line 7, and the positions of `natom` atoms after them.
std::string poscar(const std::string& symbols, const std::string& counts, int natom = 0,
                   const std::string& eol = "\n") {
  std::string text = "Fe3O4 cell" + eol + "   1.00000000000000" + eol +
                     "     8.3940000000000000    0.0000000000000000    0.0000000000000000" + eol +
                     "     0.0000000000000000    8.3940000000000000    0.0000000000000000" + eol +
                     "     0.0000000000000000    0.0000000000000000    8.3940000000000000" + eol +
                     symbols + eol + counts + eol + "Direct" + eol;
  for (int i = 0; i < natom; ++i)
    text += "  0." + std::to_string(100000 + 7 * i) + "  0.25  0.75" + eol;
  return text;
}

// The first `n` lines of `text`.
std::string first_lines(const std::string& text, int n) {
  std::size_t end = 0;
  for (int i = 0; i < n; ++i) end = text.find('\n', end) + 1;
  return text.substr(0, end);
}

std::vector<std::int32_t> range(std::int32_t first, std::int32_t last) {
  std::vector<std::int32_t> atoms;
  for (std::int32_t a = first; a <= last; ++a) atoms.push_back(a);
  return atoms;
}

std::string failure_of(std::string_view text, std::int32_t natom, const std::string& name = "POSCAR") {
  try {
    parse_structure(text, name, natom);
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.status(), 1);
    EXPECT_EQ(failure.report(), Failure::Report::StderrLine);
    return failure.text();
  }
  return "(no failure)";
}

TEST(Structure, SymbolsAndCountsOfVasp5) {
  Structure s = parse_structure(poscar("   Fe   O ", "    12    18", 30), "CONTCAR", 30);
  EXPECT_EQ(s.file, "CONTCAR");
  ASSERT_EQ(s.elements.size(), 2u);
  EXPECT_EQ(s.elements[0].symbol, "Fe");
  EXPECT_EQ(s.elements[0].atoms, range(1, 12));
  EXPECT_EQ(s.elements[1].symbol, "O");
  EXPECT_EQ(s.elements[1].atoms, range(13, 30));
  EXPECT_EQ(describe_elements(s), "Fe 1-12, O 13-30");
}

TEST(Structure, PotcarLabelsNameTheirElement) {
  Structure s = parse_structure(poscar("Fe_pv  O_s/3a7f  Li_sv_GW Ti/abc123\tH", "1 2 3 4 1"), "POSCAR", 11);
  std::vector<std::string> symbols;
  for (const Element& e : s.elements) symbols.push_back(e.symbol);
  EXPECT_EQ(symbols, (std::vector<std::string>{"Fe", "O", "Li", "Ti", "H"}));
  EXPECT_EQ(describe_elements(s), "Fe 1, O 2-3, Li 4-6, Ti 7-10, H 11");
}

TEST(Structure, ASymbolTwiceIsOneElementOfAllItsAtoms) {
  Structure s = parse_structure(poscar("Fe O Fe_pv O Ni", "4 4 4 2 1"), "POSCAR", 15);
  ASSERT_EQ(s.elements.size(), 3u);
  EXPECT_EQ(s.elements[0].symbol, "Fe");
  std::vector<std::int32_t> iron = range(1, 4), more = range(9, 12);
  iron.insert(iron.end(), more.begin(), more.end());
  EXPECT_EQ(s.elements[0].atoms, iron);
  EXPECT_EQ(s.elements[1].atoms, (std::vector<std::int32_t>{5, 6, 7, 8, 13, 14}));
  EXPECT_EQ(s.elements[2].atoms, (std::vector<std::int32_t>{15}));
  EXPECT_EQ(describe_elements(s), "Fe 1-4, 9-12, O 5-8, 13-14, Ni 15");
  // Runs that touch join.
  EXPECT_EQ(describe_elements(parse_structure(poscar("O O", "2 3"), "POSCAR", 5)), "O 1-5");
}

TEST(Structure, WindowsLineEndsAndAFileThatEndsWithLine7) {
  EXPECT_EQ(describe_elements(parse_structure(poscar("Si C", "2 2", 4, "\r\n"), "POSCAR", 4)),
            "Si 1-2, C 3-4");
  std::string text = poscar("Si", "8");
  text = text.substr(0, text.find("Direct"));
  EXPECT_EQ(describe_elements(parse_structure(text, "POSCAR", 8)), "Si 1-8");
  text.pop_back();  // no line feed after line 7
  EXPECT_EQ(describe_elements(parse_structure(text, "POSCAR", 8)), "Si 1-8");
}

TEST(Structure, FaultsNameTheFileTheLineAndTheFault) {
  std::string six_lines = first_lines(poscar("Fe O", "1 1"), 6);
  std::string five_lines = first_lines(poscar("Fe O", "1 1"), 5);
  const std::pair<std::string, std::string> cases[] = {
      {poscar("4 8", "Direct"),
       "Error! POSCAR line 6 holds numbers, not element symbols (a VASP 4 file, which names no elements)"},
      {poscar("  12  18", "Direct"),
       "Error! POSCAR line 6 holds numbers, not element symbols (a VASP 4 file, which names no elements)"},
      {poscar("", "12 18"), "Error! POSCAR line 6 holds no element symbols"},
      {poscar("Fe 3x", "6 6"), "Error! POSCAR line 6: \"3x\" is not an element symbol"},
      {poscar("Fe _pv", "6 6"), "Error! POSCAR line 6: \"_pv\" is not an element symbol"},
      {poscar("Fe O", "12 x"), "Error! POSCAR line 7: \"x\" is not an atom count (a whole number above 0)"},
      {poscar("Fe O", "12 6.0"), "Error! POSCAR line 7: \"6.0\" is not an atom count (a whole number above 0)"},
      {poscar("Fe O", "12 -6"), "Error! POSCAR line 7: \"-6\" is not an atom count (a whole number above 0)"},
      {poscar("Fe O", "18 0"), "Error! POSCAR line 7: \"0\" is not an atom count (a whole number above 0)"},
      {poscar("Fe O", "1 99999999999"),
       "Error! POSCAR line 7: \"99999999999\" is not an atom count (a whole number above 0)"},
      {poscar("Fe O", "18"), "Error! POSCAR lines 6-7: 2 element symbols, but 1 atom count"},
      {poscar("Fe", "6 12"), "Error! POSCAR lines 6-7: 1 element symbol, but 2 atom counts"},
      {poscar("Fe O", ""), "Error! POSCAR lines 6-7: 2 element symbols, but 0 atom counts"},
      {poscar("Fe O", "12 17"), "Error! POSCAR line 7: the counts add up to 29 atoms, but DOSCAR holds 18"},
      {poscar("Fe", "1"), "Error! POSCAR line 7: the counts add up to 1 atom, but DOSCAR holds 18"},
      {six_lines, "Error! POSCAR ends at line 6, before its atom counts (line 7)"},
      {five_lines, "Error! POSCAR ends at line 5, before its element symbols (line 6)"},
      {"title\n", "Error! POSCAR ends at line 1, before its element symbols (line 6)"},
      {"", "Error! POSCAR is empty"},
      {" \n\n  \n", "Error! POSCAR is empty"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(failure_of(text, 18), message) << text;
  // A name that cannot be shown as it is, shown safely.
  EXPECT_EQ(failure_of("", 1, "run\x01/POSCAR"), "Error! run\\x01/POSCAR is empty");
}

TEST(Structure, FoldersOfPaths) {
  EXPECT_EQ(folder_of("DOSCAR"), ".");
  EXPECT_EQ(folder_of("run1/DOSCAR"), "run1");
  EXPECT_EQ(folder_of("a/b//DOSCAR.gz"), "a/b");
  EXPECT_EQ(folder_of("/DOSCAR"), "/");
  EXPECT_EQ(folder_of("../DOSCAR"), "..");
  EXPECT_EQ(beside(".", "CONTCAR"), "CONTCAR");
  EXPECT_EQ(beside("run1", "CONTCAR"), "run1/CONTCAR");
  EXPECT_EQ(beside("/", "INCAR"), "/INCAR");
}

TEST(Structure, GivenElseContcarElsePoscar) {
  MemoryFiles files;
  files.add("run/CONTCAR", poscar("Fe", "2"));
  files.add("run/POSCAR", poscar("O", "2"));
  files.add("given", poscar("Ni", "2"));
  EXPECT_EQ(read_structure(files, std::nullopt, "run", 2).file, "run/CONTCAR");
  EXPECT_EQ(describe_elements(read_structure(files, std::nullopt, "run", 2)), "Fe 1-2");
  EXPECT_EQ(describe_elements(read_structure(files, std::string("given"), "run", 2)), "Ni 1-2");

  // An empty CONTCAR (a run that stopped) gives way to POSCAR.
  MemoryFiles stopped;
  stopped.add("CONTCAR", "");
  stopped.add("POSCAR", poscar("O", "2"));
  Structure s = read_structure(stopped, std::nullopt, ".", 2);
  EXPECT_EQ(s.file, "POSCAR");
  EXPECT_EQ(describe_elements(s), "O 1-2");
  stopped.add("CONTCAR", "\n  \n");
  EXPECT_EQ(read_structure(stopped, std::nullopt, ".", 2).file, "POSCAR");

  // A damaged CONTCAR is reported, not passed over.
  MemoryFiles damaged;
  damaged.add("CONTCAR", poscar("2", "Direct"));
  damaged.add("POSCAR", poscar("O", "2"));
  EXPECT_THROW(read_structure(damaged, std::nullopt, ".", 2), Failure);
}

std::string read_failure(MemoryFiles& files, const std::optional<std::string>& given,
                         const std::string& folder) {
  try {
    read_structure(files, given, folder, 2);
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.status(), 1);
    EXPECT_EQ(failure.report(), Failure::Report::StderrLine);
    return failure.text();
  }
  return "(no failure)";
}

TEST(Structure, NoFileOrOneThatCannotBeRead) {
  MemoryFiles none;
  EXPECT_EQ(read_failure(none, std::nullopt, "."), "Error! There is neither CONTCAR nor POSCAR");
  EXPECT_EQ(read_failure(none, std::nullopt, "run"),
            "Error! There is neither run/CONTCAR nor run/POSCAR");
  EXPECT_EQ(read_failure(none, std::string("my/POSCAR"), "."), "Error! There is no my/POSCAR");
  MemoryFiles empty;
  empty.add("run/CONTCAR", "");
  EXPECT_EQ(read_failure(empty, std::nullopt, "run"),
            "Error! run/CONTCAR is empty (a run that stopped early) and there is no run/POSCAR");
  MemoryFiles refused;
  refused.refuse("CONTCAR", EISDIR);
  refused.add("POSCAR", poscar("O", "2"));
  EXPECT_EQ(read_failure(refused, std::nullopt, "."), "Error! Cannot read CONTCAR: Is a directory");
  MemoryFiles failing;
  failing.add("POSCAR", poscar("O", "2"));
  failing.faults.fail_at = 10;
  EXPECT_EQ(read_failure(failing, std::nullopt, "."),
            "Error! Cannot read POSCAR: " + std::string(std::strerror(EIO)));
  // Short and interrupted reads change nothing.
  MemoryFiles slow;
  slow.add("POSCAR", poscar("Fe O", "1 1", 2));
  slow.faults.max_read = 3;
  slow.faults.interrupt_every = 2;
  EXPECT_EQ(describe_elements(read_structure(slow, std::nullopt, ".", 2)), "Fe 1, O 2");
}

TEST(Structure, OnlyTheFirstSevenLinesAreRead) {
  // The positions of a million atoms are not needed, nor read.
  MemoryFiles files;
  std::string text = poscar("Fe", "1000000");
  text += std::string(3 << 20, 'x');
  files.add("POSCAR", text);
  EXPECT_EQ(describe_elements(read_structure(files, std::nullopt, ".", 1000000)), "Fe 1-1000000");
  // Lines 1-7 of more than a mebibyte are no POSCAR.
  MemoryFiles huge;
  huge.add("POSCAR", std::string(2 << 20, ' ') + "\n");
  EXPECT_EQ(read_failure(huge, std::nullopt, "."),
            "Error! Cannot read POSCAR: its first 7 lines take more than 1 MiB");
}

}  // namespace
