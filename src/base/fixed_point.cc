#include "base/fixed_point.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace pdsplit {

namespace {

void right_align(const char* text, std::size_t len, std::size_t width,
                 char* out) {
  std::memset(out, ' ', width - len);
  std::memcpy(out + width - len, text, len);
}

void fill(char c, std::size_t width, char* out) { std::memset(out, c, width); }

void put_digits(std::uint64_t n, char* end, int count) {
  for (int i = 0; i < count; ++i, n /= 10) *--end = static_cast<char>('0' + n % 10);
}

// F-form with three decimals for values that fit the common widths; false
// when the exact path must decide.
bool format_fixed3_fast(double x, std::size_t width, char* out) {
  double a = std::fabs(x);
  if (!(a < 1e9)) return false;
  double y = a * 1000.0;  // one rounding: off by at most y * 2^-53
  std::uint64_t n = 0;
  if (!round_clear_of_ties(y, y * 4e-16 + 1e-300, n)) return false;
  bool negative = x < 0 && n != 0;
  std::uint64_t whole = n / 1000;
  int whole_digits = 1;
  for (std::uint64_t w = whole; w >= 10; w /= 10) ++whole_digits;
  std::size_t len = static_cast<std::size_t>(whole_digits) + 4 + negative;
  if (len > width) return false;
  std::memset(out, ' ', width - len);
  char* end = out + width;
  put_digits(n % 1000, end, 3);
  end[-4] = '.';
  put_digits(whole, end - 4, whole_digits);
  if (negative) end[-5 - whole_digits] = '-';
  return true;
}

}  // namespace

// Infinity and NaN as the widest word that fits; false when none does.
bool format_special_word(double x, std::size_t width, char* out) {
  const char* word;
  if (std::isnan(x)) {
    word = "NaN";
  } else if (width >= 9 || (width == 8 && x > 0)) {
    word = x > 0 ? "Infinity" : "-Infinity";
  } else {
    word = x > 0 ? "Inf" : "-Inf";
  }
  std::size_t len = std::strlen(word);
  if (len > width) return false;
  right_align(word, len, width, out);
  return true;
}

void format_fixed3(double x, std::size_t width, char* out) {
  if (format_fixed3_fast(x, width, out)) return;
  if (!std::isfinite(x)) {
    if (!format_special_word(x, width, out)) fill('*', width, out);
    return;
  }
  // Anything of 1e17 or more cannot fit the widths we use; cutting it off
  // here keeps the conversion buffer small.
  if (std::fabs(x) >= 1e17) {
    fill('*', width, out);
    return;
  }
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, 3);
  char* begin = buf;
  std::size_t len = static_cast<std::size_t>(res.ptr - buf);
  if (buf[0] == '-') {
    bool all_zero = true;
    for (char* p = buf + 1; p < res.ptr; ++p) all_zero &= *p == '0' || *p == '.';
    if (all_zero) {
      ++begin;
      --len;
    }
  }
  if (len > width) {
    fill('*', width, out);
    return;
  }
  right_align(begin, len, width, out);
}

void format_fixed3_signed(double x, std::size_t width, char* out) {
  format_fixed3(x, width, out);
  if (!std::signbit(x) || std::isnan(x) || std::memchr(out, '-', width) != nullptr) return;
  std::size_t first = 0;
  while (first < width && out[first] == ' ') ++first;
  if (first == 0 || out[first] == '*') {
    fill('*', width, out);
    return;
  }
  out[first - 1] = '-';
}

void format_int(long long x, std::size_t width, char* out) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, x);
  std::size_t len = static_cast<std::size_t>(res.ptr - buf);
  if (len > width) {
    fill('*', width, out);
    return;
  }
  right_align(buf, len, width, out);
}

}  // namespace pdsplit
