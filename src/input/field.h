// Reading one fixed-column field of a DOSCAR line as a number.
//
// DOSCAR is written by Fortran with fixed edit descriptors, so a field is a
// column range, not a whitespace-separated token: blanks anywhere in it are
// ignored, an all-blank field is zero, and a real without a decimal point
// carries an implied number of fraction digits.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/vector_unit.h"

namespace pdsplit {

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

// Fast paths for the shapes VASP writes almost every field in: a 12-column
// value "  0.ddddE+dd" / " -0.ddddE-dd" / "  0.dddd-ddd" that is a normal
// double, and an 11-column energy "    -20.000". They give exactly what
// read_real_field gives, or false for anything else (which read_real_field
// then handles): subnormals, overflow, a value within a hair of a rounding
// tie, any other shape.
bool read_value_fast(const char* field12, double& value);
bool read_energy_fast(const char* field11, double& value);

// read_value_fast on up to `count` value fields one after the other from
// `first`, into out[0, count); returns how many were read before the first
// that needs read_real_field. Processors with AVX2 take four at a time.
std::size_t read_value_fields(const char* first, std::size_t count, double* out,
                              NumberPath path = NumberPath::Fastest);

// The number of value columns a DOSCAR value line holds, judged from the
// first 395 characters: every upper-case E, plus every 12-column value field
// lying wholly inside them that is written in the three-digit exponent form
// without an E (such as "  0.4648-107").
std::int32_t count_columns(std::string_view line);

}  // namespace pdsplit
