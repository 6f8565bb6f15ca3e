// The command-line parser: each argument list and what it makes of it
// (request, settings, where the mode's arguments begin). The faults of the
// options and their messages are met through whole runs (options_test).
#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using pdsplit::CommandLine;
using Args = std::vector<std::string>;

// The parse of `args` as one line: request, failure, the settings given,
// "meaning" when an option needs the columns' meaning, then "|" and the
// mode's arguments.
std::string describe(const Args& args) {
  CommandLine c = pdsplit::parse_command_line(args);
  const pdsplit::Settings& s = c.settings;
  std::ostringstream o;
  const char* requests[] = {"", "help ", "version "};
  const char* groupings[] = {"lm", "l", "d-split", "sum"};
  o << requests[static_cast<int>(c.request)] << (c.failure ? "fails " : "");
  if (s.doscar) o << "doscar=" << *s.doscar << ' ';
  if (s.structure) o << "structure=" << *s.structure << ' ';
  if (s.efermi) o << "efermi=" << *s.efermi << ' ';
  if (s.orbitals) o << "orbitals=" << groupings[static_cast<int>(*s.orbitals)] << ' ';
  if (s.window_min || s.window_max)
    o << "window=" << (s.window_min ? std::to_string(*s.window_min) : "") << ':'
      << (s.window_max ? std::to_string(*s.window_max) : "") << ' ';
  if (s.gaussian) o << "gaussian=" << *s.gaussian << ' ';
  const std::pair<bool, const char*> flags[] = {
      {s.noncollinear, "noncollinear"}, {s.quiet, "quiet"},       {s.header, "header"},
      {s.down_negative, "down-negative"}, {s.moments, "moments"}, {s.cumulative, "cumulative"},
      {s.needs_column_meaning(), "meaning"}};
  for (auto [on, name] : flags)
    if (on) o << name << ' ';
  o << '|';
  for (const std::string& a : c.rest) o << ' ' << a;
  return o.str();
}

TEST(CommandLine, EachArgumentListAndItsParse) {
  const std::pair<Args, std::string> rows[] = {
      {{}, "|"},
      {{"-p", "2", "--quiet"}, "| -p 2 --quiet"},
      {{"-x", "--doscar=a"}, "| -x --doscar=a"},
      {{" --quiet", ""}, "|  --quiet "},
      {{"-", "--"}, "| - --"},
      {{"--quiet"}, "quiet |"},
      {{"--quiet", "--doscar=run/DOSCAR", "-s2", "1", "--efermi=3"},
       "doscar=run/DOSCAR quiet | -s2 1 --efermi=3"},
      {{"--doscar=a b/DOSCAR.gz", "--structure=../POSCAR", "--efermi=-4.25", "--noncollinear",
        "--quiet", "--orbitals=d-split", "--header", "--down-negative", "--window=-10:2.5",
        "--moments", "--gaussian=0.05", "--cumulative", "-a"},
       "doscar=a b/DOSCAR.gz structure=../POSCAR efermi=-4.25 orbitals=d-split "
       "window=-10.000000:2.500000 gaussian=0.05 noncollinear quiet header down-negative moments "
       "cumulative meaning | -a"},
      {{"--orbitals=lm"}, "orbitals=lm meaning |"},
      {{"--orbitals=l"}, "orbitals=l meaning |"},
      {{"--orbitals=sum", "--efermi=5"}, "efermi=5 orbitals=sum meaning |"},
      {{"--efermi=-5.", "--window=:5"}, "efermi=-5 window=:5.000000 |"},
      {{"--efermi=.5", "--window=-5:"}, "efermi=0.5 window=-5.000000: |"},
      {{"--efermi=+3", "--window=:"}, "efermi=3 |"},
      {{"--efermi=1e2", "--window=1:1"}, "efermi=100 window=1.000000:1.000000 |"},
      {{"--efermi=-1.5E-1", "--gaussian=1e-3"}, "efermi=-0.15 gaussian=0.001 |"},
      {{"--efermi=0", "--noncollinear", "--cumulative", "--doscar=x", "--structure=y"},
       "doscar=x structure=y efermi=0 noncollinear cumulative |"},
      {{"--quiet", "--quiet", "--header", "--header"}, "quiet header meaning |"},
      {{"--down-negative"}, "down-negative meaning |"},
      {{"--moments"}, "moments meaning |"},
      // --help and --version end the options; what follows is not looked at.
      {{"--help"}, "help |"},
      {{"--quiet", "--version", "--help"}, "version quiet |"},
      {{"--help", "--bogus", "--efermi=x"}, "help |"},
      {{"-t", "--help"}, "| -t --help"},
      // After a fault, a help request is none.
      {{"--bogus", "--help"}, "fails |"},
  };
  for (const auto& [args, parse] : rows) {
    std::string shown;
    for (const std::string& a : args) shown += "[" + a + "]";
    EXPECT_EQ(describe(args), parse) << shown;
  }
}

TEST(CommandLine, EveryOptionFormIsAKnownName) {
  for (const std::string& form : pdsplit::long_option_forms()) {
    std::string name = form.substr(0, form.find('='));
    CommandLine c = pdsplit::parse_command_line(Args{name, "-t"});
    // At worst it lacks its value: a fault of a known option, not the block.
    if (c.failure) {
      EXPECT_EQ(c.failure->report(), pdsplit::Failure::Report::StderrLine) << form;
    }
  }
}

}  // namespace
