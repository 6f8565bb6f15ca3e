#include "structure/structure.h"

#include <algorithm>

#include "base/failure.h"
#include "base/text.h"
#include "structure/small_file.h"

namespace pdsplit {

namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

[[noreturn]] void fail(const std::string& file, const std::string& what) {
  throw stop_with_message("Error! " + printable(file) + " " + what);
}

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty() && lines.size() < 7) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return lines;
}

std::vector<std::string_view> words_of(std::string_view line) {
  std::vector<std::string_view> words;
  for (;;) {
    std::size_t begin = line.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos) return words;
    line.remove_prefix(begin);
    std::size_t end = std::min(line.find_first_of(kBlanks), line.size());
    words.push_back(line.substr(0, end));
    line.remove_prefix(end);
  }
}

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether a word of line 6 reads as a number, as VASP 4 wrote the counts
// there.
bool looks_numeric(std::string_view word) {
  if (!word.empty() && (word[0] == '+' || word[0] == '-')) word.remove_prefix(1);
  return !word.empty() && (is_digit(word[0]) || (word[0] == '.' && word.size() > 1 && is_digit(word[1])));
}

// The element a symbol or POTCAR label names, or empty when it is none.
std::string_view symbol_of(std::string_view word) {
  std::string_view symbol = word.substr(0, word.find_first_of("_/"));
  if (symbol.empty() || !std::all_of(symbol.begin(), symbol.end(), is_letter)) return {};
  return symbol;
}

// An atom count: a whole number above 0 that an atom number can hold.
bool read_count(std::string_view word, std::int64_t& count) {
  if (word.empty() || word.size() > 10 || !std::all_of(word.begin(), word.end(), is_digit))
    return false;
  count = 0;
  for (char c : word) count = count * 10 + (c - '0');
  return count > 0 && count <= INT32_MAX;
}

std::string quoted(std::string_view word) {
  std::string text(1, '"');
  text += printable(word);
  text += '"';
  return text;
}

}  // namespace

Structure parse_structure(std::string_view text, const std::string& file, std::int32_t natom) {
  std::vector<std::string_view> lines = lines_of(text);
  if (text.find_first_not_of(kBlanks) == std::string_view::npos) fail(file, "is empty");
  if (lines.size() < 6)
    fail(file, "ends at line " + std::to_string(lines.size()) +
                   ", before its element symbols (line 6)");
  if (lines.size() < 7)
    fail(file, "ends at line 6, before its atom counts (line 7)");

  std::vector<std::string_view> symbols = words_of(lines[5]);
  if (symbols.empty()) fail(file, "line 6 holds no element symbols");
  if (looks_numeric(symbols[0]))
    fail(file, "line 6 holds numbers, not element symbols (a VASP 4 file, which names no "
               "elements)");
  for (std::string_view word : symbols)
    if (symbol_of(word).empty()) fail(file, "line 6: " + quoted(word) + " is not an element symbol");

  std::vector<std::string_view> words = words_of(lines[6]);
  std::vector<std::int64_t> counts;
  std::int64_t total = 0;
  for (std::string_view word : words) {
    std::int64_t count = 0;
    if (!read_count(word, count))
      fail(file, "line 7: " + quoted(word) + " is not an atom count (a whole number above 0)");
    counts.push_back(count);
    total += count;
  }
  if (counts.size() != symbols.size())
    fail(file, "lines 6-7: " + std::to_string(symbols.size()) +
                   (symbols.size() == 1 ? " element symbol" : " element symbols") + ", but " +
                   std::to_string(counts.size()) + (counts.size() == 1 ? " atom count" : " atom counts"));
  if (total != natom)
    fail(file, "line 7: the counts add up to " + std::to_string(total) +
                   (total == 1 ? " atom" : " atoms") + ", but DOSCAR holds " + std::to_string(natom));

  Structure structure;
  structure.file = file;
  std::int32_t atom = 1;
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    std::string_view symbol = symbol_of(symbols[i]);
    auto same = [&](const Element& e) { return e.symbol == symbol; };
    auto it = std::find_if(structure.elements.begin(), structure.elements.end(), same);
    if (it == structure.elements.end())
      it = structure.elements.insert(structure.elements.end(), Element{std::string(symbol), {}});
    for (std::int64_t n = 0; n < counts[i]; ++n) it->atoms.push_back(atom++);
  }
  return structure;
}

std::string describe_elements(const Structure& structure) {
  std::string text;
  for (const Element& e : structure.elements) {
    if (!text.empty()) text += ", ";
    text += e.symbol;
    std::string_view separator = " ";
    for (std::size_t i = 0; i < e.atoms.size();) {
      std::size_t j = i;  // the last atom of the run that begins at i
      while (j + 1 < e.atoms.size() && e.atoms[j + 1] == e.atoms[j] + 1) ++j;
      text += separator;
      text += std::to_string(e.atoms[i]);
      if (j > i) {
        text += '-';
        text += std::to_string(e.atoms[j]);
      }
      separator = ", ";
      i = j + 1;
    }
  }
  return text;
}

std::string folder_of(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  std::size_t end = path.find_last_not_of('/', slash);
  return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

std::string beside(const std::string& folder, std::string_view name) {
  if (folder == ".") return std::string(name);
  if (folder.back() == '/') return folder + std::string(name);
  return folder + "/" + std::string(name);
}

Structure read_structure(Opener& files, const std::optional<std::string>& given,
                         const std::string& folder, std::int32_t natom) {
  std::string text;
  if (given) {
    if (!read_small_file(files, *given, text, 7))
      throw stop_with_message("Error! There is no " + printable(*given));
    return parse_structure(text, *given, natom);
  }
  std::string contcar = beside(folder, "CONTCAR"), poscar = beside(folder, "POSCAR");
  bool contcar_there = read_small_file(files, contcar, text, 7);
  if (contcar_there && text.find_first_not_of(kBlanks) != std::string::npos)
    return parse_structure(text, contcar, natom);
  if (read_small_file(files, poscar, text, 7)) return parse_structure(text, poscar, natom);
  // The elements can come from a file of any name.
  const std::string elsewhere = "pdsplit: -e: name the structure file with --structure=PATH";
  if (contcar_there)
    throw Failure(Failure::Report::StderrLine, kExitFailure,
                  "Error! " + printable(contcar) +
                      " is empty (a run that stopped early) and there is no " + printable(poscar),
                  elsewhere);
  throw Failure(Failure::Report::StderrLine, kExitFailure,
                "Error! There is neither " + printable(contcar) + " nor " + printable(poscar),
                elsewhere);
}

}  // namespace pdsplit
