#include "numbers/four_values_avx2.h"

#ifdef PDSPLIT_AVX2

#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "numbers/fast_fields.h"
#include "numbers/powers_of_ten.h"

namespace pdsplit {

namespace {

// Fields p[0, 12) and p[12, 24), one per 128-bit lane (columns 12-15 of
// a lane are zero); nothing beyond p[24] is read.
__attribute__((target("avx2"), always_inline)) inline __m256i load_two_fields(const char* p) {
  __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i second = _mm_srli_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), 4);
  return _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
}

// What a lane must hold where (an exact character, or a digit), and the
// weights that turn its digit pairs into numbers.
struct Shaped {
  __m256i plain, minus, digit_places, pair_weights;
};

// Per lane of `x`, the common shape or, where column 8 holds no E, the
// three-digit one; in `lanes` bits 0 and 16 for the lanes of that shape.
__attribute__((target("avx2"), always_inline)) inline Shaped shaped(__m256i x, const Shaped& common,
                                                                    const Shaped& three,
                                                                    unsigned& lanes) {
  // Column 8 of each lane spread over the lane.
  const __m256i no_letter = _mm256_xor_si256(
      _mm256_cmpeq_epi8(_mm256_shuffle_epi8(x, _mm256_set1_epi8(8)), _mm256_set1_epi8('E')),
      _mm256_set1_epi8(-1));
  lanes = static_cast<unsigned>(_mm256_movemask_epi8(no_letter)) & 0x00010001u;
  return Shaped{_mm256_blendv_epi8(common.plain, three.plain, no_letter),
                _mm256_blendv_epi8(common.minus, three.minus, no_letter),
                _mm256_blendv_epi8(common.digit_places, three.digit_places, no_letter),
                _mm256_blendv_epi8(common.pair_weights, three.pair_weights, no_letter)};
}

// Four fields read: their mantissas dddd and powers q (the value is
// dddd x 10^q), and in bit i whether field i is negative.
struct FourFields {
  __m128i mantissas, q;
  int negative;
};

