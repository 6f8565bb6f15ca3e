// Which file a run reads as DOSCAR, and reading it as text whatever its
// compression.
//
// `DOSCAR` when it exists, else the first of `DOSCAR.gz`, `DOSCAR.xz`,
// `DOSCAR.bz2` that does (workflow managers compress finished runs). A file
// compressed by gzip, xz or bzip2, recognised by its first bytes whatever
// its name, is read through its decompressor, so the readers see the text.
// A path given by --doscar is read instead, whatever its name, and none
// other is looked for.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/failure.h"
#include "doscar/doscar_layout.h"
#include "sources/source.h"

namespace pdsplit {

class DoscarFiles : public Opener {
 public:
  // `files`: where the files are looked for and opened; `given`: the path
  // to read as DOSCAR (--doscar), if any.
  explicit DoscarFiles(Opener& files, std::optional<std::string> given = {})
      : files_(files), doscar_(given.value_or("")), given_(given.has_value()) {}

  Opened open(const std::string& path) override;
  FileId identity(const std::string& path) override;
  std::string name_of(const std::string& path) override { return resolve(path); }
  // Reads a compressed file through its decompressor, to its end or to
  // twice as far as any reader has read, so that damage found there is
  // reported as the cause of a failure.
  void check_whole(const std::string& path) override;

  // Whether DOSCAR is a path given by --doscar.
  bool given() const { return given_; }
  // The files beside DOSCAR (INCAR, POSCAR), opened as they are.
  Opener& plain() { return files_; }

 private:
  // The file that stands for `path`: for DOSCAR, the first of its names
  // that exists (DOSCAR itself when none does, so that its absence is
  // reported as ever). Decided once per run, so every reader reads the same.
  std::string resolve(const std::string& path);

  Opener& files_;
  // The furthest byte of text any reader has had.
  std::shared_ptr<std::atomic<std::uint64_t>> furthest_ =
      std::make_shared<std::atomic<std::uint64_t>>(0);
  std::string doscar_;
  bool given_;
};

// Runs `read`, a reader of DOSCAR through `files`; when it fails, a file
// that is itself damaged (a corrupt archive hands out garbage before its
// check fails) is reported as the cause instead.
template <class Read>
auto read_checked(Opener& files, Read read) {
  try {
    return read();
  } catch (const Failure&) {
    files.check_whole(kDoscarPath);
    throw;
  }
}

}  // namespace pdsplit
