// The command-line parser: long options before the mode option, their
// values and their faults, and where the mode's arguments begin.
#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using pdsplit::CommandLine;
using pdsplit::Failure;
using pdsplit::Orbitals;
using Args = std::vector<std::string>;

CommandLine parse(const Args& args) { return pdsplit::parse_command_line(args); }

std::string show(const Args& args) {
  std::string text;
  for (const std::string& a : args) text += "[" + a + "]";
  return text;
}

TEST(CommandLine, ModeArgumentsAreLeftAsTheyStand) {
  for (const Args& args : {Args{}, Args{"-t"}, Args{"-p", "2", "--quiet"}, Args{" --quiet"},
                           Args{"-x", "--doscar=a"}, Args{""}, Args{"-", "--"}}) {
    CommandLine line = parse(args);
    EXPECT_FALSE(line.failure) << show(args);
    EXPECT_EQ(line.request, CommandLine::Request::Run);
    EXPECT_EQ(Args(line.rest.begin(), line.rest.end()), args) << show(args);
    EXPECT_FALSE(line.settings.quiet);
    EXPECT_FALSE(line.settings.doscar);
  }
  Args args = {"--quiet", "--doscar=run/DOSCAR", "-s2", "1", "--efermi=3"};
  CommandLine line = parse(args);
  ASSERT_FALSE(line.failure);
  EXPECT_EQ(Args(line.rest.begin(), line.rest.end()), (Args{"-s2", "1", "--efermi=3"}));
  EXPECT_TRUE(line.settings.quiet);
  EXPECT_EQ(line.settings.doscar, "run/DOSCAR");
  EXPECT_FALSE(line.settings.efermi);
  // Settings alone leave no mode.
  EXPECT_TRUE(parse({"--quiet"}).rest.empty());
}

TEST(CommandLine, EveryOptionIsKept) {
  // The rest of the line is a view of the arguments: they must outlive it.
  const Args args = {"--doscar=a b/DOSCAR.gz", "--structure=../POSCAR", "--efermi=-4.25",
                     "--noncollinear", "--quiet", "--orbitals=d-split", "--header",
                     "--down-negative", "--window=-10:2.5", "--moments", "--gaussian=0.05",
                     "--cumulative", "-a"};
  CommandLine line = parse(args);
  ASSERT_FALSE(line.failure) << line.failure->text();
  const pdsplit::Settings& s = line.settings;
  EXPECT_EQ(s.doscar, "a b/DOSCAR.gz");
  EXPECT_EQ(s.structure, "../POSCAR");
  EXPECT_EQ(s.efermi, -4.25);
  EXPECT_TRUE(s.noncollinear && s.quiet && s.header && s.down_negative && s.moments && s.cumulative);
  EXPECT_EQ(s.orbitals, Orbitals::DSplit);
  EXPECT_EQ(s.window_min, -10.0);
  EXPECT_EQ(s.window_max, 2.5);
  EXPECT_EQ(s.gaussian, 0.05);
  EXPECT_TRUE(s.needs_column_meaning());
  ASSERT_EQ(line.rest.size(), 1u);
  EXPECT_EQ(line.rest[0], "-a");

  const std::pair<std::string, Orbitals> groupings[] = {
      {"lm", Orbitals::Lm}, {"l", Orbitals::L}, {"d-split", Orbitals::DSplit}, {"sum", Orbitals::Sum}};
  for (const auto& [value, grouping] : groupings)
    EXPECT_EQ(parse({"--orbitals=" + value}).settings.orbitals, grouping) << value;

  // Only the options that need the columns' meaning say so.
  EXPECT_FALSE(parse({"--quiet", "--efermi=1", "--noncollinear", "--window=1:2", "--gaussian=1",
                      "--cumulative", "--doscar=x", "--structure=y"})
                   .settings.needs_column_meaning());
  for (std::string option : {"--orbitals=l", "--header", "--down-negative", "--moments"})
    EXPECT_TRUE(parse({option}).settings.needs_column_meaning()) << option;
}

