// The powers of ten that the four-at-a-time reader multiplies by, each a
// sum of two doubles: checked against powers computed in quadruple
// precision, independently of how the table is built.
#include <gtest/gtest.h>

#include <cmath>

#include "numbers/split_powers_of_ten.h"

namespace {

__extension__ typedef __float128 Quad;

Quad quad_power_of_ten(int q) {
  Quad p = 1;
  for (int i = 0; i < (q < 0 ? -q : q); ++i) p *= 10;  // exact up to 10^48, then 2^-113 a step
  return q < 0 ? 1 / p : p;
}

TEST(SplitPowers, EachIsTheExactPowerToWellWithin2ToTheMinus100) {
  for (int q = pdsplit::kSplitMinPower; q <= pdsplit::kSplitMaxPower; ++q) {
    const pdsplit::SplitPower& p = pdsplit::kSplitPowers[static_cast<unsigned>(q - pdsplit::kSplitMinPower)];
    Quad want = quad_power_of_ten(q);
    Quad got = static_cast<Quad>(p.high) + static_cast<Quad>(p.low);
    Quad error = (got - want) / want;
    if (error < 0) error = -error;
    // 280 roundings of the reference itself stay below 2^-104.
    EXPECT_LT(static_cast<double>(error), 0x1p-100) << "10^" << q;
    // The high part alone is the power to within a unit in its last place,
    // and the low part is below that unit: the fused products rely on it.
    EXPECT_LE(std::fabs(p.low), std::ldexp(1.0, std::ilogb(p.high) - 52)) << "10^" << q;
  }
}

TEST(SplitPowers, PowersADoubleHoldsHaveNoLowPart) {
  for (int q = 0; q <= pdsplit::kSplitMaxPower; ++q) {
    const pdsplit::SplitPower& p = pdsplit::kSplitPowers[static_cast<unsigned>(q - pdsplit::kSplitMinPower)];
    EXPECT_EQ(p.high, static_cast<double>(quad_power_of_ten(q))) << "10^" << q;
    EXPECT_EQ(p.low, 0.0) << "10^" << q;
  }
}

}  // namespace
