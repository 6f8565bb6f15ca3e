#include "input/columns.h"

#include <cstddef>

namespace pdsplit {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

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
