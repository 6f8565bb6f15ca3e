#include "numbers/fast_fields.h"

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/vector_unit.h"
#include "numbers/four_values_avx2.h"
#include "numbers/powers_of_ten.h"

namespace pdsplit {

namespace {

// Four ASCII bytes as one little-endian word, to compare them at once.
constexpr std::uint32_t word(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

// Eight ASCII bytes as one little-endian word.
constexpr std::uint64_t word8(const char (&s)[9]) {
  std::uint64_t w = 0;
  for (int i = 7; i >= 0; --i) w = w << 8 | static_cast<unsigned char>(s[i]);
  return w;
}

// The four ASCII digits of `w` (first digit in the lowest byte) as a
// number, or false when any byte is no digit. All four at once: subtracting
// '0' leaves values 0-9 in each byte, and adding 0x76 sets a byte's top bit
// exactly when it held 10 or more (or wrapped below '0').
bool four_digits(std::uint32_t w, unsigned& n) {
  std::uint32_t x = w - 0x30303030u;
  if (((x | (x + 0x76767676u)) & 0x80808080u) != 0) return false;
  x = (x * 10 + (x >> 8)) & 0x00ff00ffu;  // two 2-digit numbers
  n = (x & 0xff) * 100 + (x >> 16);
  return true;
}

// +-dddd x 10^q, correctly rounded, by the arithmetic of the four-at-a-time
// reader one field at a time, with the product split by hand where that
// one fuses it; false when the library must decide (the power beyond the
// table, or the value within a hair of a rounding boundary).
//
// high = head + rest, head its leading 39 bits: dddd (below 2^14) times
// either is exact. The sum of the three products is the exact one to
// within 2^-90 of itself (the rounding of the two small ones), and the sum
// rounds as the exact product does whenever what its rounding left out is
// that far from half a unit in the last place. A zero keeps its sign.
bool scaled_value(unsigned mantissa, int q, bool negative, double& value) {
  // Where doubles are computed in a wider format and rounded twice (x87),
  // the library decides every field.
  if (FLT_EVAL_METHOD != 0 || q < kMinPower || q > kMaxPower) return false;
  const PowerOfTen& power = power_of_ten(q);
  double m = mantissa;
  std::uint64_t bits = std::bit_cast<std::uint64_t>(power.high) & ~std::uint64_t{0x3fff};
  double head = std::bit_cast<double>(bits);
  double product = m * head;
  double tail = m * (power.high - head) + m * power.low;
  double v = product + tail;
  double left_out = tail - (v - product);
  if (left_out != 0) {
    bits = std::bit_cast<std::uint64_t>(v);
    // 2^E for v = 1.f x 2^E; a power of two has its boundary below nearer.
    double unit = std::bit_cast<double>(bits & 0x7ff0000000000000u);
    if ((bits & 0x000fffffffffffffu) == 0 || !(std::fabs(left_out) < unit * (0x1p-53 - 0x1p-88)))
      return false;
  }
  value = negative ? -v : v;
  return true;
}

// Text the library reads, from 12 columns of the common shape or the rarer
// one: "-0.ddddE-dd" as it stands, "-0.dddd-ddd" with the letter put back.
// Beyond the doubles the general path decides.
bool value_by_library(const char* f, bool negative, bool three_digits, double& value) {
  const char* first = f + (negative ? 1 : 2);
  if (!three_digits) return std::from_chars(first, f + 12, value).ec == std::errc{};
  char text[12];
  std::memcpy(text, f + 1, 7);
  text[7] = 'e';
  std::memcpy(text + 8, f + 8, 4);
  return std::from_chars(text + (negative ? 0 : 1), text + 12, value).ec == std::errc{};
}

// The rarer shape of a value: a sign and three exponent digits in place of
// the letter, "  0.dddd-ddd".
bool value_three_digit_exponent(const char* f, bool negative, double& value) {
  std::uint32_t digits_word, tail;
  std::memcpy(&digits_word, f + 4, 4);
  std::memcpy(&tail, f + 8, 4);
  unsigned mantissa = 0, e = 0;
  char sign = static_cast<char>(tail);
  // The three digits are read as four with a '0' in place of the sign.
  if (!four_digits(digits_word, mantissa) || !four_digits((tail & 0xffffff00u) | '0', e) ||
      (sign != '-' && sign != '+'))
    return false;
  int q = (sign == '-' ? -static_cast<int>(e) : static_cast<int>(e)) - 4;
  return scaled_value(mantissa, q, negative, value) ||
         value_by_library(f, negative, true, value);
}

inline bool value_fast(const char* f, double& value) {
  std::uint32_t head;
  std::uint64_t body;
  std::memcpy(&head, f, 4);
  std::memcpy(&body, f + 4, 8);
  bool negative = head == word(' ', '-', '0', '.');
  if (!negative && head != word(' ', ' ', '0', '.')) return false;
  // "ddddE+dd" checked at once: less the smallest byte each place allows,
  // a digit is 0-9, the letter 0 and the sign 0 ('+') or 2 ('-'). A byte
  // that wrapped below zero has its top bit set, and so has one that
  // exceeds its limit once 0x76 (digits) or 0x7f (letter, sign) is added.
  std::uint64_t x = body - word8("0000E+00");
  std::uint64_t minus = x & (std::uint64_t{2} << 40);
  std::uint64_t y = x ^ minus;
  constexpr std::uint64_t kLimits = 0x76767f7f76767676u;
  if (((y | (y + kLimits)) & 0x8080808080808080u) != 0)
    return value_three_digit_exponent(f, negative, value);
  auto digits = static_cast<std::uint32_t>(x);
  digits = (digits * 10 + (digits >> 8)) & 0x00ff00ffu;  // two 2-digit numbers
  unsigned mantissa = (digits & 0xff) * 100 + (digits >> 16);
  auto e = static_cast<int>(((x >> 48) & 0xff) * 10 + (x >> 56));
  // 0.dddd x 10^e is dddd x 10^(e - 4).
  return scaled_value(mantissa, (minus != 0 ? -e : e) - 4, negative, value) ||
         value_by_library(f, negative, false, value);
}

}  // namespace

bool read_value_fast(const char* f, double& value) {
  if constexpr (std::endian::native != std::endian::little) return false;
  return value_fast(f, value);
}

std::size_t read_value_fields(const char* first, std::size_t count, double* out,
                              NumberPath path) {
  if constexpr (std::endian::native != std::endian::little) return 0;
  std::size_t i = 0;
#ifdef PDSPLIT_AVX2
  bool vector = path == NumberPath::Fastest && has_avx2();
#else
  (void)path;
#endif
  while (i < count) {
    std::size_t one_by_one = count;
#ifdef PDSPLIT_AVX2
    if (vector && i + 4 <= count) {
      i += 4 * read_value_groups_avx2(first + 12 * i, (count - i) / 4, out + i);
      // Four of another shape (three-digit exponents, say): those four
      // one at a time before the vector unit is tried again.
      if (i + 4 <= count) one_by_one = i + 4;
      else if (i == count) break;
    }
#endif
    for (; i < one_by_one; ++i)
      if (!value_fast(first + 12 * i, out[i])) return i;
  }
  return i;
}

bool read_energy_fast(const char* f, double& value) {
  constexpr int kPoint = 7;  // F11.3: the decimal point in column 8
  if (f[kPoint] != '.') return false;
  int i = 0;
  while (i < kPoint && f[i] == ' ') ++i;
  bool negative = i < kPoint && f[i] == '-';
  if (negative) ++i;
  if (i == kPoint) return false;
  std::uint64_t m = 0;
  for (; i < kPoint; ++i) {
    unsigned digit = static_cast<unsigned>(f[i] - '0');
    if (digit > 9) return false;
    m = m * 10 + digit;
  }
  for (i = kPoint + 1; i < 11; ++i) {
    unsigned digit = static_cast<unsigned>(f[i] - '0');
    if (digit > 9) return false;
    m = m * 10 + digit;
  }
  // At most ten digits: exact as a double, and 1000 is an exact power.
  double v = static_cast<double>(m) / 1000.0;
  value = negative ? -v : v;
  return true;
}

}  // namespace pdsplit
