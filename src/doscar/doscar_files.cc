#include "doscar/doscar_files.h"

#include <array>
#include <atomic>
#include <memory>
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

namespace {

// A source that notes the furthest byte any reader of the run has had of
// the text, for the damage check after a failure.
class CountedSource final : public Source {
 public:
  CountedSource(std::unique_ptr<Source> text, std::shared_ptr<std::atomic<std::uint64_t>> furthest)
      : text_(std::move(text)), furthest_(std::move(furthest)) {}
  long read(char* out, std::size_t size) override {
    long got = text_->read(out, size);
    if (got > 0) {
      at_ += static_cast<std::uint64_t>(got);
      std::uint64_t seen = furthest_->load();
      while (seen < at_ && !furthest_->compare_exchange_weak(seen, at_)) {
      }
    }
    return got;
  }
  std::optional<std::uint64_t> size() const override { return text_->size(); }

 private:
  std::unique_ptr<Source> text_;
  std::shared_ptr<std::atomic<std::uint64_t>> furthest_;
  std::uint64_t at_ = 0;
};

}  // namespace

Opened DoscarFiles::open(const std::string& path) {
  std::string name = resolve(path);
  Opened opened = files_.open(name);
  if (!opened.source) return opened;
  Compression compression = Compression::None;
  opened.source = decompressed(std::move(opened.source), name, &compression);
  // Only an archive is checked whole after a failure: only its reads count.
  if (compression != Compression::None)
    opened.source = std::make_unique<CountedSource>(std::move(opened.source), furthest_);
  return opened;
}

void DoscarFiles::check_whole(const std::string& path) {
  std::string name = resolve(path);
  Opened opened = files_.open(name);
  if (!opened.source) return;
  Compression compression = Compression::None;
  std::unique_ptr<Source> text = decompressed(std::move(opened.source), name, &compression);
  if (compression == Compression::None) return;
  // Damage shows within as much again as the run had read (an archive
  // checks each block as it ends): reading on to the end of a small file
  // that unpacks to terabytes would keep the run busy for hours.
  std::uint64_t limit = 2 * furthest_->load() + (std::uint64_t{1} << 20);
  std::string buffer(std::size_t{1} << 20, '\0');
  for (std::uint64_t read = 0; read < limit;) {
    long got = text->read(buffer.data(), buffer.size());
    if (got == 0) return;
    if (got < 0 && got != -EINTR) return;  // a fault of the disk, reported already
    if (got > 0) read += static_cast<std::uint64_t>(got);
  }
}

FileId DoscarFiles::identity(const std::string& path) { return files_.identity(resolve(path)); }

}  // namespace pdsplit
