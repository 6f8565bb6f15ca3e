#include "structure/incar.h"

#include <array>

#include "base/failure.h"
#include "base/text.h"
#include "structure/small_file.h"

namespace pdsplit {

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";
constexpr std::array<std::string_view, 2> kKeys = {"LNONCOLLINEAR", "LSORBIT"};

std::string_view trimmed(std::string_view text) {
  std::size_t begin = text.find_first_not_of(kBlanks);
  if (begin == std::string_view::npos) return {};
  std::size_t end = text.find_last_not_of(kBlanks);
  return text.substr(begin, end + 1 - begin);
}

bool same_key(std::string_view key, std::string_view upper) {
  if (key.size() != upper.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    char c = key[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

}  // namespace

IncarSpin parse_incar(std::string_view text, const std::string& file) {
  IncarSpin spin;
  std::array<bool, kKeys.size()> seen{};
  std::size_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    line = line.substr(0, line.find_first_of("!#"));
    while (!line.empty()) {
      std::size_t semicolon = line.find(';');
      std::string_view statement = line.substr(0, semicolon);
      line = semicolon == std::string_view::npos ? std::string_view() : line.substr(semicolon + 1);
      std::size_t equals = statement.find('=');
      if (equals == std::string_view::npos) continue;
      std::string_view key = trimmed(statement.substr(0, equals));
      std::string_view value = trimmed(statement.substr(equals + 1));
      value = value.substr(0, value.find_first_of(kBlanks));
      for (std::size_t k = 0; k < kKeys.size(); ++k) {
        if (!same_key(key, kKeys[k]) || seen[k]) continue;
        seen[k] = true;
        std::string where = "Error! " + printable(file) + " line " + std::to_string(line_number) + ": ";
        if (value.empty()) throw stop_with_message(where + printable(key) + " has no value");
        std::string_view letters = value.substr(value[0] == '.' ? 1 : 0);
        char first = letters.empty() ? ' ' : letters[0];
        bool is_true = first == 'T' || first == 't';
        if (!is_true && first != 'F' && first != 'f')
          throw stop_with_message(where + printable(key) + " = " + printable(value) +
                                  " is neither true (.TRUE.) nor false (.FALSE.)");
        if (is_true && !spin.noncollinear) {
          spin.noncollinear = true;
          spin.statement = printable(key) + " = " + printable(value);
        }
      }
    }
  }
  return spin;
}

std::optional<IncarSpin> read_incar(Opener& files, const std::string& path) {
  std::string text;
  if (!read_small_file(files, path, text)) return std::nullopt;
  return parse_incar(text, path);
}

}  // namespace pdsplit