// The checks and digits of four fields, one per 128-bit lane: columns 0-11
// of the field, 12-15 unused. False when any field is of another shape.
// With kThreeDigitsToo a lane may also hold the rarer shape "  0.dddd-ddd",
// a sign and three exponent digits in place of the letter: told apart by
// column 8, at the cost of a few more steps, so that shape is tried only
// where the common one failed.
template <bool kThreeDigitsToo>
__attribute__((target("avx2"), always_inline)) inline bool read_digits(const char* f, FourFields& fields) {
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
  // Words 4 and 5: the hundreds (zero in the common shape) and the tens and units.
  const __m256i word_weights = _mm256_setr_epi16(0, 0, 100, 1, 100, 1, 0, 0, 0, 0, 100, 1, 100, 1, 0, 0);
  Shaped shape_a{plain, minus, digit_places, pair_weights}, shape_b = shape_a;
  // Bit i: field i holds the three-digit shape.
  unsigned three_digit_lanes = 0;
  if constexpr (kThreeDigitsToo) {
    // The three-digit shape: the exponent's sign in column 8, its digits
    // in 9-11; column 9 counts the hundreds.
    const Shaped three{
        _mm256_setr_epi8(' ', ' ', '0', '.', 0, 0, 0, 0, '+', 0, 0, 0, 0, 0, 0, 0,
                         ' ', ' ', '0', '.', 0, 0, 0, 0, '+', 0, 0, 0, 0, 0, 0, 0),
        _mm256_setr_epi8(' ', '-', '0', '.', 0, 0, 0, 0, '-', 0, 0, 0, 0, 0, 0, 0,
                         ' ', '-', '0', '.', 0, 0, 0, 0, '-', 0, 0, 0, 0, 0, 0, 0),
        _mm256_setr_epi8(0, 0, 0, 0, -1, -1, -1, -1, 0, -1, -1, -1, 0, 0, 0, 0,
                         0, 0, 0, 0, -1, -1, -1, -1, 0, -1, -1, -1, 0, 0, 0, 0),
        _mm256_setr_epi8(0, 0, 0, 0, 10, 1, 10, 1, 0, 1, 10, 1, 0, 0, 0, 0,
                         0, 0, 0, 0, 10, 1, 10, 1, 0, 1, 10, 1, 0, 0, 0, 0)};
    unsigned lanes_a = 0, lanes_b = 0;
    shape_a = shaped(a, shape_a, three, lanes_a);
    shape_b = shaped(b, shape_b, three, lanes_b);
    three_digit_lanes = (lanes_a & 1) | (lanes_a >> 15) | (lanes_b & 1) << 2 | (lanes_b >> 15) << 2;
  }

  __m256i va = _mm256_sub_epi8(a, zeros), vb = _mm256_sub_epi8(b, zeros);
  __m256i minus_a = _mm256_cmpeq_epi8(a, shape_a.minus), minus_b = _mm256_cmpeq_epi8(b, shape_b.minus);
  __m256i ok_a = _mm256_blendv_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(a, shape_a.plain), minus_a),
                                    _mm256_cmpeq_epi8(_mm256_min_epu8(va, nine), va), shape_a.digit_places);
  __m256i ok_b = _mm256_blendv_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(b, shape_b.plain), minus_b),
                                    _mm256_cmpeq_epi8(_mm256_min_epu8(vb, nine), vb), shape_b.digit_places);
  auto ok = static_cast<unsigned>(_mm256_movemask_epi8(ok_a)) &
            static_cast<unsigned>(_mm256_movemask_epi8(ok_b));
  if ((ok & 0x0fff0fffu) != 0x0fff0fffu) return false;
  // Per lane the 32-bit numbers [0, dddd, exponent, 0]; gathered in
  // registers into the four mantissas and the four exponents.
  const __m256i pick = _mm256_setr_epi32(1, 5, 2, 6, 0, 0, 0, 0);
  const __m128i numbers_a = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(
      _mm256_madd_epi16(_mm256_maddubs_epi16(va, shape_a.pair_weights), word_weights), pick));
  const __m128i numbers_b = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(
      _mm256_madd_epi16(_mm256_maddubs_epi16(vb, shape_b.pair_weights), word_weights), pick));
  fields.mantissas = _mm_unpacklo_epi64(numbers_a, numbers_b);
  const __m128i exponents = _mm_unpackhi_epi64(numbers_a, numbers_b);
  // Bits 1 and 9 of each lane: a minus before the digits, before the
  // exponent (bit 8 in the three-digit shape).
  std::uint64_t signs = static_cast<std::uint32_t>(_mm256_movemask_epi8(minus_a)) |
                        static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(minus_b))) << 32;
  auto bit = [&](int at) { return static_cast<int>((signs >> at) & 1); };
  auto exponent_sign = [&](int lane) {
    return (three_digit_lanes >> lane & 1) != 0 ? bit(16 * lane + 8) : bit(16 * lane + 9);
  };
  const __m128i exponent_minus =
      _mm_setr_epi32(-exponent_sign(0), -exponent_sign(1), -exponent_sign(2), -exponent_sign(3));
  fields.q = _mm_sub_epi32(
      _mm_sub_epi32(_mm_xor_si128(exponents, exponent_minus), exponent_minus), _mm_set1_epi32(4));
  fields.negative = bit(1) | bit(17) << 1 | bit(33) << 2 | bit(49) << 3;
  return true;
}

