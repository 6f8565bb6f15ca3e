// The powers of ten a double holds exactly, 1e0 to 1e22: a product or
// quotient of one of these and an integer below 2^53 is correctly rounded
// (Clinger's fast path).
#pragma once

namespace pdsplit {

inline constexpr int kMaxExactPower = 22;

inline constexpr double kExactPowers[kMaxExactPower + 1] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace pdsplit
