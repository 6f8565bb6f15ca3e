// Editing DOSCAR files line by line, for tests that break them on purpose.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace testing_support {

inline std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t pos = 0, end; pos < text.size(); pos = end + 1) {
    end = std::min(text.find('\n', pos), text.size());
    lines.push_back(text.substr(pos, end - pos));
  }
  return lines;
}

inline std::string join_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

}  // namespace testing_support
