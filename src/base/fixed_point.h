// Fixed-point and integer fields of a fixed width, as the header summary,
// the processor-time line and the energies of a table show them.
//
// Every form writes the digits of the correctly rounded decimal value of the
// double (exact binary ties to even), so two runs on two machines agree to
// the last character.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pdsplit {

// Writes x in `width` columns, right-aligned, rounded to 3 decimals, with a
// 0 before the point below 1 and a minus sign only when the rounded value is
// not zero. A value that does not fit gives `width` asterisks; Infinity and
// NaN are written as words when they fit. Writes exactly `width` characters.
void format_fixed3(double x, std::size_t width, char* out);

// format_fixed3, except that a negative value keeps its minus sign when
// it rounds to zero (-0.0004 and -0.0 give "-0.000"), as the header summary
// shows the values read: the sign says which side of zero the file holds.
void format_fixed3_signed(double x, std::size_t width, char* out);

// An integer right-aligned in `width` columns; asterisks when it needs more.
void format_int(long long x, std::size_t width, char* out);

// Infinity or NaN right-aligned in `width` columns as the widest word that
// fits ("Infinity", "Inf", "NaN", with a minus for negative infinity);
// false when none fits.
bool format_special_word(double x, std::size_t width, char* out);

// y (positive, below 2^64) rounded to the nearest integer, or false when
// y, carrying at most `error` of rounding, is too close to a tie to tell.
inline bool round_clear_of_ties(double y, double error, std::uint64_t& n) {
  auto whole = static_cast<std::uint64_t>(y);  // truncation: exact here
  double fraction = y - static_cast<double>(whole);
  if ((fraction > 0.5 ? fraction - 0.5 : 0.5 - fraction) <= error) return false;
  n = whole + (fraction > 0.5);
  return true;
}

}  // namespace pdsplit
