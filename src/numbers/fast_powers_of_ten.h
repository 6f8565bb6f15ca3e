// The arithmetic of the fast value readers: a mantissa of up to four digits
// times a power of ten as a correctly rounded double, from a table of the
// powers of ten as 64-bit significands.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "numbers/extended_powers_of_ten.h"

namespace pdsplit {

// A power of ten as a 64-bit significand with its top bit set and a binary
// exponent: 10^q is about significand x 2^exponent.
struct BinaryPower {
  std::uint64_t significand = 0;
  int exponent = 0;
};

// The powers 10^q for which dddd x 10^q (dddd from 1 to 9999) is a normal
// double whatever the digits: the fast path needs no check of range.
inline constexpr int kFastMinPower = -307;
inline constexpr int kFastMaxPower = 304;

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

inline constexpr FastPowers kFastPowers = make_fast_powers();

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
inline bool scaled_bits(unsigned mantissa, int q, std::uint64_t& bits) {
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

}  // namespace pdsplit
