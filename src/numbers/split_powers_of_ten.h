// The powers of ten 10^-280 to 10^22 as unevaluated sums of two doubles,
// high + low, good to about 2^-110 of the power: a four-digit mantissa
// times one of these, carried out with fused multiply-adds, is the exact
// product to within 2^-100 of itself, close enough to round correctly but
// for values within that distance of a rounding boundary, which the
// caller detects and hands on.
//
// The range keeps every product, and every partial product, a normal
// double: 1 x 10^-280 is far above the smallest normal, and so is the low
// part of the smallest power.
#pragma once

#include <array>
#include <cstdint>

#include "numbers/exact_powers_of_ten.h"

namespace pdsplit {

inline constexpr int kSplitMinPower = -280;
inline constexpr int kSplitMaxPower = kMaxExactPower;

struct SplitPower {
  double high = 0;
  double low = 0;
};

using SplitPowers = std::array<SplitPower, kSplitMaxPower - kSplitMinPower + 1>;

namespace split_powers_detail {

// x times 2^e by steps that each keep the value normal, so each is exact.
constexpr double times_power_of_two(double x, int e) {
  while (e >= 64) x *= 0x1p64, e -= 64;
  while (e <= -64) x *= 0x1p-64, e += 64;
  while (e > 0) x *= 2.0, --e;
  while (e < 0) x *= 0.5, ++e;
  return x;
}

// 10^-n = 2^-n x 5^-n. 5^-n comes from floor(2^K / 5^n), a big number
// divided by 5 n times, one 32-bit word at a time: the floor of floors is
// the floor of the exact quotient. Its leading 128 bits give high (53
// bits, truncated) and low (the next 75, rounded once to a double).
constexpr SplitPowers make_split_powers() {
  constexpr int kWords = 28;  // 2^K with K = 32 x 28 - 1 = 895 bits
  std::array<std::uint32_t, kWords> big{};  // most significant word first
  big[0] = 0x80000000u;
  SplitPowers table{};
  for (int q = 0; q <= kSplitMaxPower; ++q)
    table[static_cast<std::size_t>(q - kSplitMinPower)] = {kExactPowers[q], 0.0};
  for (int n = 1; n <= -kSplitMinPower; ++n) {
    std::uint64_t remainder = 0;
    for (std::uint32_t& word : big) {
      std::uint64_t part = remainder << 32 | word;
      word = static_cast<std::uint32_t>(part / 5);
      remainder = part % 5;
    }
    // The leading 128 bits, from the first nonzero word on.
    int first = 0;
    while (big[static_cast<std::size_t>(first)] == 0) ++first;
    std::uint32_t lead = big[static_cast<std::size_t>(first)];
    int lead_zeros = 0;
    while ((lead & 0x80000000u) == 0) lead <<= 1, ++lead_zeros;
    auto word_at = [&](int i) {
      return i < kWords ? static_cast<std::uint64_t>(big[static_cast<std::size_t>(i)]) : 0;
    };
    auto bits_from = [&](int i) {  // 64 bits from word i on, shifted left by lead_zeros
      return (word_at(i) << 32 | word_at(i + 1)) << lead_zeros | word_at(i + 2) >> (32 - lead_zeros);
    };
    std::uint64_t top = bits_from(first), next = bits_from(first + 2);
    // The value of the big number is about top x 2^(32 x (kWords - first) - 64 - lead_zeros).
    int exponent = 32 * (kWords - first) - 64 - lead_zeros - (32 * kWords - 1) - n;
    std::uint64_t high_bits = top & ~std::uint64_t{0x7ff};
    double high = static_cast<double>(high_bits);
    double low = static_cast<double>(top & 0x7ff) + static_cast<double>(next) * 0x1p-64;
    table[static_cast<std::size_t>(-n - kSplitMinPower)] = {times_power_of_two(high, exponent),
                                                            times_power_of_two(low, exponent)};
  }
  return table;
}

}  // namespace split_powers_detail

inline constexpr SplitPowers kSplitPowers = split_powers_detail::make_split_powers();

}  // namespace pdsplit
