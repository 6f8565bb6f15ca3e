#include "modes/operands.h"

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

std::string prefix_operand(std::span<const std::string> args, std::string_view fallback) {
  if (args.size() >= 3) manarg();
  return args.size() == 2 ? given_name(args[1]) : std::string(fallback);
}

}  // namespace pdsplit
