#include "input/value_line.h"

#include <algorithm>
#include <string>

#include "driver/failure.h"
#include "input/field.h"

namespace pdsplit {

namespace {

// The field's text as a user can read it on a console: without the blanks
// around it, control and non-ASCII bytes shown as \xNN.
std::string printable(std::string_view text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(' ');
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text.substr(first, last - first + 1)) {
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

void fail_not_a_number(std::int64_t line_number, std::size_t first_column,
                       std::size_t last_column, std::string_view text) {
  throw stop_with_message("Error! DOSCAR line " + std::to_string(line_number) +
                          ", columns " + std::to_string(first_column) + "-" +
                          std::to_string(last_column) + ": \"" +
                          printable(text) + "\" is not a number");
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