TEST(CommandLine, NumbersAndWindows) {
  const std::pair<std::string, double> numbers[] = {
      {"5", 5}, {"-5.", -5}, {".5", 0.5}, {"+3", 3}, {"1e2", 100}, {"-1.5E-1", -0.15}, {"0", 0}};
  for (const auto& [text, value] : numbers) {
    CommandLine line = parse({"--efermi=" + text});
    ASSERT_FALSE(line.failure) << text;
    EXPECT_EQ(line.settings.efermi, value) << text;
  }
  for (std::string text : {"abc", " 5", "5 ", "0x10", "inf", "nan", "1e999", "1e", "5,1", "--", "."}) {
    CommandLine line = parse({"--efermi=" + text});
    ASSERT_TRUE(line.failure) << text;
    EXPECT_EQ(std::string(line.failure->text()), "Error! --efermi=" + text + ": not a number");
    EXPECT_EQ(line.failure->status(), 2);
    EXPECT_EQ(line.failure->report(), Failure::Report::StderrLine);
  }
  struct Window {
    std::string value;
    std::optional<double> low, high;
  };
  const Window windows[] = {{"-5:5", -5.0, 5.0}, {":5", std::nullopt, 5.0}, {"-5:", -5.0, std::nullopt},
                            {":", std::nullopt, std::nullopt}, {"1:1", 1.0, 1.0}};
  for (const Window& w : windows) {
    CommandLine line = parse({"--window=" + w.value});
    ASSERT_FALSE(line.failure) << w.value;
    EXPECT_EQ(line.settings.window_min, w.low) << w.value;
    EXPECT_EQ(line.settings.window_max, w.high) << w.value;
  }
  EXPECT_EQ(parse({"--gaussian=1e-3"}).settings.gaussian, 1e-3);
}

TEST(CommandLine, FaultsOfKnownOptionsAreOneLineWithStatus2) {
  const std::pair<Args, std::string> cases[] = {
      {{"--efermi"}, "Error! --efermi: needs a value, as in --efermi=E"},
      {{"--efermi="}, "Error! --efermi=: needs a value, as in --efermi=E"},
      {{"--doscar"}, "Error! --doscar: needs a value, as in --doscar=PATH"},
      {{"--structure="}, "Error! --structure=: needs a value, as in --structure=PATH"},
      {{"--orbitals"}, "Error! --orbitals: needs a value, as in --orbitals=lm|l|d-split|sum"},
      {{"--orbitals=spd"}, "Error! --orbitals=spd: unknown grouping (lm, l, d-split or sum)"},
      {{"--orbitals=LM"}, "Error! --orbitals=LM: unknown grouping (lm, l, d-split or sum)"},
      {{"--window=5"}, "Error! --window=5: not EMIN:EMAX (either may be empty)"},
      {{"--window=a:5"}, "Error! --window=a:5: \"a\" is not a number"},
      {{"--window=1:2:3"}, "Error! --window=1:2:3: \"2:3\" is not a number"},
      {{"--window=3:-1"}, "Error! --window=3:-1: EMIN is above EMAX"},
      {{"--window"}, "Error! --window: needs a value, as in --window=EMIN:EMAX"},
      {{"--gaussian=0"}, "Error! --gaussian=0: the width must be above 0"},
      {{"--gaussian=-0.1"}, "Error! --gaussian=-0.1: the width must be above 0"},
      {{"--gaussian=w"}, "Error! --gaussian=w: not a number"},
      {{"--gaussian"}, "Error! --gaussian: needs a value, as in --gaussian=WIDTH"},
      {{"--quiet=1"}, "Error! --quiet=1: takes no value"},
      {{"--header="}, "Error! --header=: takes no value"},
      {{"--help=x"}, "Error! --help=x: takes no value"},
      {{"--version=2"}, "Error! --version=2: takes no value"},
      {{"--noncollinear=T"}, "Error! --noncollinear=T: takes no value"},
      {{"--efermi=1", "--efermi=2"}, "Error! --efermi=2: given a second time"},
      {{"--doscar=a", "--quiet", "--doscar=a"}, "Error! --doscar=a: given a second time"},
      {{"--window=:", "--window=1:2"}, "Error! --window=1:2: given a second time"},
      // Shown as a console line shows any text.
      {{"--efermi=\x01"}, "Error! --efermi=\\x01: not a number"},
  };
  for (const auto& [args, message] : cases) {
    Args with_mode = args;
    with_mode.push_back("-t");
    CommandLine line = parse(with_mode);
    ASSERT_TRUE(line.failure) << show(args);
    EXPECT_EQ(std::string(line.failure->text()), message);
    EXPECT_EQ(line.failure->status(), 2);
    EXPECT_EQ(line.failure->report(), Failure::Report::StderrLine);
  }
  // Flags may be repeated.
  EXPECT_FALSE(parse({"--quiet", "--quiet", "--header", "--header"}).failure);
}

