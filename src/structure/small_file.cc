#include "structure/small_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "base/failure.h"
#include "base/text.h"

namespace pdsplit {

bool read_small_file(Opener& files, const std::string& path, std::string& text,
                     std::size_t lines) {
  text.clear();
  auto fail = [&](const std::string& reason) -> bool {
    throw stop_with_message("Error! Cannot read " + printable(path) + ": " + reason);
  };
  Opened opened = files.open(path);
  if (opened.source == nullptr) {
    if (opened.error == ENOENT && !opened.refused) return false;
    fail(describe_open_error(opened.error));
  }
  std::size_t seen = 0;  // line feeds in text
  char block[4096];
  for (;;) {
    long got = opened.source->read(block, sizeof block);
    if (got == -EINTR) continue;
    if (got < 0) fail(std::strerror(static_cast<int>(-got)));
    if (got == 0) return true;
    std::size_t size = static_cast<std::size_t>(got);
    for (std::size_t i = 0; i < size; ++i) {
      if (block[i] != '\n' || ++seen < lines) continue;
      text.append(block, i + 1);
      return true;
    }
    if (text.size() + size > kSmallFileLimit)
      fail(lines == SIZE_MAX ? "larger than 1 MiB"
                             : "its first " + std::to_string(lines) + " lines take more than 1 MiB");
    text.append(block, size);
  }
}

}  // namespace pdsplit
