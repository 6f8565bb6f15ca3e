// The command line: long options (settings) anywhere, the mode option and
// its operands in their order.
//
//   pdsplit [--setting ...] MODE [OPERANDS] [OUTPUT]
//
// Every argument that begins with "--" is a long option, `--name` or
// `--name=value`, before the mode, after it or between its operands, as
// GNU tools read them; "--" alone ends them, and every argument after it,
// whatever it begins with, is the mode, an operand or a name.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/settings.h"

namespace pdsplit {

struct CommandLine {
  enum class Request { Run, Help, Version };
  // --help or --version, whichever comes first (before any fault), ends
  // the long options: whatever follows is not looked at.
  Request request = Request::Run;
  Settings settings;
  // The mode option and its operands, in order, without the long options.
  std::vector<std::string> rest;
  // The first fault of the long options: an unknown name (the "Wrong input
  // argument(s)" error block), or a known option given a bad value, no
  // value, a value it does not take, or a value a second time (one line on
  // standard error), or --spin=sum with --down-negative. Each ends the run
  // with status 2. The options after a fault are only looked at for --quiet.
  std::optional<Failure> failure;
};

CommandLine parse_command_line(std::span<const std::string> args);

// Every long option in the form the usage shows it ("--doscar=PATH",
// "--quiet"), in the parser's order.
std::vector<std::string> long_option_forms();

}  // namespace pdsplit
