// Files held in memory, for running the readers and the whole program
// without a disk: an opener of named texts whose reads can fail from a
// given byte on, come short or be interrupted, and a folder the tables are
// written to.
#pragma once

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "sources/source.h"
#include "output/disk.h"

namespace testing_support {

// What goes wrong when a file is read; by default nothing.
struct ReadFaults {
  std::uint64_t fail_at = UINT64_MAX;  // reads at this byte and after fail
  int fail_errno = EIO;
  std::size_t max_read = SIZE_MAX;  // bytes one read gives at most
  unsigned interrupt_every = 0;     // every n-th read is interrupted (0: none)
  bool size_known = true;           // whether the source tells its size
};

// Counts of what the sources of one opener were asked (by all threads); a
// short read gives fewer bytes than asked, not at the end.
struct ReadCounts {
  std::atomic<std::uint64_t> reads{0}, interrupted{0}, short_reads{0};
};

// Named files for the readers; every open of a name reads its text from the
// start, with `faults`.
class MemoryFiles : public pdsplit::Opener {
 public:
  void add(const std::string& name, std::string text);
  // A name that opens but is refused with `error` (EISDIR, or
  // pdsplit::kNotARegularFile).
  void refuse(const std::string& name, int error);

  pdsplit::Opened open(const std::string& path) override;
  // Files in memory are no file of the disk that a table could replace.
  pdsplit::FileId identity(const std::string&) override { return {}; }

  ReadFaults faults;
  ReadCounts counts;

 private:
  std::map<std::string, std::shared_ptr<const std::string>> texts_;
  std::map<std::string, int> refused_;
};

// What goes wrong when tables are written; by default nothing.
struct DiskFaults {
  std::map<std::string, int> folders = {};  // files made in "folder/" fail with this error
  std::map<std::string, int> targets = {};  // a table put in place under this name fails so
  std::string marker = {};  // writes of a text that begins with it fail: a full disk
  bool unforeseen = false;   // the target faults show only at the rename
  std::map<std::string, std::string> older = {};  // files there before the run
};

// A folder in memory for the tables: every call succeeds but the `faults`.
// Safe to call from several threads.
class MemoryDisk : public pdsplit::Disk {
 public:
  MemoryDisk() = default;
  explicit MemoryDisk(DiskFaults faults) : faults_(std::move(faults)), files_(faults_.older) {}
  int create_new(const std::string& path) override;
  long write(int fd, const char* data, std::size_t size) override;
  int close(int fd) override;
  int rename(const std::string& from, const std::string& to) override;
  int remove(const std::string& path) override;
  // The fault a rename to `path` would meet, told beforehand as the real
  // disk tells it; with `unforeseen`, only at the rename.
  int check_target(const std::string& path) override;

  // The files, by name.
  std::map<std::string, std::string> files() const;

 private:
  DiskFaults faults_;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> files_;
  std::map<int, std::string> open_;
  int next_fd_ = 3;
};

// A console stream in memory for runs of run(): what the stream opened by
// open() received, once close() is called.
class Captured {
 public:
  std::FILE* open() { return file_ = ::open_memstream(&text_, &size_); }
  std::string close() {
    std::fclose(file_);
    std::string text(text_, size_);
    std::free(text_);
    return text;
  }

 private:
  std::FILE* file_ = nullptr;
  char* text_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace testing_support
