#include "output/names.h"

#include <array>
#include <cstdio>

#include "base/failure.h"
#include "base/messages.h"

namespace pdsplit {

std::string atom_suffix(std::int32_t atom) {
  char buf[16];
  int len = std::snprintf(buf, sizeof buf, "%03d", static_cast<int>(atom));
  return std::string(buf, static_cast<std::size_t>(len));
}

std::string element_suffix(std::string_view symbol) {
  std::string suffix(1, '_');
  suffix += symbol;
  return suffix;
}

void refuse_overwriting_input(const std::string& FILENAME, const FileId& input) {
  static constexpr std::array<std::string_view, 4> kInputNames = {
      "DOSCAR", "DOSCAR.gz", "DOSCAR.xz", "DOSCAR.bz2"};
  std::size_t slash = FILENAME.rfind('/');
  std::string_view base = std::string_view(FILENAME).substr(slash == std::string::npos ? 0 : slash + 1);
  std::string folder = slash == std::string::npos ? std::string(".")
                       : slash == 0               ? std::string("/")
                                                  : FILENAME.substr(0, slash);
  bool input_name = false;
  for (std::string_view name : kInputNames) input_name |= base == name;
  if ((input_name && file_id_of_target(folder).same_as(file_id_of_target("."))) ||
      file_id_of_name(FILENAME).same_as(input))
    throw error_block(std::string(text::kOverwritesInput));
}

std::string given_name(std::string_view argument) {
  std::string_view name = trim_trailing_blanks(argument);
  if (name.empty()) throw error_block(std::string(text::kEmptyName));
  return std::string(name);
}

}  // namespace pdsplit