TEST(CommandLine, UnknownNamesAreTheWrongArgumentBlock) {
  for (std::string option : {"--", "--bogus", "--Quiet", "--quiet-", "--efermi-1", "--t", "---quiet",
                             "--help-me", "--doscars=x", "--e"}) {
    CommandLine line = parse({option, "-t"});
    ASSERT_TRUE(line.failure) << option;
    EXPECT_EQ(line.failure->report(), Failure::Report::ErrorBlock) << option;
    EXPECT_EQ(std::string(line.failure->text()), "Wrong input argument(s)");
    EXPECT_EQ(line.failure->status(), 2);
  }
}

TEST(CommandLine, TheFirstFaultCountsAndQuietIsStillSeen) {
  CommandLine line = parse({"--efermi=x", "--bogus", "--quiet", "--gaussian=0", "-t"});
  ASSERT_TRUE(line.failure);
  EXPECT_EQ(std::string(line.failure->text()), "Error! --efermi=x: not a number");
  EXPECT_TRUE(line.settings.quiet);
  EXPECT_FALSE(line.settings.gaussian);
  // A help request after a fault is not one.
  line = parse({"--bogus", "--help"});
  EXPECT_EQ(line.request, CommandLine::Request::Run);
  EXPECT_EQ(line.failure->report(), Failure::Report::ErrorBlock);
}

TEST(CommandLine, HelpAndVersionEndTheOptions) {
  EXPECT_EQ(parse({"--help"}).request, CommandLine::Request::Help);
  EXPECT_EQ(parse({"--version"}).request, CommandLine::Request::Version);
  EXPECT_EQ(parse({"--quiet", "--version", "--help"}).request, CommandLine::Request::Version);
  // What follows is not looked at.
  CommandLine line = parse({"--help", "--bogus", "--efermi=x"});
  EXPECT_EQ(line.request, CommandLine::Request::Help);
  EXPECT_FALSE(line.failure);
  // After the mode they are operands.
  EXPECT_EQ(parse({"-t", "--help"}).request, CommandLine::Request::Run);
}

TEST(CommandLine, FormsOfEveryOption) {
  std::vector<std::string> forms = pdsplit::long_option_forms();
  EXPECT_EQ(forms.size(), 14u);
  for (const std::string& form : forms) {
    std::string name = form.substr(0, form.find('='));
    CommandLine line = parse({name, "-t"});
    // Each name is known: at worst it lacks its value.
    if (line.failure) {
      EXPECT_EQ(line.failure->report(), Failure::Report::StderrLine) << form;
      EXPECT_EQ(std::string(line.failure->text()), "Error! " + name + ": needs a value, as in " + form);
    }
  }
}

}  // namespace
