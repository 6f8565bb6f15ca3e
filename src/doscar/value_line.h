// One value line of a DOSCAR block: the energy in columns 1-11 and K values
// of 12 columns each after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pdsplit {

constexpr int kEnergyDecimals = 3;
constexpr int kValueDecimals = 4;

// Columns a value line of K values spans.
constexpr std::int64_t value_line_width(std::int32_t k) {
  return 11 + 12 * static_cast<std::int64_t>(k);
}

// Reads the energy into row[0] and value i into row[i], i = 1..K.
// Columns after the last field are ignored; missing ones read as 0, except
// that a last line cut short of its fields (no line feed after it) means the
// file was cut off. Throws a Failure naming the line and columns of a field
// that is no number.
void read_value_line(std::string_view line, std::int32_t k,
                     std::int64_t line_number, bool complete, double* row);

// Reads the second line of a wrapped grid point (see doscar_layout.h):
// value 37 in the energy's 11-column form into row[37], values 38-64 into
// row[38..64]. Missing fields read as 0, as on any line; anything but
// blanks after the last field is an error naming the line and columns.
void read_continuation_line(std::string_view line, std::int64_t line_number,
                            bool complete, double* row);

// Throws the Failure for a field that is no number: line, 1-based columns
// and the field's text.
[[noreturn]] void fail_not_a_number(std::int64_t line_number,
                                    std::size_t first_column,
                                    std::size_t last_column,
                                    std::string_view text);

}  // namespace pdsplit
