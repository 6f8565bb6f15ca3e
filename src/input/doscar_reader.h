// Sequential line access to DOSCAR, read in large blocks.
//
// Lines are handed out as views into the reader's buffer, valid until the
// next call; a carriage return before the line feed is not part of a line,
// so files with Windows line ends read like any other. Nothing is allocated
// per line: the buffer only grows when one line is longer than it.
#pragma once

#include <cstdint>
#include <memory>

#include "base/array.h"
#include <string_view>

namespace pdsplit {

// The Failure for a DOSCAR that ends after `lines` lines where
// `needed_lines` are needed (0: not yet known).
[[noreturn]] void fail_doscar_ends(std::int64_t lines, std::int64_t needed_lines);

// The Failure for a DOSCAR that cannot be read, with the reason.
[[noreturn]] void fail_reading_doscar(std::string_view reason);

class DoscarReader {
 public:
  DoscarReader() = default;
  DoscarReader(const DoscarReader&) = delete;
  DoscarReader& operator=(const DoscarReader&) = delete;
  ~DoscarReader();

  // Opens the file for reading; false when it cannot be opened, a Failure
  // when it is no regular file (a directory, a pipe).
  bool open(const char* path);

  // Opens a file that an earlier reader of the run has opened: failing now
  // is an error of reading.
  void open_again(const char* path);

  // The next line, or false at the end of the file. Throws a Failure when
  // the file cannot be read.
  bool next_line(std::string_view& line);

  // The next line; at the end of the file throws the end-of-file Failure
  // that says the file needs `needed_lines` lines (0: not yet known).
  std::string_view require_line(std::int64_t needed_lines);

  // Skips `count` lines (none when count <= 0), with the end-of-file
  // Failure of require_line.
  void skip_lines(std::int64_t count, std::int64_t needed_lines);

  // The size of a regular file in bytes; 0 for anything else.
  std::uint64_t size() const { return size_; }

  // Where in the file the line after the last one handed out begins, and
  // the file itself, for readers that go on from there on their own.
  std::uint64_t unread_offset() const { return file_offset_ - (end_ - begin_); }
  int fd() const { return fd_; }

  // Number of the last line handed out, counted from 1.
  std::int64_t line_number() const { return line_number_; }

  // Whether the last line handed out was ended by a line feed (the last line
  // of a file need not be).
  bool line_complete() const { return line_complete_; }

 private:
  // Reads more of the file behind the unread bytes; false at end of file.
  bool refill();
  [[noreturn]] void fail_at_end(std::int64_t needed_lines) const;
  char* buffer() { return static_cast<char*>(buffer_.data()); }

  int fd_ = -1;
  Memory buffer_;
  std::size_t capacity_ = 0;
  std::size_t block_size_ = 0;
  std::uint64_t size_ = 0;
  std::uint64_t file_offset_ = 0;  // bytes read from the file so far
  std::size_t begin_ = 0;  // first unread byte
  std::size_t end_ = 0;    // one past the last byte read from the file
  bool at_eof_ = false;
  std::int64_t line_number_ = 0;
  bool line_complete_ = true;
};

}  // namespace pdsplit
