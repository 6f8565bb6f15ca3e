// libFuzzer target over the whole DOSCAR path. The first line of an input
// is the command line (words separated by blanks: long options, then the
// mode option and its operands); the rest is the DOSCAR the run reads, up
// to a NUL byte, after which come the CONTCAR and, after another NUL, the
// INCAR of the folder (none when absent), which their readers also parse
// on their own. Tables go to a disk that keeps nothing.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "driver/run.h"
#include "output/disk.h"
#include "sources/source.h"
#include "structure/incar.h"
#include "structure/structure.h"

namespace {

class NullDisk : public pdsplit::Disk {
 public:
  int create_new(const std::string&) override { return 3; }
  long write(int, const char*, std::size_t size) override { return static_cast<long>(size); }
  int close(int) override { return 0; }
  int rename(const std::string&, const std::string&) override { return 0; }
  int remove(const std::string&) override { return 0; }
};

std::FILE* g_sink = nullptr;

// Writes `name` with the text of `rest` up to its next NUL byte and leaves
// `rest` after it (null when there is none); a null `rest` removes `name`.
// Whether there was a text.
bool write_section(const char* name, std::string_view& rest, std::string_view& text) {
  if (rest.data() == nullptr) return std::remove(name), false;
  std::size_t nul = rest.find('\0');
  text = rest.substr(0, nul);
  rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
  std::FILE* f = std::fopen(name, "wb");
  if (f == nullptr) std::abort();
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string folder = (std::filesystem::temp_directory_path() / "pdsplit-fuzz-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr || ::chdir(folder.c_str()) != 0) std::abort();
  g_sink = std::fopen("/dev/null", "w");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size), text;
  std::size_t newline = std::min(input.find('\n'), size);
  std::string_view command = input.substr(0, newline), rest = input.substr(std::min(newline + 1, size));
  std::vector<std::string> args;
  for (std::size_t pos = 0, blank; pos <= command.size() && args.size() < 12; pos = blank + 1) {
    blank = std::min(command.find(' ', pos), command.size());
    args.emplace_back(command.substr(pos, blank - pos));
  }
  if (args.size() == 1 && args[0].empty()) args.clear();
  // Files named by the settings stay in the scratch folder.
  for (std::string& arg : args)
    if (arg.starts_with("--doscar=") || arg.starts_with("--structure=")) std::erase(arg, '/');

  write_section("DOSCAR", rest, text);
  try {  // the readers of the files beside DOSCAR, on their own
    if (write_section("CONTCAR", rest, text))
      pdsplit::parse_structure(text, "CONTCAR", static_cast<std::int32_t>(size % 40));
  } catch (const pdsplit::Failure&) {
  }
  try {
    if (write_section("INCAR", rest, text)) pdsplit::parse_incar(text, "INCAR");
  } catch (const pdsplit::Failure&) {
  }
  NullDisk disk;
  unsigned threads = (size % 3) + 1;  // the result must not depend on it
  pdsplit::run(args, g_sink, g_sink, disk, pdsplit::system_opener(), threads);
  return 0;
}
