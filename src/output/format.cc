#include "output/format.h"

#include "output/powers_of_ten.h"

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

// "00" to "99": two digits at a time.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

void put_pair(unsigned n, char* out) { std::memcpy(out, kDigitPairs + 2 * n, 2); }

// y (positive, below 2^64) rounded to the nearest integer, or false when
// y, carrying at most `error` of rounding, is too close to a tie to tell.
bool round_clear_of_ties(double y, double error, std::uint64_t& n) {
  auto whole = static_cast<std::uint64_t>(y);  // truncation: exact here
  double fraction = y - static_cast<double>(whole);
  if (std::fabs(fraction - 0.5) <= error) return false;
  n = whole + (fraction > 0.5);
  return true;
}

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

// The four significant digits and decimal exponent e of 0.dddd x 10^e for
// normal magnitudes away from rounding ties; false when the exact path must
// decide.
bool value_digits_fast(double a, unsigned& digits, int& exponent) {
  if (!(a >= 1e-280 && a < 1e280)) return false;
  std::uint64_t bits;
  std::memcpy(&bits, &a, sizeof bits);
  int e2 = static_cast<int>((bits >> 52) & 0x7ff) - 1023;  // floor(log2 a)
  // floor(e2 * log10(2)), possibly one too low: corrected below.
  int e10 = (e2 * 78913) >> 18;
  const double* pow10 = kPowersOfTen + kPowerRange;
  double y = a * pow10[3 - e10];
  if (y >= 10000) {
    ++e10;
    y = a * pow10[3 - e10];
  } else if (y < 1000) {
    --e10;
    y = a * pow10[3 - e10];
  }
  // Two roundings (the power and the product): y is off by at most
  // y * 2^-52, far less than this margin.
  std::uint64_t n = 0;
  if (!(y >= 1000 && y < 10000) || !round_clear_of_ties(y, 1e-8, n)) return false;
  if (n == 10000) {  // 9999.5 and up carry into the next power
    n = 1000;
    ++e10;
  }
  digits = static_cast<unsigned>(n);
  exponent = e10 + 1;
  return true;
}

}  // namespace

void format_fixed3(double x, std::size_t width, char* out) {
  if (format_fixed3_fast(x, width, out)) return;
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
  unsigned digits = 0;
  int exponent = 0;
  if (!value_digits_fast(std::fabs(x), digits, exponent)) {
    // to_chars gives d.ddde+XX with the four correctly rounded significant
    // digits; 0.dddd form moves the point one place and the exponent by one.
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x),
                             std::chars_format::scientific, 3);
    std::from_chars(buf + 7, res.ptr, exponent);  // the digits after "d.ddde+"
    if (buf[6] == '-') exponent = -exponent;
    exponent += 1;
    digits = static_cast<unsigned>((buf[0] - '0') * 1000 + (buf[2] - '0') * 100 +
                                   (buf[3] - '0') * 10 + (buf[4] - '0'));
  }
  std::memcpy(out, x < 0 ? " -0." : "  0.", 4);
  put_pair(digits / 100, out + 4);
  put_pair(digits % 100, out + 6);
  int magnitude = exponent < 0 ? -exponent : exponent;
  char sign = exponent < 0 ? '-' : '+';
  if (magnitude < 100) {
    out[8] = 'E';
    out[9] = sign;
  } else {
    // Three exponent digits take the place of the letter.
    out[8] = sign;
    out[9] = static_cast<char>('0' + magnitude / 100);
  }
  put_pair(static_cast<unsigned>(magnitude % 100), out + 10);
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
