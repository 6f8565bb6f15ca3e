#include "output/format.h"

#include "base/fixed_point.h"
#include "numbers/powers_of_ten.h"

#ifdef PDSPLIT_AVX2
#include <immintrin.h>
#endif

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace pdsplit {

namespace {

// "00" to "99": two digits at a time.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

void put_pair(unsigned n, char* out) { std::memcpy(out, kDigitPairs + 2 * n, 2); }

// The four significant digits and decimal exponent e of 0.dddd x 10^e for
// normal magnitudes away from rounding ties; false when the exact path must
// decide.
inline bool value_digits_fast(double a, unsigned& digits, int& exponent) {
  if (!(a >= 1e-280 && a < 1e280)) return false;
  std::uint64_t bits;
  std::memcpy(&bits, &a, sizeof bits);
  int e2 = static_cast<int>((bits >> 52) & 0x7ff) - 1023;  // floor(log2 a)
  // floor(e2 * log10(2)) is floor(log10 a) or one less; one comparison
  // with the next power settles it (a power rounded in its last place may
  // mislead it by one, which the range check below catches).
  int e10 = (e2 * 78913) >> 18;
  e10 += a >= power_of_ten(e10 + 1).high;
  double y = a * power_of_ten(3 - e10).high;
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

// The last four columns of a value for each decimal exponent from -400 to
// 400: "E+dd" / "E-dd", or a sign and three digits beyond 99.
constexpr int kTailRange = 400;
struct ExponentTails {
  char text[2 * kTailRange + 1][4];
};
constexpr ExponentTails make_exponent_tails() {
  ExponentTails t{};
  for (int e = -kTailRange; e <= kTailRange; ++e) {
    char* out = t.text[e + kTailRange];
    int magnitude = e < 0 ? -e : e;
    char sign = e < 0 ? '-' : '+';
    if (magnitude < 100) {
      out[0] = 'E';
      out[1] = sign;
    } else {
      // Three exponent digits take the place of the letter.
      out[0] = sign;
      out[1] = static_cast<char>('0' + magnitude / 100);
    }
    out[2] = static_cast<char>('0' + magnitude / 10 % 10);
    out[3] = static_cast<char>('0' + magnitude % 10);
  }
  return t;
}
constexpr ExponentTails kExponentTails = make_exponent_tails();

}  // namespace


namespace {

void put_value(bool negative, unsigned digits, int exponent, char* out) {
  std::memcpy(out, negative ? " -0." : "  0.", 4);
  put_pair(digits / 100, out + 4);
  put_pair(digits % 100, out + 6);
  std::memcpy(out + 8, kExponentTails.text[exponent + kTailRange], 4);
}

// Zero, Infinity, NaN and the magnitudes the fast path leaves: kept out of
// line, so that the common path needs no stack frame.
[[gnu::noinline]] void format_value_exactly(double x, char* out) {
  if (!std::isfinite(x)) {
    format_special_word(x, kValueWidth, out);
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
  auto digits = static_cast<unsigned>((buf[0] - '0') * 1000 + (buf[2] - '0') * 100 +
                                      (buf[3] - '0') * 10 + (buf[4] - '0'));
  put_value(x < 0, digits, exponent + 1, out);
}

inline void format_value_inline(double x, char* out) {
  unsigned digits = 0;
  int exponent = 0;
  if (x == 0) {  // common in a DOS
    std::memcpy(out, "  0.0000E+00", kValueWidth);
    return;
  }
  if (!value_digits_fast(std::fabs(x), digits, exponent)) return format_value_exactly(x, out);
  put_value(x < 0, digits, exponent, out);
}

}  // namespace

#ifdef PDSPLIT_AVX2

namespace {

// The low 32 bits of each 64-bit lane, as four 32-bit lanes.
__attribute__((target("avx2"), always_inline)) inline __m128i low_halves(__m256i x) {
  return _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(x, _mm256_setr_epi32(0, 2, 4, 6, 0, 0, 0, 0)));
}

// format_value on x[0, 4), the arithmetic of value_digits_fast four lanes
// at a time; lanes it cannot settle (zero aside, which it writes) are
// written by the exact path.
__attribute__((target("avx2"))) void format_four_values_avx2(const double* x, char* out) {
  const __m256d v = _mm256_loadu_pd(x);
  const __m256d zero = _mm256_cmp_pd(v, _mm256_setzero_pd(), _CMP_EQ_OQ);
  // Zero goes through as 1 and comes out as 0.0000E+00.
  const __m256d a = _mm256_blendv_pd(_mm256_andnot_pd(_mm256_set1_pd(-0.0), v),
                                     _mm256_set1_pd(1.0), zero);
  __m256d ok = _mm256_and_pd(_mm256_cmp_pd(a, _mm256_set1_pd(1e-280), _CMP_GE_OQ),
                             _mm256_cmp_pd(a, _mm256_set1_pd(1e280), _CMP_LT_OQ));
  const __m128i e2 = _mm_sub_epi32(
      low_halves(_mm256_srli_epi64(_mm256_castpd_si256(a), 52)), _mm_set1_epi32(1023));
  // Lanes out of range are redone exactly; their powers just stay in the
  // table, as those of the range do: 10^-280 to 10^284.
  __m128i e10 = _mm_min_epi32(_mm_max_epi32(_mm_srai_epi32(_mm_mullo_epi32(e2, _mm_set1_epi32(78913)), 18),
                                            _mm_set1_epi32(-281)),
                              _mm_set1_epi32(280));
  static_assert(kMinPower <= -280 && kMaxPower >= 284);
  auto pow10 = [](int q) { return power_of_ten(q).high; };
  // Four loads beat a gather of four on the processors we run on.
  __m256d next = _mm256_setr_pd(pow10(_mm_extract_epi32(e10, 0) + 1), pow10(_mm_extract_epi32(e10, 1) + 1),
                                pow10(_mm_extract_epi32(e10, 2) + 1), pow10(_mm_extract_epi32(e10, 3) + 1));
  e10 = _mm_sub_epi32(e10, low_halves(_mm256_castpd_si256(_mm256_cmp_pd(a, next, _CMP_GE_OQ))));
  __m256d scale = _mm256_setr_pd(pow10(3 - _mm_extract_epi32(e10, 0)), pow10(3 - _mm_extract_epi32(e10, 1)),
                                 pow10(3 - _mm_extract_epi32(e10, 2)), pow10(3 - _mm_extract_epi32(e10, 3)));
  const __m256d y = _mm256_mul_pd(a, scale);
  ok = _mm256_and_pd(ok, _mm256_and_pd(_mm256_cmp_pd(y, _mm256_set1_pd(1000), _CMP_GE_OQ),
                                       _mm256_cmp_pd(y, _mm256_set1_pd(10000), _CMP_LT_OQ)));
  const __m256d whole = _mm256_round_pd(y, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  const __m256d fraction = _mm256_sub_pd(y, whole);
  const __m256d off_half = _mm256_andnot_pd(_mm256_set1_pd(-0.0), _mm256_sub_pd(fraction, _mm256_set1_pd(0.5)));
  ok = _mm256_and_pd(ok, _mm256_cmp_pd(off_half, _mm256_set1_pd(1e-8), _CMP_GT_OQ));
  const __m256d up = _mm256_and_pd(_mm256_cmp_pd(fraction, _mm256_set1_pd(0.5), _CMP_GT_OQ), _mm256_set1_pd(1.0));
  __m128i n = _mm256_cvttpd_epi32(_mm256_add_pd(whole, up));
  const __m128i carry = _mm_cmpeq_epi32(n, _mm_set1_epi32(10000));
  n = _mm_blendv_epi8(n, _mm_set1_epi32(1000), carry);
  const __m128i zero32 = low_halves(_mm256_castpd_si256(zero));
  n = _mm_andnot_si128(zero32, n);
  const __m128i exponent = _mm_andnot_si128(zero32, _mm_sub_epi32(_mm_add_epi32(e10, _mm_set1_epi32(1)), carry));
  // Four ASCII digits per lane, the first in the lowest byte.
  const __m128i hundreds = _mm_srli_epi32(_mm_mullo_epi32(n, _mm_set1_epi32(5243)), 19);
  const __m128i rest = _mm_sub_epi32(n, _mm_mullo_epi32(hundreds, _mm_set1_epi32(100)));
  const __m128i tens_h = _mm_srli_epi32(_mm_mullo_epi32(hundreds, _mm_set1_epi32(205)), 11);
  const __m128i tens_r = _mm_srli_epi32(_mm_mullo_epi32(rest, _mm_set1_epi32(205)), 11);
  const __m128i ten = _mm_set1_epi32(10);
  __m128i digits = _mm_or_si128(
      _mm_or_si128(tens_h, _mm_slli_epi32(_mm_sub_epi32(hundreds, _mm_mullo_epi32(tens_h, ten)), 8)),
      _mm_or_si128(_mm_slli_epi32(tens_r, 16),
                   _mm_slli_epi32(_mm_sub_epi32(rest, _mm_mullo_epi32(tens_r, ten)), 24)));
  digits = _mm_add_epi32(digits, _mm_set1_epi32(0x30303030));
  const __m128i negative = low_halves(_mm256_castpd_si256(_mm256_cmp_pd(v, _mm256_setzero_pd(), _CMP_LT_OQ)));
  std::uint32_t plain_head, minus_head;
  std::memcpy(&plain_head, "  0.", 4);
  std::memcpy(&minus_head, " -0.", 4);
  const __m128i heads = _mm_blendv_epi8(_mm_set1_epi32(static_cast<int>(plain_head)),
                                        _mm_set1_epi32(static_cast<int>(minus_head)), negative);
  // Each field: head, digits, exponent, four bytes each; the heads and
  // digits interleaved in registers.
  const __m128i low = _mm_unpacklo_epi32(heads, digits), high = _mm_unpackhi_epi32(heads, digits);
  auto tail = [&](int e) { return kExponentTails.text[e + kTailRange]; };
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), low);
  std::memcpy(out + 8, tail(_mm_extract_epi32(exponent, 0)), 4);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 12), _mm_unpackhi_epi64(low, low));
  std::memcpy(out + 20, tail(_mm_extract_epi32(exponent, 1)), 4);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 24), high);
  std::memcpy(out + 32, tail(_mm_extract_epi32(exponent, 2)), 4);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 36), _mm_unpackhi_epi64(high, high));
  std::memcpy(out + 44, tail(_mm_extract_epi32(exponent, 3)), 4);
  int redo = ~_mm256_movemask_pd(ok) & 0xf;
  while (redo != 0) {
    int i = std::countr_zero(static_cast<unsigned>(redo));
    redo &= redo - 1;
    format_value_exactly(x[i], out + 12 * i);
  }
}

}  // namespace

#endif

void format_value(double x, char* out) { format_value_inline(x, out); }

void format_values(const double* x, std::size_t count, char* out, NumberPath path) {
  std::size_t i = 0;
#ifdef PDSPLIT_AVX2
  if (path == NumberPath::Fastest && has_avx2())
    for (; i + 4 <= count; i += 4) format_four_values_avx2(x + i, out + kValueWidth * i);
#else
  (void)path;
#endif
  for (; i < count; ++i) format_value_inline(x[i], out + kValueWidth * i);
}

}  // namespace pdsplit
