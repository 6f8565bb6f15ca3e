// Reading DOSCAR: the line reader in-process, and the header and block
// readers through the binary on files that are cut, edited or odd.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "base/failure.h"
#include "doscar/doscar_reader.h"
#include "lines.h"
#include "reference.h"
#include "support.h"

namespace {

using namespace testing_support;

std::vector<std::string> all_lines(const std::string& path, std::vector<bool>* complete = nullptr,
                                   std::size_t kept = pdsplit::kKeptLineLength) {
  pdsplit::DoscarReader reader(kept);
  EXPECT_TRUE(reader.open(pdsplit::system_opener(), path.c_str()));
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.next_line(line)) {
    lines.emplace_back(line);
    EXPECT_EQ(reader.line_number(), static_cast<std::int64_t>(lines.size()));
    if (complete) complete->push_back(reader.line_complete());
  }
  return lines;
}

TEST(LineReader, StripsCarriageReturnsOnlyBeforeLineFeeds) {
  Scratch dir;
  write_file(dir.file("f"), "a\r\nb\rc\n\r\n\nlast\r");
  std::vector<bool> complete;
  EXPECT_EQ(all_lines(dir.file("f"), &complete),
            (std::vector<std::string>{"a", "b\rc", "", "", "last\r"}));
  EXPECT_EQ(complete, (std::vector<bool>{true, true, true, true, false}));
}

TEST(LineReader, LinesLongerThanTheBufferAndEmptyFiles) {
  Scratch dir;
  std::string huge(9 << 20, 'x');  // longer than two read blocks
  for (std::size_t i = 0; i < huge.size(); i += 7) huge[i] = static_cast<char>('a' + i % 26);
  write_file(dir.file("f"), "first\n" + huge + "\nlast");
  std::vector<bool> complete;
  std::vector<std::string> lines = all_lines(dir.file("f"), &complete);
  ASSERT_EQ(lines.size(), 3u);  // numbered 1, 2, 3 (all_lines checks)
  EXPECT_EQ(lines[1], huge.substr(0, 1024));
  EXPECT_EQ(lines[2], "last");
  EXPECT_EQ(complete, (std::vector<bool>{true, true, false}));
  // A reader asked to keep more keeps more.
  lines = all_lines(dir.file("f"), nullptr, 5000);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], huge.substr(0, 5000));
  // The last line cut too, without a line feed.
  write_file(dir.file("f"), "first\n" + huge);
  complete.clear();
  EXPECT_EQ(all_lines(dir.file("f"), &complete),
            (std::vector<std::string>{"first", huge.substr(0, 1024)}));
  EXPECT_EQ(complete, (std::vector<bool>{true, false}));
  write_file(dir.file("empty"), "");
  EXPECT_TRUE(all_lines(dir.file("empty")).empty());
}

TEST(LineReader, CutsAfterTheKeptCharactersWhateverTheLineEnd) {
  Scratch dir;
  std::string kept(1024, 'k');
  // 1024 characters and CR LF: whole. 1025 ending in CR: cut, as is a line
  // of 1025 before CR LF. 1024 and 1025 at the end of the file.
  write_file(dir.file("f"), kept + "\r\n" + kept + "\r\r\n" + kept + "y\r\n" + kept + "\n" +
                                kept + "\r");
  std::vector<bool> complete;
  EXPECT_EQ(all_lines(dir.file("f"), &complete),
            (std::vector<std::string>{kept, kept, kept, kept, kept}));
  EXPECT_EQ(complete, (std::vector<bool>{true, true, true, true, false}));
  std::string less = kept.substr(1);
  write_file(dir.file("f"), less + "\r\n" + less + "\r");
  EXPECT_EQ(all_lines(dir.file("f")), (std::vector<std::string>{less, less + "\r"}));
}

TEST(LineReader, ACutLineStaysValidWhileTheRestIsSkipped) {
  Scratch dir;
  std::string head = "first line\n";
  std::string huge(3 << 20, 'x');
  for (std::size_t i = 0; i < huge.size(); i += 3) huge[i] = static_cast<char>('0' + i % 10);
  write_file(dir.file("f"), head + huge + "\nnext\n");
  pdsplit::DoscarReader reader;
  ASSERT_TRUE(reader.open(pdsplit::system_opener(), dir.file("f").c_str()));
  std::string_view line;
  ASSERT_TRUE(reader.next_line(line) && reader.next_line(line));
  // Skipping three megabytes refills the buffer many times over.
  EXPECT_TRUE(reader.line_complete());
  EXPECT_EQ(line, huge.substr(0, 1024));
  EXPECT_EQ(reader.line_number(), 2);
  ASSERT_TRUE(reader.next_line(line));
  EXPECT_EQ(line, "next");
  EXPECT_EQ(reader.line_number(), 3);
  EXPECT_FALSE(reader.next_line(line));
}

