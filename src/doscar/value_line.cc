#include "doscar/value_line.h"

#include <algorithm>
#include <string>

#include "base/failure.h"
#include "base/text.h"
#include "numbers/fast_fields.h"
#include "doscar/doscar_layout.h"
#include "numbers/field.h"

namespace pdsplit {

namespace {

// The field's text without the blanks around it, as a user can read it.
std::string field_for_message(std::string_view text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(' ');
  return printable(text.substr(first, last - first + 1));
}

}  // namespace

void fail_not_a_number(std::int64_t line_number, std::size_t first_column,
                       std::size_t last_column, std::string_view text) {
  throw stop_with_message("Error! DOSCAR line " + std::to_string(line_number) +
                          ", columns " + std::to_string(first_column) + "-" +
                          std::to_string(last_column) + ": \"" +
                          field_for_message(text) + "\" is not a number");
}

void read_continuation_line(std::string_view line, std::int64_t line_number,
                            bool complete, double* row) {
  read_value_line(line, kContinuationValues, line_number, complete, row + kFirstLineValues + 1);
  auto width = static_cast<std::size_t>(value_line_width(kContinuationValues));
  if (line.size() <= width) return;
  std::string_view rest = line.substr(width);
  std::size_t last = rest.find_last_not_of(' ');
  if (last == std::string_view::npos) return;
  throw stop_with_message("Error! DOSCAR line " + std::to_string(line_number) + ", columns " +
                          std::to_string(width + 1) + "-" + std::to_string(width + last + 1) +
                          ": \"" + field_for_message(rest) +
                          "\" follows the last value of a continued line");
}

void read_value_line(std::string_view line, std::int32_t k,
                     std::int64_t line_number, bool complete, double* row) {
  if (!complete && static_cast<std::int64_t>(line.size()) < value_line_width(k))
    throw stop_with_message("Error! DOSCAR ends in the middle of line " +
                            std::to_string(line_number));
  std::string_view text = field_text(line, 0, 11);
  if (!(text.size() == 11 && read_energy_fast(text.data(), row[0])) &&
      !read_real_field(text, kEnergyDecimals, row[0]))
    fail_not_a_number(line_number, 1, 11, text);
  // Fields lying wholly within the line take the fast path when they can.
  auto whole = static_cast<std::size_t>(
      std::min<std::int64_t>(k, line.size() >= 11 ? (line.size() - 11) / 12 : 0));
  std::size_t done = 0;  // value fields read
  while (done < static_cast<std::size_t>(k)) {
    if (done < whole)
      done += read_value_fields(line.data() + 11 + 12 * done, whole - done, row + 1 + done);
    if (done == static_cast<std::size_t>(k)) break;
    std::size_t first = 11 + 12 * done;
    text = field_text(line, first, 12);
    if (!read_real_field(text, kValueDecimals, row[1 + done]))
      fail_not_a_number(line_number, first + 1, first + 12, text);
    ++done;
  }
}

}  // namespace pdsplit
