#include "driver/command_line.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "base/messages.h"
#include "base/text.h"

namespace pdsplit {

namespace {

// A known option given what it cannot take: one line on standard error,
// status 2, nothing done.
[[noreturn]] void fail(std::string_view argument, std::string_view what) {
  throw Failure(Failure::Report::StderrLine, kExitUsage,
                "Error! " + printable(argument) + ": " + std::string(what));
}

// A decimal number, as a user types one: digits, a point, a sign, an
// exponent; no blanks, no hexadecimal, no infinity.
bool read_number(std::string_view text, double& value) {
  if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string_view::npos)
    return false;
  std::string copy(text);
  char* end = nullptr;
  value = std::strtod(copy.c_str(), &end);
  return end == copy.c_str() + copy.size() && std::isfinite(value);
}

double number(std::string_view argument, std::string_view value) {
  double x = 0;
  if (!read_number(value, x)) fail(argument, "not a number");
  return x;
}

void read_window(std::string_view argument, std::string_view value, Settings& s) {
  std::size_t colon = value.find(':');
  if (colon == std::string_view::npos) fail(argument, "not EMIN:EMAX (either may be empty)");
  std::string_view low = value.substr(0, colon), high = value.substr(colon + 1);
  auto end = [&](std::string_view text) -> std::optional<double> {
    if (text.empty()) return std::nullopt;
    double x = 0;
    if (!read_number(text, x)) fail(argument, "\"" + printable(text) + "\" is not a number");
    return x;
  };
  s.window_min = end(low);
  s.window_max = end(high);
  if (s.window_min && s.window_max && *s.window_min > *s.window_max)
    fail(argument, "EMIN is above EMAX");
}

SpinChannels channels(std::string_view argument, std::string_view value) {
  if (value == "sum") return SpinChannels::Sum;
  if (value == "up") return SpinChannels::Up;
  if (value == "down") return SpinChannels::Down;
  fail(argument, "unknown choice (sum, up or down)");
}

Orbitals grouping(std::string_view argument, std::string_view value) {
  if (value == "lm") return Orbitals::Lm;
  if (value == "l") return Orbitals::L;
  if (value == "d-split") return Orbitals::DSplit;
  if (value == "sum") return Orbitals::Sum;
  fail(argument, "unknown grouping (lm, l, d-split or sum)");
}

// The options that take a value, with the form the value takes.
struct ValueOption {
  std::string_view name;
  std::string_view form;
};
constexpr ValueOption kValueOptions[] = {
    {"--doscar", "--doscar=PATH"},         {"--structure", "--structure=PATH"},
    {"--efermi", "--efermi=E"},            {"--orbitals", "--orbitals=lm|l|d-split|sum"},
    {"--window", "--window=EMIN:EMAX"},    {"--gaussian", "--gaussian=WIDTH"},
    {"--spin", "--spin=sum|up|down"},
};

constexpr std::string_view kFlags[] = {"--quiet",   "--noncollinear",   "--header",
                                       "--down-negative", "--moments", "--cumulative",
                                       "--help",    "--version"};

// Applies one value option.
void apply_value(std::string_view argument, std::string_view name, std::string_view value,
                 Settings& s) {
  if (name == "--doscar") {
    s.doscar = std::string(value);
  } else if (name == "--structure") {
    s.structure = std::string(value);
  } else if (name == "--efermi") {
    s.efermi = number(argument, value);
  } else if (name == "--orbitals") {
    s.orbitals = grouping(argument, value);
  } else if (name == "--window") {
    read_window(argument, value, s);
  } else if (name == "--gaussian") {
    double width = number(argument, value);
    if (!(width > 0)) fail(argument, "the width must be above 0");
    s.gaussian = width;
  } else if (name == "--spin") {
    s.spin = channels(argument, value);
  }
}

// Reads one long option into `line`.
// `seen`: the value options read so far, each of which may come once.
void read_option(std::string_view argument, CommandLine& line,
                 std::vector<std::string_view>& seen) {
  std::size_t equals = argument.find('=');
  std::string_view name = argument.substr(0, equals);
  bool has_value = equals != std::string_view::npos;
  std::string_view value = has_value ? argument.substr(equals + 1) : std::string_view();

  for (const ValueOption& option : kValueOptions) {
    if (name != option.name) continue;
    if (value.empty()) fail(argument, "needs a value, as in " + std::string(option.form));
    if (std::find(seen.begin(), seen.end(), option.name) != seen.end())
      fail(argument, "given a second time");
    seen.push_back(option.name);
    apply_value(argument, name, value, line.settings);
    return;
  }
  for (std::string_view flag : kFlags) {
    if (name != flag) continue;
    if (has_value) fail(argument, "takes no value");
    Settings& s = line.settings;
    if (name == "--quiet") s.quiet = true;
    else if (name == "--noncollinear") s.noncollinear = true;
    else if (name == "--header") s.header = true;
    else if (name == "--down-negative") s.down_negative = true;
    else if (name == "--moments") s.moments = true;
    else if (name == "--cumulative") s.cumulative = true;
    else if (name == "--help") line.request = CommandLine::Request::Help;
    else if (name == "--version") line.request = CommandLine::Request::Version;
    return;
  }
  throw error_block(std::string(text::kWrongArgument));
}

bool is_long_option(const std::string& argument) {
  return argument.size() >= 2 && argument[0] == '-' && argument[1] == '-';
}

}  // namespace

std::vector<std::string> long_option_forms() {
  std::vector<std::string> forms;
  for (const ValueOption& option : kValueOptions) forms.emplace_back(option.form);
  for (std::string_view flag : kFlags) forms.emplace_back(flag);
  return forms;
}

CommandLine parse_command_line(std::span<const std::string> args) {
  CommandLine line;
  std::vector<std::string_view> seen;
  bool settings_ended = false;
  for (const std::string& argument : args) {
    if (settings_ended || !is_long_option(argument)) {
      line.rest.push_back(argument);
      continue;
    }
    if (argument == "--") {
      settings_ended = true;
      continue;
    }
    if (line.failure) {
      if (argument == "--quiet") line.settings.quiet = true;
      continue;
    }
    try {
      read_option(argument, line, seen);
    } catch (const Failure& failure) {
      line.failure = failure;
    }
    if (line.request != CommandLine::Request::Run) return line;
  }
  // The sum of both channels has no spin-down column to flip.
  if (!line.failure && line.settings.spin == SpinChannels::Sum && line.settings.down_negative)
    line.failure = Failure(Failure::Report::StderrLine, kExitUsage,
                           "Error! --spin=sum: leaves no spin-down column for --down-negative");
  return line;
}

}  // namespace pdsplit
