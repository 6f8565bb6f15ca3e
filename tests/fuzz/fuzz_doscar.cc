// libFuzzer target over the whole DOSCAR path. The first line of an input
// is the command line (words separated by blanks, the option first); the
// rest is the DOSCAR the run reads. Tables go to a disk that keeps nothing.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "driver/run.h"
#include "input/source.h"
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
  std::string_view doscar =
      newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

  std::vector<std::string> args;
  std::size_t pos = 0;
  while (pos <= command.size() && args.size() < 8) {
    std::size_t blank = command.find(' ', pos);
    if (blank == std::string_view::npos) blank = command.size();
    args.emplace_back(command.substr(pos, blank - pos));
    pos = blank + 1;
  }
  if (args.size() == 1 && args[0].empty()) args.clear();

  std::FILE* f = std::fopen("DOSCAR", "wb");
  if (f == nullptr) std::abort();
  std::fwrite(doscar.data(), 1, doscar.size(), f);
  std::fclose(f);

  NullDisk disk;
  unsigned threads = (size % 3) + 1;  // the result must not depend on it
  pdsplit::run(args, g_sink, g_sink, disk, pdsplit::system_opener(), threads);
  return 0;
}
