// libFuzzer target over the whole DOSCAR path. The first line of an input
// is the command line (words separated by blanks: long options, then the
// mode option and its operands); the rest is the DOSCAR the run reads, up
// to a NUL byte, after which come the CONTCAR and, after another NUL, the
// INCAR of the folder (none when absent). The CONTCAR and INCAR texts are
// also parsed by their readers directly. Tables go to a disk that keeps
// nothing.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "driver/run.h"
#include "structure/incar.h"
#include "sources/source.h"
#include "structure/structure.h"
#include "output/disk.h"

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

// The text up to the next NUL byte of `rest`, which is left after it (a
// null view when there is none).
std::string_view next_section(std::string_view& rest) {
  std::size_t nul = rest.find('\0');
  std::string_view section = rest.substr(0, nul);
  rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
  return section;
}

void write_or_remove(const char* name, std::optional<std::string_view> text) {
  if (!text) {
    std::remove(name);
    return;
  }
  std::FILE* f = std::fopen(name, "wb");
  if (f == nullptr) std::abort();
  std::fwrite(text->data(), 1, text->size(), f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string folder =
      (std::filesystem::temp_directory_path() / "pdsplit-fuzz-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr || ::chdir(folder.c_str()) != 0) std::abort();
  g_sink = std::fopen("/dev/null", "w");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t newline = input.find('\n');
  std::string_view command = input.substr(0, newline);
  std::string_view rest =
      newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);
  std::string_view doscar = next_section(rest);
  std::optional<std::string_view> contcar, incar;
  if (rest.data() != nullptr) contcar = next_section(rest);
  if (rest.data() != nullptr) incar = next_section(rest);

  std::vector<std::string> args;
  std::size_t pos = 0;
  while (pos <= command.size() && args.size() < 12) {
    std::size_t blank = command.find(' ', pos);
    if (blank == std::string_view::npos) blank = command.size();
    args.emplace_back(command.substr(pos, blank - pos));
    pos = blank + 1;
  }
  if (args.size() == 1 && args[0].empty()) args.clear();
  // Files named by the settings stay in the scratch folder.
  for (std::string& arg : args)
    if (arg.rfind("--doscar=", 0) == 0 || arg.rfind("--structure=", 0) == 0)
      std::erase(arg, '/');

  write_or_remove("DOSCAR", doscar);
  write_or_remove("CONTCAR", contcar);
  write_or_remove("INCAR", incar);

  // The readers of the files beside DOSCAR, on their own.
  if (contcar) {
    try {
      pdsplit::parse_structure(*contcar, "CONTCAR", static_cast<std::int32_t>(size % 40));
    } catch (const pdsplit::Failure&) {
    }
  }
  if (incar) {
    try {
      pdsplit::parse_incar(*incar, "INCAR");
    } catch (const pdsplit::Failure&) {
    }
  }

  NullDisk disk;
  unsigned threads = (size % 3) + 1;  // the result must not depend on it
  pdsplit::run(args, g_sink, g_sink, disk, pdsplit::system_opener(), threads);
  return 0;
}
