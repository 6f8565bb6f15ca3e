#include "modes/operands.h"

#include <algorithm>

#include "base/failure.h"
#include "base/messages.h"
#include "base/text.h"
#include "modes/errors.h"
#include "output/names.h"

namespace pdsplit {

bool looks_like_atom_list(std::string_view operand) {
  if (operand == kStandardOutput) return false;  // a name: standard output
  if (operand.starts_with('+')) operand.remove_prefix(1);
  return !operand.empty() && operand.find_first_not_of("0123456789,-") == std::string_view::npos;
}

AtomOperand read_atom_operand(std::string_view operand) {
  AtomOperand list;
  if (operand.starts_with('+')) operand.remove_prefix(1);
  // One atom number, whole; false for none or more than nine digits.
  auto number = [](std::string_view text, std::int32_t& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
      return false;
    value = 0;
    for (char c : text) value = value * 10 + (c - '0');
    return true;
  };
  for (std::size_t begin = 0;;) {
    std::size_t comma = std::min(operand.find(',', begin), operand.size());
    std::string_view item = operand.substr(begin, comma - begin);
    std::size_t dash = item.find('-');
    AtomSpan span;
    if (item.empty()) {
      list.fault = "an atom is missing between commas";
    } else if (dash == std::string_view::npos) {
      if (!number(item, span.first)) list.fault = "an atom number has more than nine digits";
      span.last = span.first;
    } else if (!number(item.substr(0, dash), span.first) || !number(item.substr(dash + 1), span.last)) {
      list.fault = item.find('-', dash + 1) != std::string_view::npos || dash == 0 || dash + 1 == item.size()
                       ? "a range is two atom numbers joined by one hyphen"
                       : "an atom number has more than nine digits";
    } else if (span.first > span.last) {
      list.fault = "a range must rise";
    }
    if (!list.fault.empty()) {
      list.spans.clear();
      return list;
    }
    list.spans.push_back(span);
    if (comma == operand.size()) return list;
    begin = comma + 1;
  }
}

std::string option_text(std::string_view option) {
  return printable(trim_trailing_blanks(fixed_text(option, 5)));
}

std::vector<std::int32_t> listed_atoms(std::string_view option, std::string_view operand,
                                       std::int32_t natom) {
  if (!looks_like_atom_list(operand)) wrongindex(option, operand, "not an atom number, list or range");
  AtomOperand list = read_atom_operand(operand);
  if (!list.fault.empty()) wrongindex(option, operand, list.fault);
  std::vector<std::int32_t> atoms;
  for (const AtomSpan& span : list.spans) {
    if (span.first < 1 || span.last > natom) {
      std::string count = natom < 1    ? std::string("no atoms")
                          : natom == 1 ? std::string("1 atom (1)")
                                       : std::to_string(natom) + " atoms (1-" + std::to_string(natom) + ")";
      wrongindex(option, operand, "this DOSCAR has " + count);
    }
    for (std::int32_t atom = span.first; atom <= span.last; ++atom) atoms.push_back(atom);
  }
  return atoms;
}

std::int32_t one_atom(std::string_view option, std::string_view operand, std::int32_t natom) {
  if (!looks_like_atom_list(operand)) wrongindex(option, operand, "not an atom number");
  if (read_atom_operand(operand).fault.empty() && operand.find_first_of(",-") != std::string_view::npos)
    wrongindex(option, operand, "one atom number here, not a list or range");
  return listed_atoms(option, operand, natom).front();
}

std::string prefix_operand(std::span<const std::string> args, std::string_view fallback) {
  if (args.size() >= 3) manarg();
  if (args.size() == 2 && args[1] == kStandardOutput)
    throw error_block(std::string(text::kWrongArgument),
                      "pdsplit: " + option_text(args[0]) +
                          " -: writes several tables; standard output takes one");
  return args.size() == 2 ? given_name(args[1]) : std::string(fallback);
}

}  // namespace pdsplit
