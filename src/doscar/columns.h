// How many value columns a DOSCAR value line holds, judged from its text:
// what the header reader takes the widths of the total-DOS and projected
// blocks from.
#pragma once

#include <cstdint>
#include <string_view>

namespace pdsplit {

// The number of value columns a DOSCAR value line holds, judged from the
// first 395 characters: every upper-case E, plus every 12-column value field
// lying wholly inside them that is written in the three-digit exponent form
// without an E (such as "  0.4648-107").
std::int32_t count_columns(std::string_view line);

// The number of 12-column value fields from column 12 on, up to the first
// that is cut short by the end of the line, holds no number, or holds one
// without an exponent (in any spelling the field reader takes: E, e, D, d,
// or a bare sign after the digits). For lines the letter count cannot
// judge: exponents spelt otherwise, or more than 395 columns.
std::int32_t count_value_fields(std::string_view line);

}  // namespace pdsplit
