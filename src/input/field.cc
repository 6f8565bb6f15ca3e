#include "input/field.h"

#include "input/extended_powers_of_ten.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <cmath>
#include <limits>
#include <string>

#include "base/vector_unit.h"

#ifdef PDSPLIT_AVX2
#include <immintrin.h>
#endif

namespace pdsplit {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Powers of ten that a double holds exactly: a product or quotient of one of
// these and an integer below 2^53 is correctly rounded (Clinger's fast path).
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,
                                   1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17,
                                   1e18, 1e19, 1e20, 1e21, 1e22};

// An exponent beyond this magnitude over- or underflows whatever the digits
// are; clamping keeps the arithmetic on it safe.
constexpr int kExponentClamp = 100000;

// Matches Inf, Infinity or NaN (any case, blanks ignored) in text[pos..).
bool read_special(std::string_view text, std::size_t pos, bool negative,
                  double& value) {
  char word[9];
  std::size_t len = 0;
  for (; pos < text.size(); ++pos) {
    char c = text[pos];
    if (c == ' ') continue;
    if (len == sizeof word) return false;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    word[len++] = c;
  }
  std::string_view w(word, len);
  if (w == "inf" || w == "infinity") {
    value = negative ? -std::numeric_limits<double>::infinity()
                     : std::numeric_limits<double>::infinity();
    return true;
  }
  if (w == "nan") {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  return false;
}

// The exact value digits x 10^exp10, correctly rounded, for digits that do
// not fit the fast path.
double exact_decimal(std::string_view digits, long exp10, bool negative) {
  char stack_text[96];
  std::string heap_text;
  char* text = stack_text;
  if (digits.size() + 24 > sizeof stack_text) {
    heap_text.resize(digits.size() + 24);
    text = heap_text.data();
  }
  std::memcpy(text, digits.data(), digits.size());
  char* end = text + digits.size();
  *end++ = 'e';
  end = std::to_chars(end, end + 22, exp10).ptr;
  double v = 0;
  auto [ptr, ec] = std::from_chars(text, end, v);
  if (ec == std::errc::result_out_of_range) {
    // The magnitude is either beyond the largest double or below half the
    // smallest one; which one is told by where the decimal point falls.
    long magnitude = exp10 + static_cast<long>(digits.size());
    v = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -v : v;
}

// Skips the leading blanks and takes an optional sign; false when the
// field holds nothing but blanks (which reads as 0).
bool begin_number(std::string_view text, std::size_t& pos, bool& negative) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos == text.size()) return false;
  if (text[pos] == '+' || text[pos] == '-') negative = text[pos++] == '-';
  return true;
}

}  // namespace

std::string_view field_text(std::string_view line, std::size_t first,
                            std::size_t width) {
  if (first >= line.size()) return {};
  return line.substr(first, width);
}

