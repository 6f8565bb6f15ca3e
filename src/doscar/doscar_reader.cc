#include "doscar/doscar_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "base/failure.h"

namespace pdsplit {

namespace {
// The readers go through the top of the file line by line; the atom blocks
// are parsed by several threads (see line_blocks.h).
constexpr std::size_t kBlockSize = std::size_t{64} << 10;
}  // namespace

void fail_reading_doscar(std::string_view reason) {
  throw stop_with_message("Error! Cannot read DOSCAR: " + std::string(reason));
}

DoscarReader::DoscarReader(std::size_t kept)
    : kept_(std::max(kept, kKeptLineLength)) {}

bool DoscarReader::open(Opener& files, const char* path) {
  Opened opened = files.open(path);
  if (opened.source == nullptr) {
    if (!opened.refused) return false;
    fail_reading_doscar(describe_open_error(opened.error));
  }
  adopt(std::move(opened.source));
  return true;
}

void DoscarReader::open_again(Opener& files, const char* path) {
  Opened opened = files.open(path);
  if (opened.source == nullptr) fail_reading_doscar(describe_open_error(opened.error));
  adopt(std::move(opened.source));
}

void DoscarReader::adopt(std::unique_ptr<Source> source) {
  source_ = std::move(source);
  std::size_t block = kBlockSize;
  if (auto size = source_->size()) {
    size_ = *size;
    // A small file needs no more buffer than its size.
    block = static_cast<std::size_t>(std::clamp<std::uint64_t>(size_ + 1, 4096, kBlockSize));
  }
  // Room for a whole kept line and the byte after it, and as much again to
  // read into.
  capacity_ = std::max(block, 2 * (kept_ + 1));
  buffer_ = Memory(capacity_);
  if (buffer_.data() == nullptr) throw std::bad_alloc();
}

bool DoscarReader::refill() {
  if (at_eof_) return false;
  // Only a line shorter than kept() stays unread here: there is room.
  if (begin_ > 0) {
    std::memmove(buffer(), buffer() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  for (;;) {
    long got = source_->read(buffer() + end_, capacity_ - end_);
    if (got > 0) {
      end_ += static_cast<std::size_t>(got);
      file_offset_ += static_cast<std::uint64_t>(got);
      return true;
    }
    if (got == 0) {
      at_eof_ = true;
      return false;
    }
    if (got != -EINTR) fail_reading_doscar(std::strerror(static_cast<int>(-got)));
  }
}

bool DoscarReader::next_line(std::string_view& line) {
  skip_rest_of_line();
  std::size_t searched = 0;  // unread bytes known to hold no line feed
  for (;;) {
    // Searched no further than the kept characters and the byte after
    // them (a line feed, or a carriage return before one): a line without
    // a line feed there is cut.
    std::size_t window = std::min(end_ - begin_, kept_ + 1);
    const char* from = buffer() + begin_;
    if (const void* lf = std::memchr(from + searched, '\n', window - searched)) {
      std::size_t length = static_cast<std::size_t>(static_cast<const char*>(lf) - from);
      std::size_t next = begin_ + length + 1;
      if (length > 0 && from[length - 1] == '\r') --length;
      hand_out(length, next, true, line);
      return true;
    }
    searched = window;
    if (window > kept_) {
      hand_out_cut_line(line);
      return true;
    }
    if (!refill()) {
      if (end_ == begin_) return false;
      // The last line of a file without a final line feed.
      hand_out(end_ - begin_, end_, false, line);
      return true;
    }
  }
}

void DoscarReader::hand_out(std::size_t length, std::size_t next, bool complete,
                            std::string_view& line) {
  line = std::string_view(buffer() + begin_, length);
  begin_ = next;
  line_complete_ = complete;
  ++line_number_;
}

void DoscarReader::hand_out_cut_line(std::string_view& line) {
  // Kept apart: skipping the rest of the line reuses the buffer while the
  // line handed out must stay valid.
  cut_line_.assign(buffer() + begin_, kept_);
  line = cut_line_;
  begin_ += kept_;
  cut_ = true;
  ++line_number_;
}

void DoscarReader::skip_rest_of_line() {
  if (!cut_) return;
  cut_ = false;
  for (;;) {
    const char* from = buffer() + begin_;
    if (const void* lf = std::memchr(from, '\n', end_ - begin_)) {
      begin_ += static_cast<std::size_t>(static_cast<const char*>(lf) - from) + 1;
      line_complete_ = true;
      return;
    }
    begin_ = end_;
    if (!refill()) {
      line_complete_ = false;
      return;
    }
  }
}

bool DoscarReader::line_complete() {
  // A line longer than is kept holds every field a reader looks at: it
  // counts as ended, without reading on to its end (which a line that
  // never ends would not reach for gigabytes).
  if (cut_) return true;
  return line_complete_;
}

DoscarReader::Rest DoscarReader::hand_over() {
  skip_rest_of_line();
  std::string_view buffered(buffer() + begin_, end_ - begin_);
  std::uint64_t offset = file_offset_ - buffered.size();
  begin_ = end_;
  return Rest{*source_, buffered, offset};
}

std::string_view DoscarReader::require_line(std::int64_t needed_lines) {
  std::string_view line;
  if (!next_line(line)) fail_at_end(needed_lines);
  return line;
}

void DoscarReader::skip_lines(std::int64_t count, std::int64_t needed_lines) {
  std::string_view line;
  for (std::int64_t i = 0; i < count; ++i)
    if (!next_line(line)) fail_at_end(needed_lines);
}

void DoscarReader::fail_at_end(std::int64_t needed_lines) const {
  fail_doscar_ends(line_number_, needed_lines);
}

void fail_doscar_ends(std::int64_t lines, std::int64_t needed_lines) {
  std::string message = "Error! DOSCAR ends at line " + std::to_string(lines);
  if (needed_lines > 0)
    message += ", but its header needs " + std::to_string(needed_lines) +
               " lines";
  else
    message += ", but a DOSCAR has at least 8 lines";
  throw stop_with_message(std::move(message));
}

}  // namespace pdsplit
