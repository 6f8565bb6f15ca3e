#include "output/names.h"

#include <cstdio>

#include "driver/failure.h"
#include "driver/messages.h"

namespace pdsplit {

std::string fixed_text(std::string_view text, std::size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

std::string_view trim_trailing_blanks(std::string_view text) {
  std::size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view()
                                       : text.substr(0, end + 1);
}

std::string atom_suffix(std::int32_t atom) {
  char buf[16];
  int len = std::snprintf(buf, sizeof buf, "%03d", static_cast<int>(atom));
  return std::string(buf, static_cast<std::size_t>(len));
}

std::string given_name(std::string_view argument) {
  std::string_view name = trim_trailing_blanks(argument);
  if (name.empty()) throw error_block(std::string(text::kEmptyName));
  return std::string(name);
}

}  // namespace pdsplit