bool read_int_field(std::string_view text, std::int32_t& value) {
  std::size_t pos = 0, n = text.size();
  bool negative = false;
  if (!begin_number(text, pos, negative)) {
    value = 0;
    return true;
  }
  std::int64_t magnitude = 0;
  bool any = false;
  for (; pos < n; ++pos) {
    char c = text[pos];
    if (c == ' ') continue;
    if (!is_digit(c)) return false;
    any = true;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > std::int64_t{1} << 31) return false;
  }
  if (!any) return false;
  std::int64_t v = negative ? -magnitude : magnitude;
  if (v > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

bool read_real_field(std::string_view text, int implied_decimals,
                     double& value) {
  std::size_t pos = 0, n = text.size();
  bool negative = false;
  if (!begin_number(text, pos, negative)) {
    value = 0;
    return true;
  }

  // Mantissa. Significant digits (leading zeros dropped) go to `digits`;
  // the first 19 of them also into `mantissa` for the fast path.
  char digit_store[64];
  std::string overflow_store;
  char* digits = digit_store;
  if (n > sizeof digit_store) {
    overflow_store.resize(n);
    digits = overflow_store.data();
  }
  std::size_t ndigits = 0;
  std::uint64_t mantissa = 0;
  bool seen_point = false, any_digit = false;
  long fraction_digits = 0;
  for (; pos < n; ++pos) {
    char c = text[pos];
    if (c == ' ') continue;
    if (is_digit(c)) {
      any_digit = true;
      if (seen_point) ++fraction_digits;
      if (ndigits == 0 && c == '0') continue;
      if (ndigits < 19) mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
      digits[ndigits++] = c;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (!any_digit) {
    if (seen_point) return false;
    return read_special(text, pos, negative, value);
  }

  // Exponent: a letter and an optionally signed integer, or a bare sign and
  // an integer. Blanks are ignored here too.
  long exponent = 0;
  if (pos < n) {
    char c = text[pos];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
      ++pos;
      while (pos < n && text[pos] == ' ') ++pos;
      if (pos < n && (text[pos] == '+' || text[pos] == '-')) c = text[pos++];
    } else if (c == '+' || c == '-') {
      ++pos;
    } else {
      return false;
    }
    bool exponent_negative = c == '-';
    bool any = false;
    for (; pos < n; ++pos) {
      char e = text[pos];
      if (e == ' ') continue;
      if (!is_digit(e)) return false;
      any = true;
      if (exponent < kExponentClamp) exponent = exponent * 10 + (e - '0');
    }
    if (!any) return false;
    if (exponent_negative) exponent = -exponent;
  }

  long exp10 = exponent - (seen_point ? fraction_digits : implied_decimals);
  if (ndigits == 0) {
    value = negative ? -0.0 : 0.0;
    return true;
  }
  if (ndigits <= 19 && mantissa <= (std::uint64_t{1} << 53) && exp10 >= -22 &&
      exp10 <= 22) {
    double m = static_cast<double>(mantissa);
    double v = exp10 >= 0 ? m * kExactPowers[exp10] : m / kExactPowers[-exp10];
    value = negative ? -v : v;
    return true;
  }
  value = exact_decimal(std::string_view(digits, ndigits), exp10, negative);
  return true;
}

namespace {

// A power of ten as a 64-bit significand with its top bit set and a binary
// exponent: 10^q is about significand x 2^exponent.
struct BinaryPower {
  std::uint64_t significand = 0;
  int exponent = 0;
};

// The powers 10^q for which dddd x 10^q (dddd from 1 to 9999) is a normal
// double whatever the digits: the fast path needs no check of range.
constexpr int kFastMinPower = -307;
constexpr int kFastMaxPower = 304;

using FastPowers = std::array<BinaryPower, kFastMaxPower - kFastMinPower + 1>;

// The table is taken from the correctly rounded extended-precision
// literals: scaling by powers of two is exact, so each significand is the
// power rounded to 64 bits, off by at most half a unit.
constexpr FastPowers make_fast_powers() {
  FastPowers table{};
  if constexpr (std::numeric_limits<long double>::digits == 64) {
    for (int q = kFastMinPower; q <= kFastMaxPower; ++q) {
      long double x = kExtendedPowersOfTen[q + kExtendedPowerRange];
      int exponent = 0;
      while (x >= 0x1p96L) x *= 0x1p-32L, exponent += 32;
      while (x < 0x1p31L) x *= 0x1p32L, exponent -= 32;
      while (x >= 0x1p64L) x *= 0.5L, ++exponent;
      while (x < 0x1p63L) x *= 2.0L, --exponent;
      table[static_cast<std::size_t>(q - kFastMinPower)] = {static_cast<std::uint64_t>(x), exponent};
    }
  }
  return table;
}

constexpr FastPowers kFastPowers = make_fast_powers();

// The full 128-bit product of two 64-bit words (a compiler extension, one
// instruction on 64-bit machines).
__extension__ typedef unsigned __int128 Product128;

// dddd x 10^q as the bits of a double, correctly rounded, or false when
// that cannot be settled quickly (the caller then takes the general path).
//
// The mantissa is shifted up to a full 64-bit word and multiplied by the
// 64-bit power; the product's upper word is the exact one to within 1.5
// units of its last place (the power is off by half a unit, the lower word
// is dropped). A double keeps its 53 leading bits, and the bits below
// decide the rounding: whenever they are at least 2 units clear of the
// midpoint the error cannot change the outcome. Only the two patterns
// next to the midpoint (2 in 1024) go the long way. Every mantissa with
// every exponent in range is checked against strtod by the tests.
bool scaled_bits(unsigned mantissa, int q, std::uint64_t& bits) {
  if constexpr (std::numeric_limits<long double>::digits != 64) {
    return false;
  } else {
    const BinaryPower& power = kFastPowers[static_cast<std::size_t>(q - kFastMinPower)];
    int shift_in = std::countl_zero(static_cast<std::uint64_t>(mantissa));
    std::uint64_t w = static_cast<std::uint64_t>(mantissa) << shift_in;
    std::uint64_t upper = static_cast<std::uint64_t>(
        (static_cast<Product128>(w) * power.significand) >> 64);
    // The upper word has its top bit at 63 or 62: 11 or 10 bits below the
    // 53 that are kept.
    int dropped_bits = 10 + static_cast<int>(upper >> 63);
    std::uint64_t dropped = upper & ((std::uint64_t{1} << dropped_bits) - 1);
    std::uint64_t half = std::uint64_t{1} << (dropped_bits - 1);
    if (dropped == half || dropped == half - 1) return false;
    std::uint64_t significand = (upper >> dropped_bits) + (dropped > half);
    // value = significand x 2^binary_exponent, significand in [2^52, 2^53]
    int binary_exponent = dropped_bits + 64 + power.exponent - shift_in;
    // A significand rounded up to 2^53 carries into the exponent field.
    bits = (static_cast<std::uint64_t>(binary_exponent + 52 + 1023) << 52) +
           (significand - (std::uint64_t{1} << 52));
    return true;
  }
}

// Four ASCII bytes as one little-endian word, to compare them at once.
constexpr std::uint32_t word(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
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

}  // namespace

namespace {

// The double of +-dddd x 10^q, or false when the general path must decide
// (beyond the normal doubles, or within a hair of a rounding tie). A zero
// keeps its sign.
inline bool signed_value(unsigned mantissa, int q, bool negative, double& value) {
  std::uint64_t bits = 0;
  if (mantissa != 0 &&
      (q < kFastMinPower || q > kFastMaxPower || !scaled_bits(mantissa, q, bits)))
    return false;
  bits |= static_cast<std::uint64_t>(negative) << 63;
  std::memcpy(&value, &bits, sizeof value);
  return true;
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
  return signed_value(mantissa, q, negative, value);
}

// Eight ASCII bytes as one little-endian word.
constexpr std::uint64_t word8(const char (&s)[9]) {
  std::uint64_t w = 0;
  for (int i = 7; i >= 0; --i) w = w << 8 | static_cast<unsigned char>(s[i]);
  return w;
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
  return signed_value(mantissa, (minus != 0 ? -e : e) - 4, negative, value);
}

}  // namespace

bool read_value_fast(const char* f, double& value) {
  if constexpr (std::endian::native != std::endian::little) return false;
  return value_fast(f, value);
}

namespace {

#ifdef PDSPLIT_AVX2

// Fields p[0, 12) and p[12, 24), one per 128-bit lane (columns 12-15 of
// a lane are zero); nothing beyond p[24] is read.
__attribute__((target("avx2"), always_inline)) inline __m256i load_two_fields(const char* p) {
  __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i second = _mm_srli_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), 4);
  return _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
}

// Four value fields of the common shape "  0.ddddE+dd" at once, their
// checks and digits in the vector unit; false (with out[] in any state)
// when any of the four is of another shape or needs the general path.
__attribute__((target("avx2"))) bool read_four_values_avx2(const char* f, double* out) {
  // One field per 128-bit lane: columns 0-11 of the field, 12-15 unused.
  const __m256i a = load_two_fields(f), b = load_two_fields(f + 24);
  const __m256i plain = _mm256_setr_epi8(' ', ' ', '0', '.', 0, 0, 0, 0, 'E', '+', 0, 0, 0, 0, 0, 0,
                                         ' ', ' ', '0', '.', 0, 0, 0, 0, 'E', '+', 0, 0, 0, 0, 0, 0);
  const __m256i minus = _mm256_setr_epi8(' ', '-', '0', '.', 0, 0, 0, 0, 'E', '-', 0, 0, 0, 0, 0, 0,
                                         ' ', '-', '0', '.', 0, 0, 0, 0, 'E', '-', 0, 0, 0, 0, 0, 0);
  const __m256i digit_places = _mm256_setr_epi8(0, 0, 0, 0, -1, -1, -1, -1, 0, 0, -1, -1, 0, 0, 0, 0,
                                                0, 0, 0, 0, -1, -1, -1, -1, 0, 0, -1, -1, 0, 0, 0, 0);
  const __m256i zeros = _mm256_set1_epi8('0'), nine = _mm256_set1_epi8(9);
  // Digit pairs 4-5, 6-7 and 10-11 as numbers, then dddd and the exponent.
  const __m256i pair_weights = _mm256_setr_epi8(0, 0, 0, 0, 10, 1, 10, 1, 0, 0, 10, 1, 0, 0, 0, 0,
                                                0, 0, 0, 0, 10, 1, 10, 1, 0, 0, 10, 1, 0, 0, 0, 0);
  const __m256i word_weights = _mm256_setr_epi16(0, 0, 100, 1, 0, 1, 0, 0, 0, 0, 100, 1, 0, 1, 0, 0);

  __m256i va = _mm256_sub_epi8(a, zeros), vb = _mm256_sub_epi8(b, zeros);
  __m256i minus_a = _mm256_cmpeq_epi8(a, minus), minus_b = _mm256_cmpeq_epi8(b, minus);
  __m256i ok_a = _mm256_blendv_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(a, plain), minus_a),
                                    _mm256_cmpeq_epi8(_mm256_min_epu8(va, nine), va), digit_places);
  __m256i ok_b = _mm256_blendv_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(b, plain), minus_b),
                                    _mm256_cmpeq_epi8(_mm256_min_epu8(vb, nine), vb), digit_places);
  auto ok = static_cast<unsigned>(_mm256_movemask_epi8(ok_a)) &
            static_cast<unsigned>(_mm256_movemask_epi8(ok_b));
  if ((ok & 0x0fff0fffu) != 0x0fff0fffu) return false;
  // Per lane the 32-bit numbers [0, dddd, exponent, 0]; gathered in
  // registers into the four mantissas and the four exponents.
  const __m256i pick = _mm256_setr_epi32(1, 5, 2, 6, 0, 0, 0, 0);
  const __m128i numbers_a = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(
      _mm256_madd_epi16(_mm256_maddubs_epi16(va, pair_weights), word_weights), pick));
  const __m128i numbers_b = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(
      _mm256_madd_epi16(_mm256_maddubs_epi16(vb, pair_weights), word_weights), pick));
  const __m128i mantissas = _mm_unpacklo_epi64(numbers_a, numbers_b);
  const __m128i exponents = _mm_unpackhi_epi64(numbers_a, numbers_b);
  // Bits 1 and 9 of each lane: a minus before the digits, before the exponent.
  std::uint64_t signs = static_cast<std::uint32_t>(_mm256_movemask_epi8(minus_a)) |
                        static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(minus_b))) << 32;
  auto bit = [&](int at) { return static_cast<int>((signs >> at) & 1); };
  const __m128i exponent_minus = _mm_setr_epi32(-bit(9), -bit(25), -bit(41), -bit(57));
  const __m128i q = _mm_sub_epi32(
      _mm_sub_epi32(_mm_xor_si128(exponents, exponent_minus), exponent_minus), _mm_set1_epi32(4));
  // dddd x 10^q with |q| <= 22 is one exact multiplication or division,
  // four at a time; the few fields beyond take the scalar way.
  int beyond = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(_mm_abs_epi32(q), _mm_set1_epi32(22))));
  // All four beyond: the scalar path alone is quicker.
  if (beyond == 0xf) return false;
  {
    // Four loads beat a gather of four on the processors we run on.
    const __m128i power = _mm_min_epi32(_mm_abs_epi32(q), _mm_set1_epi32(22));
    const __m256d p = _mm256_setr_pd(
        kExactPowers[_mm_extract_epi32(power, 0)], kExactPowers[_mm_extract_epi32(power, 1)],
        kExactPowers[_mm_extract_epi32(power, 2)], kExactPowers[_mm_extract_epi32(power, 3)]);
    const __m256d m = _mm256_cvtepi32_pd(mantissas);
    const __m256i scale_up = _mm256_cvtepi32_epi64(_mm_cmpgt_epi32(q, _mm_set1_epi32(-1)));
    __m256d v = _mm256_blendv_pd(_mm256_div_pd(m, p), _mm256_mul_pd(m, p), _mm256_castsi256_pd(scale_up));
    const __m256i value_minus = _mm256_setr_epi64x(
        static_cast<long long>(static_cast<std::uint64_t>(bit(1)) << 63),
        static_cast<long long>(static_cast<std::uint64_t>(bit(17)) << 63),
        static_cast<long long>(static_cast<std::uint64_t>(bit(33)) << 63),
        static_cast<long long>(static_cast<std::uint64_t>(bit(49)) << 63));
    _mm256_storeu_pd(out, _mm256_or_pd(v, _mm256_castsi256_pd(value_minus)));
  }
  if (beyond == 0) return true;
  alignas(16) std::int32_t m[4], qs[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(m), mantissas);
  _mm_store_si128(reinterpret_cast<__m128i*>(qs), q);
  while (beyond != 0) {
    int i = std::countr_zero(static_cast<unsigned>(beyond));
    beyond &= beyond - 1;
    if (!signed_value(static_cast<unsigned>(m[i]), qs[i], bit(16 * i + 1) != 0, out[i]))
      return false;
  }
  return true;
}

#endif

}  // namespace

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
      if (read_four_values_avx2(first + 12 * i, out + i)) {
        i += 4;
        continue;
      }
      // Four of another shape (three-digit exponents, say): those four
      // one at a time before the vector unit is tried again.
      one_by_one = i + 4;
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
