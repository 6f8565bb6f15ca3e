// The number forms of the tables: F11.3-style energies and 12-column values.
#pragma once

#include <cstddef>

#include "base/fixed_point.h"
#include "base/vector_unit.h"

namespace pdsplit {

// Every form writes the digits of the correctly rounded decimal value of the
// double (exact binary ties to even), so two runs on two machines agree to
// the last character.

constexpr std::size_t kEnergyWidth = 11;
constexpr std::size_t kValueWidth = 12;

// The energy field of a table line: format_fixed3 in 11 columns.
inline void format_energy(double x, char* out) {
  format_fixed3(x, kEnergyWidth, out);
}

// The value field of a table line: 12 columns holding [-]0.dddd followed by
// E+dd / E-dd, or by a sign and three digits when the decimal exponent has
// three digits. Zero of either sign is "  0.0000E+00". Writes 12 characters.
void format_value(double x, char* out);

// format_value on x[0, count), the fields one after the other from `out`;
// four at a time on processors with AVX2.
void format_values(const double* x, std::size_t count, char* out,
                   NumberPath path = NumberPath::Fastest);

}  // namespace pdsplit

