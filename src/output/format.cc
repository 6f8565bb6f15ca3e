#include "output/format.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace pdsplit {

namespace {

void right_align(const char* text, std::size_t len, std::size_t width,
                 char* out) {
  std::memset(out, ' ', width - len);
  std::memcpy(out + width - len, text, len);
}

void fill(char c, std::size_t width, char* out) { std::memset(out, c, width); }

// Infinity and NaN as the widest word that fits; false when none does.
bool format_special(double x, std::size_t width, char* out) {
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

}  // namespace

void format_fixed3(double x, std::size_t width, char* out) {
  if (!std::isfinite(x)) {
    if (!format_special(x, width, out)) fill('*', width, out);
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

void format_value(double x, char* out) {
  if (!std::isfinite(x)) {
    format_special(x, kValueWidth, out);
    return;
  }
  if (x == 0) {
    std::memcpy(out, "  0.0000E+00", kValueWidth);
    return;
  }
  // to_chars gives d.ddde+XX with the four correctly rounded significant
  // digits; 0.dddd form moves the point one place and the exponent by one.
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x),
                           std::chars_format::scientific, 3);
  int exponent = 0;
  std::from_chars(buf + 7, res.ptr, exponent);  // the digits after "d.ddde+"
  if (buf[6] == '-') exponent = -exponent;
  exponent += 1;
  char* p = out;
  *p++ = ' ';
  *p++ = x < 0 ? '-' : ' ';
  *p++ = '0';
  *p++ = '.';
  *p++ = buf[0];
  *p++ = buf[2];
  *p++ = buf[3];
  *p++ = buf[4];
  int magnitude = exponent < 0 ? -exponent : exponent;
  char sign = exponent < 0 ? '-' : '+';
  if (magnitude < 100) {
    *p++ = 'E';
    *p++ = sign;
  } else {
    // Three exponent digits take the place of the letter.
    *p++ = sign;
    *p++ = static_cast<char>('0' + magnitude / 100);
  }
  *p++ = static_cast<char>('0' + magnitude / 10 % 10);
  *p++ = static_cast<char>('0' + magnitude % 10);
}

}  // namespace pdsplit

namespace pdsplit {

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