// dddd x 10^q as dddd x (high + low) with fused multiply-adds, four at a
// time: the rounded product, its exact error, the low part's share, and
// one rounding of their sum, with its sign, into out[0, 4). The result is
// correctly rounded unless the unrounded sum lies within 2^-96 of itself
// from a rounding boundary (or the result is a power of two, whose
// boundary below is nearer). The range of the table keeps every product
// and partial product a normal double. Returns those fields, and those
// whose power lies beyond the table, as bits, for the scalar way (all
// four: nothing is written).
__attribute__((target("avx2,fma"), always_inline)) inline int scale_four(const FourFields& fields, double* out) {
  const __m128i outside = _mm_or_si128(_mm_cmpgt_epi32(fields.q, _mm_set1_epi32(kMaxPower)),
                                       _mm_cmplt_epi32(fields.q, _mm_set1_epi32(kMinPower)));
  int beyond = _mm_movemask_ps(_mm_castsi128_ps(outside));
  // All four beyond: the scalar path alone is quicker.
  if (beyond == 0xf) return beyond;
  {
    const __m128i index = _mm_sub_epi32(
        _mm_max_epi32(_mm_min_epi32(fields.q, _mm_set1_epi32(kMaxPower)), _mm_set1_epi32(kMinPower)),
        _mm_set1_epi32(kMinPower));
    // Four loads of a (high, low) pair each beat gathers here.
    auto pair = [&](int i) { return _mm_loadu_pd(&kPowersOfTen[static_cast<unsigned>(i)].high); };
    const __m256d pairs_02 = _mm256_insertf128_pd(_mm256_castpd128_pd256(pair(_mm_extract_epi32(index, 0))),
                                                  pair(_mm_extract_epi32(index, 2)), 1);
    const __m256d pairs_13 = _mm256_insertf128_pd(_mm256_castpd128_pd256(pair(_mm_extract_epi32(index, 1))),
                                                  pair(_mm_extract_epi32(index, 3)), 1);
    const __m256d high = _mm256_unpacklo_pd(pairs_02, pairs_13);
    const __m256d low = _mm256_unpackhi_pd(pairs_02, pairs_13);
    const __m256d m = _mm256_cvtepi32_pd(fields.mantissas);
    const __m256d product = _mm256_mul_pd(m, high);
    const __m256d tail = _mm256_fmadd_pd(m, low, _mm256_fmsub_pd(m, high, product));
    const __m256d v = _mm256_add_pd(product, tail);
    // What the rounding of the sum left out, exactly (|product| >= |tail|).
    const __m256d left_out = _mm256_sub_pd(tail, _mm256_sub_pd(v, product));
    const __m256d magnitude = _mm256_andnot_pd(_mm256_set1_pd(-0.0), left_out);
    const __m256i exponent_bits = _mm256_set1_epi64x(0x7ff0000000000000);
    const __m256i fraction_bits = _mm256_set1_epi64x(0x000fffffffffffff);
    const __m256i bits = _mm256_castpd_si256(v);
    // 2^E for v = 1.f x 2^E, times just under half a unit in the last place.
    const __m256d limit = _mm256_mul_pd(_mm256_castsi256_pd(_mm256_and_si256(bits, exponent_bits)),
                                        _mm256_set1_pd(0x1p-53 - 0x1p-96));
    const __m256i power_of_two = _mm256_cmpeq_epi64(_mm256_and_si256(bits, fraction_bits), _mm256_setzero_si256());
    const __m256d settled = _mm256_or_pd(
        _mm256_andnot_pd(_mm256_castsi256_pd(power_of_two), _mm256_cmp_pd(magnitude, limit, _CMP_LT_OQ)),
        _mm256_cmp_pd(left_out, _mm256_setzero_pd(), _CMP_EQ_OQ));
    beyond |= ~_mm256_movemask_pd(settled) & 0xf;
    auto sign = [&](int i) {
      return static_cast<long long>(static_cast<std::uint64_t>(fields.negative >> i & 1) << 63);
    };
    const __m256i value_minus = _mm256_setr_epi64x(sign(0), sign(1), sign(2), sign(3));
    _mm256_storeu_pd(out, _mm256_or_pd(v, _mm256_castsi256_pd(value_minus)));
  }
  return beyond;
}

// The fields scale_four left, each read again one at a time; false when
// one needs the general path.
inline bool scale_left_over(const char* f, int beyond, double* out) {
  while (beyond != 0) {
    int i = std::countr_zero(static_cast<unsigned>(beyond));
    beyond &= beyond - 1;
    if (!read_value_fast(f + 12 * i, out[i])) return false;
  }
  return true;
}

template <bool kThreeDigitsToo>
__attribute__((target("avx2,fma"), always_inline)) inline bool four_values(const char* f, double* out) {
  FourFields fields;
  if (!read_digits<kThreeDigitsToo>(f, fields)) return false;
  int beyond = scale_four(fields, out);
  if (beyond == 0xf) return false;
  return beyond == 0 || scale_left_over(f, beyond, out);
}

}  // namespace

// The loop is compiled with the kernel inlined, so that its constants stay
// in registers from one group to the next.
__attribute__((target("avx2,fma"))) std::size_t read_value_groups_avx2(const char* f, std::size_t groups,
                                                                      double* out) {
  for (std::size_t g = 0; g < groups; ++g)
    if (!four_values<false>(f + 48 * g, out + 4 * g) && !four_values<true>(f + 48 * g, out + 4 * g))
      return g;
  return groups;
}

}  // namespace pdsplit

#endif
