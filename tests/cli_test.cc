// The driver as users meet it: the built binary run in scratch folders,
// whole console output and exit status compared.
#include <gtest/gtest.h>

#include "reference.h"
#include "support.h"

namespace {

using namespace testing_support;

const std::string kHelp =
    " ::: HELP :::\n"
    " This program is to split DOSCAR file created by VASP and/or\n"
    " sum up the atomic projected DOS (pro-DOS) over some groups of atoms\n"
    " REQUIREMENTS:\n"
    "  DOSCAR file from VASP static calculation\n"
    " USAGE:\n"
    "  pdsplit -h                       : Display program help\n"
    "  pdsplit -[f]t [output]           : Get total DOS\n"
    "  pdsplit -[f]a [output]           : Get pro-DOS for all atoms\n"
    "  pdsplit -[f]p N [output]         : Get pro-DOS for one atom\n"
    "  pdsplit -[f]s1 N1 N2 [output]    : Sum up pro-DOS of sequential atoms\n"
    "  pdsplit -[f]s2 N1 N2... [output] : Sum up pro-DOS of discrete atoms\n"
    " NOTES:\n"
    "  Avoid using number only for 'output' since it might give\n"
    "  unexpected result for 's2'. If no 'output' is set, program will write\n"
    "  to default file with prefix 'i'. Fermi level is shifted by default,\n"
    "  it can be switched off by using 'f' option.\n"
    " EXAMPLES:\n"
    "  Get total DOS of the system, not shift the Fermi level:\n"
    "    pdsplit -ft                    -> output is iDOS\n"
    "    pdsplit -ft TDOS               -> output is TDOS\n"
    "  Get projected DOS of the 2nd atom, shift the Fermi level:\n"
    "    pdsplit -p 2                   -> output is iLDOS002\n"
    "    pdsplit -p 2 LDOS2             -> output is LDOS2\n"
    " PLEASE CONTACT ME IF THERE IS ANY PROBLEM.\n"
    "\n";

TEST(Driver, HelpScreenNeedsNoDoscar) {
  Scratch dir;
  RunResult r = run_pdsplit(dir, {"-h"});
  EXPECT_EQ(r.out, reference::banner() + kHelp);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST(Driver, CommandLineErrorsBeforeAnyMode) {
  Scratch dir;
  generate(dir, {"--natom", "2", "--ngrid", "5"});
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{}, "No input argument found"},
      {{"-h", "x"}, "Too many input argument(s)"},
      {{"-h", ""}, "Too many input argument(s)"},
      {{"-H"}, "Wrong input argument(s)"},
      {{"--t"}, "Wrong input argument(s)"},
      {{"t"}, "Wrong input argument(s)"},
      {{""}, "Wrong input argument(s)"},
      {{" -t"}, "Wrong input argument(s)"},
      {{"-s1fx"}, "Wrong input argument(s)"},
      {{"-s1f12"}, "Wrong input argument(s)"},
      {{"-F"}, "Wrong input argument(s)"},
  };
  for (const Case& c : cases) {
    RunResult r = run_pdsplit(dir, c.args);
    EXPECT_EQ(r.out, reference::banner() + reference::error_block(c.message))
        << (c.args.empty() ? "(none)" : c.args[0]);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 2);
  }
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"DOSCAR"});
}

TEST(Driver, OptionJudgedByItsFirstFiveCharacters) {
  Scratch dir;
  generate(dir, {"--natom", "2", "--ngrid", "5"});
  for (std::string option : {"-t ", "-t   x", "-tf  ", "-ft"}) {
    RunResult r = run_pdsplit(dir, {option});
    EXPECT_EQ(r.status, 0) << option;
    EXPECT_NE(r.out.find(" ::: TOTAL DOS :::\n"), std::string::npos) << option;
    bool unshifted = option.find('f') != std::string::npos;
    EXPECT_NE(r.out.find(unshifted ? " Fermi level is not shifted\n" : " Fermi level is shifted\n"),
              std::string::npos) << option;
  }
}

TEST(Driver, MissingDoscarEndsWithStatus1) {
  Scratch dir;
  for (std::string option : {"-t", "-a", "-p", "-s1", "-s2"}) {
    RunResult r = run_pdsplit(dir, {option, "1"});
    EXPECT_NE(r.out.find(" Error! There is no DOSCAR in current directory\n"), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 48), " Error! There is no DOSCAR in current directory\n");
    EXPECT_EQ(r.status, 1);
  }
}

TEST(Driver, AConsoleThatCannotBeWrittenIsAFailure) {
  Scratch dir;
  RunResult r = run_in(dir.path(), PDSPLIT_BIN, {"-h"}, "exec > /dev/full");
  EXPECT_EQ(r.err, "Error! Cannot write to standard output: No space left on device\n");
  EXPECT_EQ(r.status, 1);
}

TEST(Driver, CpuTimeLineAndClosingLines) {
  Scratch dir;
  generate(dir, {"--natom", "1", "--ngrid", "5"});
  RunResult r = run_pdsplit(dir, {"-t"});
  ASSERT_EQ(r.status, 0);
  // A run this small takes well under a second: label, three blanks, 0.ddd.
  std::string cpu_line = r.out.substr(r.out.size() - 24 - 35, 24);
  EXPECT_EQ(cpu_line.substr(0, 20), " CPU time (s):    0.");
  EXPECT_EQ(cpu_line.substr(20).find_first_not_of("0123456789"), 3u) << cpu_line;
  EXPECT_EQ(r.out.substr(r.out.size() - 35), reference::kDone);
}

}  // namespace