TEST(LineReader, SaysWhereTheFileEnded) {
  Scratch dir;
  write_file(dir.file("f"), "1\n2\n3\n");
  pdsplit::DoscarReader reader;
  ASSERT_TRUE(reader.open(pdsplit::system_opener(), dir.file("f").c_str()));
  try {
    reader.skip_lines(5, 1213);
    FAIL() << "no failure at the end of the file";
  } catch (const pdsplit::Failure& f) {
    EXPECT_STREQ(f.text(), "Error! DOSCAR ends at line 3, but its header needs 1213 lines");
    EXPECT_EQ(f.status(), 1);
  }
}

// A generated DOSCAR of 2 atoms, 10 grid points, NPCOL 9, as lines.
struct Broken {
  Scratch dir;
  std::vector<std::string> lines;
  Broken() {
    generate(dir, {"--natom", "2", "--ngrid", "10", "--npcol", "9"});
    lines = split_lines(read_file(dir.file("DOSCAR")));
  }
  RunResult run(const std::vector<std::string>& args = {"-s1", "1", "2"}) {
    write_file(dir.file("DOSCAR"), join_lines(lines));
    return run_pdsplit(dir, args);
  }
};

// `text`, then NUL bytes without a line feed up to `size` bytes: a hole
// that takes no room on disk, as a crashed node leaves.
void write_with_hole(const std::string& path, const std::string& text, std::uint64_t size) {
  write_file(path, text);
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
}

#ifdef PDSPLIT_SANITIZED
const char* const kLittleMemory = "";
#else
// About 300 MB of address space: far less than any of these files.
const char* const kLittleMemory = "ulimit -v 300000";
#endif

std::string nul_field(int width) {
  std::string text;
  for (int i = 0; i < width; ++i) text += "\\x00";
  return "\"" + text + "\" is not a number\n";
}

TEST(LinesWithoutEnd, TwentyGigabytesOfNulBytesFailOnTheFirstLineAtOnce) {
  Scratch dir;
  write_with_hole(dir.file("DOSCAR"), "", std::uint64_t{20} << 30);
  auto start = std::chrono::steady_clock::now();
  RunResult r = run_in(dir.path(), PDSPLIT_BIN, {"-a"}, kLittleMemory);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.err, "Error! DOSCAR line 1, columns 1-4: " + nul_field(4));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.substr(r.out.size() - 24), " Opening DOSCAR file...\n");
  EXPECT_LT(took.count(), 5.0);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"DOSCAR"});
}

