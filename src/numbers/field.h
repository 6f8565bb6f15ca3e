// The general reader of one fixed-column field of a DOSCAR line, whatever its shape.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pdsplit {

// DOSCAR is written by Fortran with fixed edit descriptors, so a field is a
// column range, not a whitespace-separated token: blanks anywhere in it are
// ignored, an all-blank field is zero, and a real without a decimal point
// carries an implied number of fraction digits.

// The columns [first, first + width) of `line`, 0-based; a line shorter than
// the field gives only what it has (the rest counts as blanks).
std::string_view field_text(std::string_view line, std::size_t first,
                            std::size_t width);

// Reads an integer field: optional sign and decimal digits, blanks ignored.
// Returns false when the text is no integer or does not fit in 32 bits.
bool read_int_field(std::string_view text, std::int32_t& value);

// Reads a real field: optional sign, digits with or without a decimal point,
// an optional exponent (E, D, e or d followed by an optionally signed
// integer, or a bare sign followed by digits), blanks ignored. Without a
// decimal point the last `implied_decimals` digits are the fraction. The
// words Inf, Infinity and NaN (any case, optional sign) are accepted.
// The result is the correctly rounded double of the field's decimal value.
// Returns false when the text is no number.
bool read_real_field(std::string_view text, int implied_decimals,
                     double& value);

}  // namespace pdsplit
