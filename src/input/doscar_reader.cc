#include "input/doscar_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "base/failure.h"

namespace pdsplit {

DoscarReader::~DoscarReader() {
  if (fd_ >= 0) ::close(fd_);
}

namespace {
// The readers go through the top of the file line by line; the atom blocks
// are read by the parsing threads themselves (see line_blocks.h).
constexpr std::size_t kBlockSize = std::size_t{64} << 10;
}  // namespace

void fail_reading_doscar(std::string_view reason) {
  throw stop_with_message("Error! Cannot read DOSCAR: " + std::string(reason));
}

void DoscarReader::open_again(const char* path) {
  if (!open(path)) fail_reading_doscar(std::strerror(errno));
}

bool DoscarReader::open(const char* path) {
  // Without O_NONBLOCK a named pipe would wait for a writer, and the second
  // reader of a run would wait forever.
  fd_ = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) return false;
  struct stat st;
  if (::fstat(fd_, &st) != 0) fail_reading_doscar(std::strerror(errno));
  if (S_ISDIR(st.st_mode)) fail_reading_doscar(std::strerror(EISDIR));
  // Every reader of a run opens the file afresh: only a regular file reads
  // the same each time.
  if (!S_ISREG(st.st_mode)) fail_reading_doscar("not a regular file");
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  size_ = static_cast<std::uint64_t>(st.st_size);
  // A small file needs no more buffer than its size.
  block_size_ = std::clamp<std::size_t>(static_cast<std::size_t>(st.st_size) + 1,
                                        4096, kBlockSize);
  return true;
}

bool DoscarReader::refill() {
  if (at_eof_) return false;
  if (begin_ > 0) {
    std::memmove(buffer(), buffer() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == capacity_) {
    // One line longer than the buffer: make room for it.
    std::size_t grown = capacity_ == 0 ? block_size_ : capacity_ * 2;
    Memory bigger(grown);
    if (bigger.data() == nullptr) throw std::bad_alloc();
    if (end_ > 0) std::memcpy(bigger.data(), buffer(), end_);
    buffer_ = std::move(bigger);
    capacity_ = grown;
  }
  for (;;) {
    ssize_t got = ::read(fd_, buffer() + end_, capacity_ - end_);
    if (got > 0) {
      end_ += static_cast<std::size_t>(got);
      file_offset_ += static_cast<std::uint64_t>(got);
      return true;
    }
    if (got == 0) {
      at_eof_ = true;
      return false;
    }
    if (errno != EINTR) fail_reading_doscar(std::strerror(errno));
  }
}

bool DoscarReader::next_line(std::string_view& line) {
  std::size_t scanned = begin_;
  for (;;) {
    const char* base = buffer();
    const void* lf =
        end_ > scanned ? std::memchr(base + scanned, '\n', end_ - scanned)
                       : nullptr;
    if (lf != nullptr) {
      std::size_t stop = static_cast<std::size_t>(
          static_cast<const char*>(lf) - base);
      std::size_t len = stop - begin_;
      if (len > 0 && base[stop - 1] == '\r') --len;
      line = std::string_view(base + begin_, len);
      begin_ = stop + 1;
      line_complete_ = true;
      ++line_number_;
      return true;
    }
    // Every unread byte has been searched already; only new ones need it.
    std::size_t searched = end_ - begin_;
    if (!refill()) {
      if (end_ == begin_) return false;
      // The last line of a file without a final line feed.
      line = std::string_view(buffer() + begin_, end_ - begin_);
      begin_ = end_;
      line_complete_ = false;
      ++line_number_;
      return true;
    }
    scanned = begin_ + searched;
  }
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
