#include "doscar/doscar_files.h"

#include <array>
#include <cerrno>

#include "sources/compressed_source.h"
#include "doscar/doscar_layout.h"

namespace pdsplit {

std::string DoscarFiles::resolve(const std::string& path) {
  if (path != kDoscarPath) return path;
  if (!doscar_.empty()) return doscar_;
  static constexpr std::array<const char*, 4> kNames = {"DOSCAR", "DOSCAR.gz", "DOSCAR.xz",
                                                        "DOSCAR.bz2"};
  doscar_ = kDoscarPath;
  for (const char* name : kNames) {
    Opened opened = files_.open(name);
    // Anything there under the name (even a file that cannot be read) is
    // the one meant: its fault is reported, not passed over.
    if (opened.source || opened.refused || opened.error != ENOENT) {
      doscar_ = name;
      break;
    }
  }
  return doscar_;
}

Opened DoscarFiles::open(const std::string& path) {
  std::string name = resolve(path);
  Opened opened = files_.open(name);
  if (opened.source) opened.source = decompressed(std::move(opened.source), name);
  return opened;
}

void DoscarFiles::check_whole(const std::string& path) {
  std::string name = resolve(path);
  Opened opened = files_.open(name);
  if (!opened.source) return;
  Compression compression = Compression::None;
  std::unique_ptr<Source> text = decompressed(std::move(opened.source), name, &compression);
  if (compression == Compression::None) return;
  std::string buffer(std::size_t{1} << 20, '\0');
  for (long got; (got = text->read(buffer.data(), buffer.size())) != 0;)
    if (got < 0 && got != -EINTR) return;  // a fault of the disk, reported already
}

FileId DoscarFiles::identity(const std::string& path) { return files_.identity(resolve(path)); }

}  // namespace pdsplit
