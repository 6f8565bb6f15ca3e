#include "input/line_blocks.h"

#include <unistd.h>

#include <algorithm>
#include <barrier>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <thread>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "driver/array.h"
#include "driver/failure.h"

namespace pdsplit {

namespace {

// Each thread reads and parses this much of the file per round.
constexpr std::uint64_t kChunk = std::uint64_t{4} << 20;
// Below this a part is not worth a thread of its own.
constexpr std::uint64_t kMinPiece = 256 << 10;

// The positions of every line feed in `text`, found in one pass: a DOSCAR
// line is short, and a search per line would cost more in calls than in
// bytes.
void find_line_feeds(std::string_view text, std::vector<std::size_t>& out) {
  out.clear();
  const char* data = text.data();
  std::size_t n = text.size(), i = 0;
#ifdef __SSE2__
  const __m128i lf = _mm_set1_epi8('\n');
  for (; i + 16 <= n; i += 16) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, lf)));
    while (mask != 0) {
      out.push_back(i + static_cast<unsigned>(__builtin_ctz(mask)));
      mask &= mask - 1;
    }
  }
#endif
  for (; i < n; ++i)
    if (data[i] == '\n') out.push_back(i);
}

// Hands the lines of `piece` (whose line feeds are at `ends`), numbered from
// `first`, to `handle`, up to line `last`.
void handle_lines(std::string_view piece, const std::vector<std::size_t>& ends,
                  std::int64_t first, std::int64_t last, const LineHandler& handle) {
  std::size_t pos = 0;
  std::int64_t number = first;
  for (std::size_t stop : ends) {
    if (number > last) return;
    std::size_t len = stop - pos;
    if (len > 0 && piece[stop - 1] == '\r') --len;
    handle(number++, piece.substr(pos, len), true);
    pos = stop + 1;
  }
  // A last line without its line feed.
  if (pos < piece.size() && number <= last) handle(number, piece.substr(pos), false);
}

// Reads up to `size` bytes at `offset`; fewer only at the end of the file.
std::size_t read_at(int fd, char* out, std::size_t size, std::uint64_t offset) {
  std::size_t got = 0;
  while (got < size) {
    ssize_t n = ::pread(fd, out + got, size - got, static_cast<off_t>(offset + got));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      fail_reading_doscar(std::strerror(errno));
    }
    got += static_cast<std::size_t>(n);
  }
  return got;
}

// One thread's share of a round: the lines that start in [begin, end) of
// the file, read into its own buffer.
struct Part {
  Memory buffer;
  std::string_view text;
  std::vector<std::size_t> ends;  // line feeds in `text`
  std::int64_t lines = 0;
  std::exception_ptr error;

  // `at_line_start`: a line starts at `begin` (else the line running into
  // the part belongs to the part before it, which reads it to its end).
  void read(int fd, std::uint64_t begin, std::uint64_t end, std::uint64_t file_size,
            bool at_line_start) {
    std::uint64_t from = at_line_start ? begin : begin - 1;
    std::size_t want = static_cast<std::size_t>(end - from);
    reserve(want + 4096);
    char* data = static_cast<char*>(buffer.data());
    std::size_t got = read_at(fd, data, want, from);
    std::size_t first = 0;
    if (!at_line_start) {
      const void* lf = std::memchr(data, '\n', got);
      // No line starts here: one line runs through the whole part.
      if (lf == nullptr) return done({});
      first = static_cast<std::size_t>(static_cast<const char*>(lf) - data) + 1;
      if (first >= want) return done({});
    }
    // The last line starting in the part runs on to the first line feed at
    // or after the part's last byte.
    std::size_t stop = got;
    if (got == want && from + got < file_size) {
      if (data[got - 1] != '\n') {
        for (;;) {
          if (buffer.size() - stop < 4096) grow(stop);
          data = static_cast<char*>(buffer.data());
          std::size_t more = read_at(fd, data + stop, buffer.size() - stop, from + stop);
          const void* lf = std::memchr(data + stop, '\n', more);
          stop += more;
          if (lf != nullptr) {
            stop = static_cast<std::size_t>(static_cast<const char*>(lf) - data) + 1;
            break;
          }
          if (more == 0) break;  // the file ends inside the line
        }
      }
    }
    done(std::string_view(data + first, stop - first));
  }

 private:
  void done(std::string_view lines_text) {
    text = lines_text;
    find_line_feeds(text, ends);
    lines = static_cast<std::int64_t>(ends.size()) +
            (!text.empty() && text.back() != '\n');
  }
  void reserve(std::size_t size) {
    if (buffer.size() >= size) return;
    buffer = Memory(size);
    if (buffer.data() == nullptr) throw std::bad_alloc();
  }
  void grow(std::size_t keep) {
    Memory bigger(buffer.size() * 2);
    if (bigger.data() == nullptr) throw std::bad_alloc();
    std::memcpy(bigger.data(), buffer.data(), keep);
    buffer = std::move(bigger);
  }
};

}  // namespace

void for_each_line(DoscarReader& reader, std::int64_t last_line,
                   std::int64_t needed_lines, unsigned threads,
                   const LineHandler& handle,
                   const std::function<void(std::size_t)>& on_block) {
  std::int64_t next = reader.line_number() + 1;
  // Every thread reads its own part of the file and counts its lines; once
  // all have counted, each knows the number of its first line and parses.
  std::uint64_t pos = reader.unread_offset(), size = reader.size();
  bool at_line_start = true;
  std::vector<Part> parts(std::max(threads, 1u));
  while (next <= last_line && pos < size) {
    std::uint64_t remaining = size - pos;
    auto used = static_cast<unsigned>(
        std::clamp<std::uint64_t>(remaining / kMinPiece, 1, parts.size()));
    std::uint64_t chunk = std::min(kChunk, (remaining + used - 1) / used);
    std::barrier counted(static_cast<std::ptrdiff_t>(used));
    auto work = [&](unsigned i) {
      Part& part = parts[i];
      part.error = nullptr;
      std::uint64_t begin = std::min(pos + chunk * i, size);
      std::uint64_t end = std::min(begin + chunk, size);
      try {
        part.read(reader.fd(), begin, end, size, i == 0 && at_line_start);
      } catch (...) {
        part.error = std::current_exception();
        part.text = {};
        part.ends.clear();
        part.lines = 0;
      }
      counted.arrive_and_wait();
      std::int64_t first = next;
      for (unsigned j = 0; j < i; ++j) first += parts[j].lines;
      if (part.error) return;
      try {
        handle_lines(part.text, part.ends, first, last_line, handle);
      } catch (...) {
        part.error = std::current_exception();
      }
    };
    {
      std::vector<std::jthread> helpers;
      for (unsigned i = 1; i < used; ++i) helpers.emplace_back(work, i);
      work(0);
    }
    // The first fault in the file wins, as in a reading line by line.
    for (unsigned i = 0; i < used; ++i)
      if (parts[i].error) std::rethrow_exception(parts[i].error);
    for (unsigned i = 0; i < used; ++i) next += parts[i].lines;
    std::uint64_t round_end = std::min(pos + chunk * used, size);
    if (on_block) on_block(static_cast<std::size_t>(round_end - pos));
    pos = round_end;
    at_line_start = false;
  }
  if (next <= last_line) fail_doscar_ends(next - 1, needed_lines);
}

}  // namespace pdsplit
