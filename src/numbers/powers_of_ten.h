// The powers of ten that the four-at-a-time value reader and the value
// writer multiply by, each the double nearest to it plus the rest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pdsplit {

// 10^q as an unevaluated sum high + low: high is the double nearest to the
// power (ties to even, as a decimal literal or strtod gives it), low the
// rest rounded once, so that the sum is the power to within about 2^-115
// of itself.
struct PowerOfTen {
  double high = 0;
  double low = 0;
};

// The range keeps every entry, low parts included, a normal double, and a
// four-digit mantissa times the largest power below the largest double.
inline constexpr int kMinPower = -280;
inline constexpr int kMaxPower = 300;

namespace powers_detail {

// x times 2^e by steps that each keep the value normal, so each is exact.
constexpr double times_power_of_two(double x, int e) {
  while (e >= 64) x *= 0x1p64, e -= 64;
  while (e <= -64) x *= 0x1p-64, e += 64;
  while (e > 0) x *= 2.0, --e;
  while (e < 0) x *= 0.5, ++e;
  return x;
}

// A big number, 32-bit words, the most significant first.
constexpr int kWords = 28;
using Big = std::array<std::uint32_t, kWords>;

// The power whose exact value is big x 2^scale, from the leading 128 bits
// of big (and whether any bit below them, or `more_below`, is set).
constexpr PowerOfTen split(const Big& big, int scale, bool more_below) {
  auto word_at = [&](int i) {
    return i < kWords ? static_cast<std::uint64_t>(big[static_cast<std::size_t>(i)]) : 0;
  };
  int first = 0;
  while (word_at(first) == 0) ++first;
  int lead_zeros = 0;
  while ((word_at(first) << lead_zeros & 0x80000000u) == 0) ++lead_zeros;
  auto bits_from = [&](int i) {  // 64 bits from word i on, shifted left by lead_zeros
    return (word_at(i) << 32 | word_at(i + 1)) << lead_zeros | word_at(i + 2) >> (32 - lead_zeros);
  };
  std::uint64_t top = bits_from(first), next = bits_from(first + 2);
  more_below = more_below || (word_at(first + 4) << lead_zeros & 0xffffffffu) != 0;
  for (int i = first + 5; i < kWords; ++i) more_below = more_below || word_at(i) != 0;
  // big is top x 2^unit plus what lies below, with unit counted from its last word.
  int unit = 32 * (kWords - first) - 64 - lead_zeros + scale;
  // The 53 leading bits, rounded to nearest, ties to even; the 11 bits
  // below them and `next` (units of 2^-64 of top's last bit) are the rest.
  std::uint64_t rest = top & 0x7ff;
  bool up = rest > 0x400 || (rest == 0x400 && (next != 0 || more_below || (top & 0x800) != 0));
  double high = static_cast<double>((top >> 11) + up) * 0x1p11;
  double low = (static_cast<double>(rest) - (up ? 2048.0 : 0.0)) + static_cast<double>(next) * 0x1p-64;
  return {times_power_of_two(high, unit), times_power_of_two(low, unit)};
}

// 10^q = 5^q x 2^q: 5^q by multiplying by 5 a word at a time. 10^-n =
// 2^-n / 5^n: floor(2^K / 5^n) by dividing by 5 n times, the floor of
// floors being the floor of the exact quotient (never whole), with K large
// enough to leave more than 128 bits of quotient.
constexpr std::array<PowerOfTen, kMaxPower - kMinPower + 1> make_powers() {
  std::array<PowerOfTen, kMaxPower - kMinPower + 1> table{};
  Big big{};
  big[kWords - 1] = 1;
  for (int q = 0; q <= kMaxPower; ++q) {
    table[static_cast<std::size_t>(q - kMinPower)] = split(big, q, false);
    std::uint64_t carry = 0;
    for (int i = kWords - 1; i >= 0; --i) {
      std::uint64_t part = std::uint64_t{big[static_cast<std::size_t>(i)]} * 5 + carry;
      big[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(part);
      carry = part >> 32;
    }
  }
  constexpr int kShift = 32 * kWords - 1;  // K
  big = Big{};
  big[0] = 0x80000000u;
  for (int n = 1; n <= -kMinPower; ++n) {
    std::uint64_t remainder = 0;
    for (std::uint32_t& word : big) {
      std::uint64_t part = remainder << 32 | word;
      word = static_cast<std::uint32_t>(part / 5);
      remainder = part % 5;
    }
    table[static_cast<std::size_t>(-n - kMinPower)] = split(big, -kShift - n, true);
  }
  return table;
}

}  // namespace powers_detail

inline constexpr std::array<PowerOfTen, kMaxPower - kMinPower + 1> kPowersOfTen =
    powers_detail::make_powers();

// 10^q for kMinPower <= q <= kMaxPower.
constexpr const PowerOfTen& power_of_ten(int q) {
  return kPowersOfTen[static_cast<std::size_t>(q - kMinPower)];
}

}  // namespace pdsplit