TEST(LinesWithoutEnd, AGigabyteOfNulBytesIsSkippedInLittleMemory) {
  // 2 atoms, 10 grid points: the header reader needs lines 1-18, the atom
  // blocks are lines 17-38.
  Broken b;
  const std::uint64_t size = std::uint64_t{1} << 30;
  // Within the atom blocks, after line 19: read by the threads.
  std::vector<std::string> top(b.lines.begin(), b.lines.begin() + 19);
  write_with_hole(b.dir.file("DOSCAR"), join_lines(top), size);
  RunResult r = run_in(b.dir.path(), PDSPLIT_BIN, {"-a"}, kLittleMemory);
  EXPECT_EQ(r.err, "Error! DOSCAR line 20, columns 1-11: " + nul_field(11));
  EXPECT_EQ(r.status, 1);
  // After line 17, in the lines the header reader goes through: the file
  // ends with the first atom's header line, so it holds the total DOS alone.
  top.resize(17);
  write_with_hole(b.dir.file("DOSCAR"), join_lines(top).substr(0, join_lines(top).size() - 1), size);
  r = run_in(b.dir.path(), PDSPLIT_BIN, {"-p", "1"}, kLittleMemory);
  EXPECT_EQ(r.err, "Error! DOSCAR holds no projected DOS (VASP writes it only when LORBIT is set)\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(b.dir.entries(), std::vector<std::string>{"DOSCAR"});
}

const std::string kHeading = " ::: SUM PROJECTED DOS OF SEQUENTIAL ATOMS :::\n";

TEST(ReadErrors, FieldsThatAreNoNumber) {
  struct Case {
    std::size_t line;  // 1-based
    std::size_t column;
    std::string text;
    std::string message;
    std::vector<std::string> args = {"-s1", "1", "2"};
  };
  const Case cases[] = {
      {1, 0, "  x2", "Error! DOSCAR line 1, columns 1-4: \"x2\" is not a number"},
      {6, 0, "           1.2.3", "Error! DOSCAR line 6, columns 1-16: \"1.2.3\" is not a number"},
      {6, 32, "  1a ", "Error! DOSCAR line 6, columns 33-37: \"1a\" is not a number"},
      {6, 37, "             --1", "Error! DOSCAR line 6, columns 38-53: \"--1\" is not a number"},
      {7, 0, "    -20.00x", "Error! DOSCAR line 7, columns 1-11: \"-20.00x\" is not a number", {"-t"}},
      {19, 11, "  0.12x4E+02", "Error! DOSCAR line 19, columns 12-23: \"0.12x4E+02\" is not a number"},
      {30, 23, "        1E  ", "Error! DOSCAR line 30, columns 24-35: \"1E\" is not a number"},
      {30, 23, "       E+05 ", "Error! DOSCAR line 30, columns 24-35: \"E+05\" is not a number"},
      {30, 23, std::string("     1\0 .5  ", 12), "Error! DOSCAR line 30, columns 24-35: \"1\\x00 .5\" is not a number"},
      {30, 23, "    \xc3\xa9t\xc3\xa9   ", "Error! DOSCAR line 30, columns 24-35: \"\\xc3\\xa9t\\xc3\\xa9\" is not a number"},
  };
  for (const Case& c : cases) {
    Broken b;
    std::string& line = b.lines[c.line - 1];
    line.replace(c.column, c.text.size(), c.text);
    RunResult r = b.run(c.args);
    EXPECT_EQ(r.err, c.message + "\n");
    EXPECT_EQ(r.status, 1);
    if (c.line <= 6) {
      EXPECT_EQ(r.out, reference::banner() + kHeading + " Opening DOSCAR file...\n");
    }
    EXPECT_EQ(b.dir.entries(), std::vector<std::string>{"DOSCAR"});
  }
}

const std::string kHeaderOnly =
    "Error! DOSCAR holds only its header: VASP stopped before writing the density of states";
const std::string kNoProjections =
    "Error! DOSCAR holds no projected DOS (VASP writes it only when LORBIT is set)";

TEST(ReadErrors, FileEndsEarly) {
  // 6 header lines, 10 total lines, then 11 lines per atom: 28 lines need.
  struct Case {
    std::size_t keep;
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {0, {"-t"}, "Error! DOSCAR ends at line 0, but a DOSCAR has at least 8 lines"},
      {4, {"-t"}, "Error! DOSCAR ends at line 4, but a DOSCAR has at least 8 lines"},
      {5, {"-t"}, kHeaderOnly},
      {6, {"-s1", "1", "2"}, kHeaderOnly},
      {15, {"-t"}, "Error! DOSCAR ends at line 15, but its header needs 18 lines"},
      {16, {"-p", "1"}, kNoProjections},
      {17, {"-a"}, kNoProjections},
      {27, {"-a"}, "Error! DOSCAR ends at line 27, but its header needs 38 lines"},
      {37, {"-s2", "1"}, "Error! DOSCAR ends at line 37, but its header needs 38 lines"},
  };
  for (const Case& c : cases) {
    Broken b;
    b.lines.resize(c.keep);
    RunResult r = b.run(c.args);
    EXPECT_EQ(r.err, c.message + "\n") << c.keep;
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(b.dir.entries(), std::vector<std::string>{"DOSCAR"});
  }
  // Every line there, the last without its line feed: nothing is missing.
  Broken whole;
  std::string text = join_lines(whole.lines);
  text.pop_back();
  write_file(whole.dir.file("DOSCAR"), text);
  EXPECT_EQ(run_pdsplit(whole.dir, {"-s1", "1", "2"}).status, 0);
}

TEST(ReadErrors, LastLineCutInTheMiddle) {
  Broken b;
  std::string text = join_lines(b.lines);
  write_file(b.dir.file("DOSCAR"), text.substr(0, text.size() - 30));
  RunResult r = run_pdsplit(b.dir, {"-a"});
  EXPECT_EQ(r.err, "Error! DOSCAR ends in the middle of line 38\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(b.dir.entries(), std::vector<std::string>{"DOSCAR"});
}

TEST(ReadErrors, DoscarThatIsAFolderOrAPipe) {
  Scratch dir;
  ::mkdir(dir.file("DOSCAR").c_str(), 0755);
  RunResult r = run_pdsplit(dir, {"-t"});
  EXPECT_EQ(r.err, "Error! Cannot read DOSCAR: Is a directory\n");
  EXPECT_EQ(r.status, 1);
  ::rmdir(dir.file("DOSCAR").c_str());
  // A named pipe without a writer: refused at once instead of waiting.
  ASSERT_EQ(::mkfifo(dir.file("DOSCAR").c_str(), 0644), 0);
  r = run_pdsplit(dir, {"-a"});
  EXPECT_EQ(r.err, "Error! Cannot read DOSCAR: not a regular file\n");
  EXPECT_EQ(r.status, 1);
}

TEST(HeaderReader, UnknownProjectionStops) {
  Broken b;
  b.lines[17].resize(11 + 12 * 5);  // the first projected line: 5 values
  RunResult r = b.run({"-t"});
  EXPECT_EQ(r.out, reference::banner() + " ::: TOTAL DOS :::\n Opening DOSCAR file...\n"
                   " System name:  unknown system\n Calc. type: non-spin polarized\n"
                   " LDOS type: Unspecified\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
}

TEST(HeaderReader, TinyValuesWithoutTheLetterStillCountAsColumns) {
  Broken b;
  // Values below 1e-99 drop the E; a first line full of them is common.
  b.lines[6] = b.lines[6].substr(0, 11) + "  0.4648-107  0.1000-120";
  b.lines[17] = b.lines[17].substr(0, 11);
  for (int i = 0; i < 9; ++i) b.lines[17] += "  0.2500-150";
  RunResult r = b.run({"-ft"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" LDOS type: l,m-projected\n Orbitals found: s p d\n"), std::string::npos);
  EXPECT_EQ(split_lines(read_file(b.dir.file("iDOS")))[0], b.lines[6]);
}

TEST(HeaderReader, TotalLinesWithOtherExponentLettersAreCounted) {
  // Exponents spelt e, D or d: the value fields of line 7 are counted, and
  // the table holds every column of the file.
  for (char letter : {'e', 'D', 'd'}) {
    Broken b;
    for (std::size_t i = 6; i < 16; ++i)
      for (char& c : b.lines[i]) c = c == 'E' ? letter : c;
    RunResult r = b.run({"-ft"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" Calc. type: non-spin polarized\n LDOS type: l,m-projected\n"),
              std::string::npos) << letter;
    std::string first = split_lines(read_file(b.dir.file("iDOS")))[0];
    std::string expected = b.lines[6];
    for (char& c : expected) c = c == letter ? 'E' : c;
    EXPECT_EQ(first, expected) << letter;
  }
}

TEST(HeaderReader, TotalLinesOfNoKnownWidthStop) {
  // An extra field on line 7, or one value only: one line says which line
  // holds how many values, and nothing is written.
  struct Case {
    std::string line7, message;
  };
  const Case cases[] = {
      {"    -20.000  0.1573E-05  0.6116E-05  0.1000E+01",
       "Error! DOSCAR line 7 holds 3 values, but a total-DOS line holds 2 (without spin) or 4 (with spin)"},
      {"    -20.000  0.1573e-05  0.6116e-05  0.1000e+01  0.2000e+01  0.3000e+01",
       "Error! DOSCAR line 7 holds 5 values, but a total-DOS line holds 2 (without spin) or 4 (with spin)"},
      {"    -20.000  0.1573E-05",
       "Error! DOSCAR line 7 holds 1 value, but a total-DOS line holds 2 (without spin) or 4 (with spin)"},
  };
  for (const Case& c : cases) {
    Broken b;
    b.lines[6] = c.line7;
    RunResult r = b.run({"-t"});
    EXPECT_EQ(r.err, c.message + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(b.dir.entries(), std::vector<std::string>{"DOSCAR"});
  }
}

TEST(HeaderReader, InfinityAndNaNInFieldsAreReadAndWrittenAsWords) {
  Broken b;
  b.lines[7].replace(11, 24, "    Infinity        -nan");
  RunResult r = b.run({"-ft"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(split_lines(read_file(b.dir.file("iDOS")))[1], b.lines[7].substr(0, 11) + "    Infinity         NaN");
}

TEST(HeaderReader, LowerCaseAndDExponentsInValues) {
  Broken b;
  reference::Doscar d = reference::parse(join_lines(b.lines));
  for (std::size_t i = 7; i < 16; ++i) {
    b.lines[i][11 + 8] = 'e';
    b.lines[i][23 + 8] = 'D';
  }
  RunResult r = b.run({"-ft"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(b.dir.file("iDOS")), reference::table(d.total, 0));
}

TEST(HeaderReader, HugePromisesFailFastWithoutExhaustingMemory) {
  for (std::string natom : {"9999", "  -5"}) {
    Broken b;
    b.lines[0].replace(0, 4, natom);
    b.lines[5].replace(32, 5, "99999");
    write_file(b.dir.file("DOSCAR"), join_lines(b.lines));
#ifdef PDSPLIT_SANITIZED
    const char* limit = "";
#else
    const char* limit = "ulimit -v 2000000";
#endif
    RunResult r = run_in(b.dir.path(), PDSPLIT_BIN, {"-a"}, limit);
    EXPECT_EQ(r.status, 1);
    // Atom blocks are read as they come, never held all at once: the file
    // that holds fewer atoms than its header promises ends early.
    EXPECT_EQ(r.err.rfind("Error! DOSCAR ends at line 38, but its header needs", 0), 0u)
        << r.err;
  }
}

}  // namespace
