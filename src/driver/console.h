// The console: every line with text is one blank followed by the text; an
// empty line has no characters at all.
#pragma once

#include <cstdio>
#include <string_view>

namespace pdsplit {

class Console {
 public:
  explicit Console(std::FILE* out) : out_(out) {}

  // A console line: one blank, then `text`.
  void line(std::string_view text);
  // A line written as it stands (fixed-layout lines bring their own blank).
  void raw(std::string_view text);
  void empty();
  void flush();

 private:
  std::FILE* out_;
};

}  // namespace pdsplit
