#include "doscar/columns.h"

#include <cstddef>

#include "numbers/field.h"
#include "doscar/value_line.h"

namespace pdsplit {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether a field that reads as a number has an exponent.
bool has_exponent(std::string_view field) {
  bool digit_seen = false;
  for (char c : field) {
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') return true;
    if ((c == '+' || c == '-') && digit_seen) return true;
    digit_seen |= is_digit(c);
  }
  return false;
}

}  // namespace

std::int32_t count_value_fields(std::string_view line) {
  std::int32_t count = 0;
  for (std::size_t at = 11; at + 12 <= line.size(); at += 12) {
    std::string_view field = line.substr(at, 12);
    double value = 0;
    if (!read_real_field(field, kValueDecimals, value) || !has_exponent(field)) break;
    ++count;
  }
  return count;
}

std::int32_t count_columns(std::string_view line) {
  constexpr std::size_t kWidth = 395;
  std::string_view seen = line.substr(0, kWidth);
  std::int32_t count = 0;
  for (char c : seen) count += c == 'E';
  // Values below 1e-99 are written as "0.dddd-ddd", without the letter.
  for (std::size_t end = 23; end <= kWidth && end <= seen.size(); end += 12) {
    const char* f = seen.data() + end - 5;
    if (is_digit(f[0]) && (f[1] == '+' || f[1] == '-') && is_digit(f[2]) &&
        is_digit(f[3]) && is_digit(f[4]))
      ++count;
  }
  return count;
}

}  // namespace pdsplit
