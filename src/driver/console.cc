#include "driver/console.h"

namespace pdsplit {

void Console::line(std::string_view text) {
  std::fputc(' ', out_);
  raw(text);
}

void Console::raw(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
}

void Console::empty() { std::fputc('\n', out_); }

void Console::flush() { std::fflush(out_); }

}  // namespace pdsplit
