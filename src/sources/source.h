// The calls through which every reader opens and reads DOSCAR, behind one
// interface so that tests can hold files in memory and make reading fail,
// come short or be interrupted at any point, without touching a disk.
//
// A source is read front to back only: no seeking, no mapping. Whatever
// can hand out a file's bytes in order (a decompressor, too) can stand
// behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/file_id.h"

namespace pdsplit {

// A file opened for reading.
class Source {
 public:
  virtual ~Source() = default;
  // Reads up to `size` bytes (size > 0) that follow those read so far into
  // `out`: the count, 0 at the end of the file, or -errno. A call may give
  // fewer bytes than asked for anywhere in the file, and -EINTR, which
  // callers retry.
  virtual long read(char* out, std::size_t size) = 0;
  // The size in bytes, when known beforehand (a regular file).
  virtual std::optional<std::uint64_t> size() const = 0;
};

// The error of a file that is there but no regular file (a pipe, a device):
// no errno says this.
inline constexpr int kNotARegularFile = -1;

// What opening a file gives: the source, or why there is none.
struct Opened {
  std::unique_ptr<Source> source;  // null when the file cannot be read
  // When null: the errno, or kNotARegularFile.
  int error = 0;
  // When null: true when the file could be opened but is refused (a
  // directory, no regular file, its status unknown); false when it could
  // not be opened at all (missing, forbidden).
  bool refused = false;
};

// The text for an error of Opened: strerror, or "not a regular file".
std::string describe_open_error(int error);

class Opener {
 public:
  virtual ~Opener() = default;
  virtual Opened open(const std::string& path) = 0;
  // Which file `path` leads to, so that no table replaces it; unknown for
  // files that are not on a disk.
  virtual FileId identity(const std::string& path) { return file_id_of_target(path); }
  // The name of the file that `path` opens, for the user.
  virtual std::string name_of(const std::string& path) { return path; }
  // After a reading failure: throws a Failure of its own when the file
  // itself is damaged (a compressed file whose data is corrupt hands out
  // garbage before its check fails), so that the user hears the cause.
  virtual void check_whole(const std::string& path) { (void)path; }
};

// The real file system. Only regular files are opened: every reader of a
// run opens the file afresh, and only a regular file reads the same each
// time. Opening never waits (a named pipe without a writer is refused at
// once).
Opener& system_opener();

}  // namespace pdsplit
