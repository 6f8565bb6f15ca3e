#include "output/names.h"

#include <cstdio>

#include "base/failure.h"
#include "base/messages.h"

namespace pdsplit {

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
