// A table file in the making: written to a temporary file beside the target
// that becomes the target on commit and disappears otherwise, so that no
// reader ever sees a half-written table and a failed run leaves an older
// table as it was. Standard output ("-") and nodes that are no regular
// file (Disk::in_place) are written directly instead: no temporary file,
// no rename.
#pragma once

#include <cstdio>
#include <string>

#include "base/failure.h"
#include "output/disk.h"

namespace pdsplit {

// The Failure "Cannot write" for the file `target`, with the system's
// reason for `error`.
Failure cannot_write(const std::string& target, int error);

class PendingFile {
 public:
  // Creates the temporary file, on any thread, or opens the node written
  // in place; with `standard_output`, the target "-" is written to it.
  // Throws the Failure for the target when it cannot be created or opened.
  PendingFile(const std::string& target, Disk& disk, std::FILE* standard_output = nullptr);
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile() { discard(); }

  // Writes all of `data`; 0, or the errno of the failure. Touches nothing
  // but the open file, so other threads may call it, one at a time per file.
  int write_all(const char* data, std::size_t size);

  // write_all, with fail() on a failure.
  void write(const char* data, std::size_t size) {
    if (int error = write_all(data, size)) fail(error);
  }

  // Closes the file, which stays a temporary file until commit (a run
  // may hold thousands of tables, more than it may keep open); 0, or the
  // errno of the failure. Other threads may call it, once per file.
  int close_early();

  const std::string& target() const { return target_; }
  // Whether the target is written directly rather than replaced.
  bool direct() const { return stream_ != nullptr || in_place_; }

  // Throws the Failure for the target, removing the temporary file, when
  // the disk says the target cannot take it (see Disk::check_target).
  void check_target();

  // Closes the file (unless closed early) and renames it to the target.
  void commit();

  // Removes the temporary file and throws the Failure "Cannot write" for
  // the target with the system's reason for `error`.
  [[noreturn]] void fail(int error);

 private:
  void discard();

  std::string target_;
  Disk& disk_;
  std::string temp_;
  int fd_ = -1;
  std::FILE* stream_ = nullptr;  // standard output
  bool in_place_ = false;
};

}  // namespace pdsplit
