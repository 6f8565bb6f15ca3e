// Sequential line access to DOSCAR, read from its Source in large blocks.
//
// Lines are handed out as views into the reader's buffer, valid until the
// next line is asked for; a carriage return before the line feed is not
// part of a line, so files with Windows line ends read like any other.
// Nothing is allocated per line.
//
// Memory stays bounded whatever the file holds: of a line longer than the
// reader keeps (kKeptLineLength characters, or more when asked for), the
// first characters are handed out at once and the rest is skipped, without
// being held, only when the reader goes on. A file of gigabytes without a
// line feed thus fails on its first line at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/array.h"
#include "sources/source.h"

namespace pdsplit {

// The characters of a line that every reader keeps at least: more than
// any field of a DOSCAR header or value line of up to 84 values reaches.
inline constexpr std::size_t kKeptLineLength = 1024;

// The Failure for a DOSCAR that ends after `lines` lines where
// `needed_lines` are needed (0: not yet known).
[[noreturn]] void fail_doscar_ends(std::int64_t lines, std::int64_t needed_lines);

// The Failure for a DOSCAR that cannot be read, with the reason.
[[noreturn]] void fail_reading_doscar(std::string_view reason);

class DoscarReader {
 public:
  // Keeps the first `kept` characters of each line, and at least
  // kKeptLineLength.
  explicit DoscarReader(std::size_t kept = kKeptLineLength);
  DoscarReader(const DoscarReader&) = delete;
  DoscarReader& operator=(const DoscarReader&) = delete;

  // Opens the file for reading; false when it cannot be opened, a Failure
  // when it is no regular file (a directory, a pipe).
  bool open(Opener& files, const char* path);

  // Opens a file that an earlier reader of the run has opened: failing now
  // is an error of reading.
  void open_again(Opener& files, const char* path);

  // The next line (its first kept() characters), or false at the end of
  // the file. Throws a Failure when the file cannot be read.
  bool next_line(std::string_view& line);

  // The next line; at the end of the file throws the end-of-file Failure
  // that says the file needs `needed_lines` lines (0: not yet known).
  std::string_view require_line(std::int64_t needed_lines);

  // Skips `count` lines (none when count <= 0), with the end-of-file
  // Failure of require_line.
  void skip_lines(std::int64_t count, std::int64_t needed_lines);

  // The size of the file in bytes when known (a regular file); 0 else.
  std::uint64_t size() const { return size_; }

  // How many characters of a line are kept.
  std::size_t kept() const { return kept_; }

  // Number of the last line handed out, counted from 1.
  std::int64_t line_number() const { return line_number_; }

  // Whether the last line handed out was ended by a line feed (the last
  // line of a file need not be). A line longer than kept() counts as ended:
  // it holds every field a reader looks at.
  bool line_complete();

  // For a reader that goes on from here on its own: skips the rest of the
  // last line handed out and hands over the source with the bytes read
  // from it beyond that line (valid while this reader lives), which begin
  // at byte `offset` of the file. This reader is then done.
  struct Rest {
    Source& source;
    std::string_view buffered;
    std::uint64_t offset;
  };
  Rest hand_over();

 private:
  // Reads more of the file behind the unread bytes; false at end of file.
  bool refill();
  void adopt(std::unique_ptr<Source> source);
  // Skips what is left of a line cut at kept() characters.
  void skip_rest_of_line();
  void hand_out(std::size_t length, std::size_t next, bool complete,
                std::string_view& line);
  void hand_out_cut_line(std::string_view& line);
  [[noreturn]] void fail_at_end(std::int64_t needed_lines) const;
  char* buffer() { return static_cast<char*>(buffer_.data()); }

  std::unique_ptr<Source> source_;
  std::size_t kept_;
  Memory buffer_;
  std::size_t capacity_ = 0;
  std::uint64_t size_ = 0;
  std::uint64_t file_offset_ = 0;  // bytes read from the file so far
  std::size_t begin_ = 0;  // first unread byte
  std::size_t end_ = 0;    // one past the last byte read from the file
  bool at_eof_ = false;
  std::int64_t line_number_ = 0;
  bool line_complete_ = true;
  bool cut_ = false;       // the rest of the last line is still to skip
  std::string cut_line_;   // the kept characters of a cut line
};

}  // namespace pdsplit
