#include "modes/operands.h"

#include <algorithm>

#include "modes/errors.h"
#include "output/names.h"

namespace pdsplit {

namespace {
bool ends_value(char c) { return c == ' ' || c == ',' || c == '/'; }
}  // namespace

AtomRead read_atom_number(std::string_view ARGV, std::int32_t& value) {
  std::size_t pos = 0, n = ARGV.size();
  while (pos < n && ARGV[pos] == ' ') ++pos;
  if (pos == n || ARGV[pos] == ',' || ARGV[pos] == '/') return AtomRead::NoValue;
  bool negative = false;
  if (ARGV[pos] == '+' || ARGV[pos] == '-') negative = ARGV[pos++] == '-';
  std::int64_t magnitude = 0;
  std::size_t digits = 0;
  for (; pos < n && !ends_value(ARGV[pos]); ++pos) {
    char c = ARGV[pos];
    if (c < '0' || c > '9') return AtomRead::Error;
    // More than nine digits cannot come from the 5-character buffer; the
    // cap only keeps the arithmetic safe for longer texts.
    if (++digits > 9) return AtomRead::Error;
    magnitude = magnitude * 10 + (c - '0');
  }
  if (digits == 0) return AtomRead::Error;  // a sign alone
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return AtomRead::Value;
}

bool looks_like_atom_list(std::string_view operand) {
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

std::string prefix_operand(std::span<const std::string> args, std::string_view fallback) {
  if (args.size() >= 3) manarg();
  return args.size() == 2 ? given_name(args[1]) : std::string(fallback);
}

}  // namespace pdsplit
