#include "input/line_blocks.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "base/array.h"
#include "base/failure.h"

namespace pdsplit {

namespace {

// Where the line feeds of `data[0, n)` are, written to `out` (resized as
// needed); returns how many. One pass over the text: a DOSCAR line is
// short, and a search per line would cost more in calls than in bytes.
std::size_t find_line_feeds(const char* data, std::size_t n,
                            std::vector<std::uint32_t>& out) {
  std::size_t count = 0, i = 0;
  auto make_room = [&](std::size_t entries) {
    if (out.size() < count + entries) out.resize(std::max(out.size() * 2, count + entries));
  };
#ifdef __SSE2__
  const __m128i lf = _mm_set1_epi8('\n');
  auto mask16 = [&](std::size_t at) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    return static_cast<std::uint64_t>(
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lf))));
  };
  for (; i + 64 <= n; i += 64) {
    std::uint64_t mask = mask16(i) | mask16(i + 16) << 16 | mask16(i + 32) << 32 |
                         mask16(i + 48) << 48;
    if (mask == 0) continue;
    make_room(64);
    std::uint32_t* to = out.data();
    do {
      to[count++] = static_cast<std::uint32_t>(i + static_cast<unsigned>(__builtin_ctzll(mask)));
      mask &= mask - 1;
    } while (mask != 0);
  }
#endif
  make_room(n - i);
  for (; i < n; ++i)
    if (data[i] == '\n') out[count++] = static_cast<std::uint32_t>(i);
  return count;
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

// The lines that start in one chunk of the file, read into memory of their
// own, with where their line feeds are.
class ChunkText {
 public:
  // Reads the lines starting in [begin, end); `at_line_start` says a line
  // starts at `begin` (else the line running into the chunk belongs to the
  // chunk before, which reads it to its end). Returns the number of lines.
  std::int64_t read(int fd, std::uint64_t begin, std::uint64_t end,
                    std::uint64_t file_size, bool at_line_start) {
    std::uint64_t from = at_line_start ? begin : begin - 1;
    std::size_t want = static_cast<std::size_t>(end - from);
    reserve(want + 4096);
    char* data = text_memory();
    std::size_t got = read_at(fd, data, want, from);
    std::size_t first = 0;
    if (!at_line_start) {
      const void* lf = std::memchr(data, '\n', got);
      // No line starts here: one line runs through the whole chunk.
      if (lf == nullptr) return done(data, 0);
      first = static_cast<std::size_t>(static_cast<const char*>(lf) - data) + 1;
      if (first >= want) return done(data, 0);
    }
    // The last line starting in the chunk runs on to the first line feed at
    // or after the chunk's last byte.
    std::size_t stop = got;
    if (got == want && from + got < file_size && data[got - 1] != '\n') {
      for (;;) {
        if (capacity_ - stop < 4096) grow(stop);
        data = text_memory();
        std::size_t more = read_at(fd, data + stop, capacity_ - stop, from + stop);
        const void* lf = std::memchr(data + stop, '\n', more);
        stop += more;
        if (lf != nullptr) {
          stop = static_cast<std::size_t>(static_cast<const char*>(lf) - data) + 1;
          break;
        }
        if (more == 0) break;  // the file ends inside the line
      }
    }
    return done(data + first, stop - first);
  }

  // Hands the lines, numbered from `first`, to `handle`, up to line `last`.
  void handle_lines(std::int64_t first, std::int64_t last,
                    const LineHandler& handle) const {
    const std::uint32_t* ends = line_ends_.data();
    std::size_t pos = 0;
    std::int64_t number = first;
    for (std::size_t k = 0; k < ends_; ++k) {
      if (number > last) return;
      std::size_t stop = ends[k], len = stop - pos;
      if (len > 0 && text_[stop - 1] == '\r') --len;
      handle(number++, text_.substr(pos, len), true);
      pos = stop + 1;
    }
    // A last line without its line feed.
    if (pos < text_.size() && number <= last)
      handle(number, text_.substr(pos), false);
  }

 private:
  std::int64_t done(const char* data, std::size_t size) {
    text_ = std::string_view(data, size);
    ends_ = find_line_feeds(data, size, line_ends_);
    return static_cast<std::int64_t>(ends_) + (size > 0 && data[size - 1] != '\n');
  }
  char* text_memory() const { return static_cast<char*>(memory_.data()); }
  void reserve(std::size_t size) {
    if (capacity_ >= size) return;
    allocate(size);
  }
  void allocate(std::size_t capacity) {
    // Whole pages and room to spare: every chunk after the first asks for
    // one byte more (the line feed before it), which must not cost a new
    // buffer.
    capacity = (capacity + 8191) & ~std::size_t{4095};
    Memory memory(capacity);
    if (memory.data() == nullptr) throw std::bad_alloc();
    memory_ = std::move(memory);
    capacity_ = capacity;
  }
  void grow(std::size_t keep) {
    Memory old = std::move(memory_);
    allocate(capacity_ * 2);
    std::memcpy(text_memory(), old.data(), keep);
  }

  Memory memory_;
  std::size_t capacity_ = 0;
  std::string_view text_;
  std::vector<std::uint32_t> line_ends_;
  std::size_t ends_ = 0;  // line feeds in text_
};

// What the threads share: how many lines each chunk holds, known as soon
// as the chunk is read, and from those the number of each chunk's first
// line; and the last chunk still worth handling.
class ChunkLedger {
 public:
  ChunkLedger(std::size_t chunks, std::int64_t first_line)
      : lines_(chunks, -1), first_line_(chunks + 1, 0) {
    first_line_[0] = first_line;
  }

  void counted(std::size_t chunk, std::int64_t lines) {
    std::lock_guard lock(mutex_);
    lines_[chunk] = lines;
    bool advanced = false;
    while (numbered_ < lines_.size() && lines_[numbered_] >= 0) {
      first_line_[numbered_ + 1] = first_line_[numbered_] + lines_[numbered_];
      ++numbered_;
      advanced = true;
    }
    if (advanced) changed_.notify_all();
  }

  // The number of the chunk's first line, once every chunk before it has
  // been counted; -1 when the chunk is no longer needed.
  std::int64_t first_line(std::size_t chunk) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return numbered_ >= chunk || chunk > last_needed_; });
    return chunk > last_needed_ ? -1 : first_line_[chunk];
  }

  // Chunks after `chunk` need no handling: its lines reach the last one
  // wanted, or handling them failed.
  void last_needed(std::size_t chunk) {
    std::lock_guard lock(mutex_);
    if (chunk < last_needed_) last_needed_ = chunk;
    changed_.notify_all();
  }
  bool needed(std::size_t chunk) {
    std::lock_guard lock(mutex_);
    return chunk <= last_needed_;
  }

  // The number of the line after the last chunk counted in an unbroken
  // run from the first: after the whole file, or after the chunk holding
  // the last line wanted.
  std::int64_t end_line() {
    std::lock_guard lock(mutex_);
    return first_line_[numbered_];
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::int64_t> lines_;  // -1: not counted yet
  std::vector<std::int64_t> first_line_;
  std::size_t numbered_ = 0;  // chunks whose first line number is known
  std::size_t last_needed_ = static_cast<std::size_t>(-1);
};

}  // namespace

void for_each_line(DoscarReader& reader, std::int64_t last_line,
                   std::int64_t needed_lines, unsigned threads,
                   const LineHandler& handle,
                   const std::function<void(std::size_t)>& on_block,
                   const ChunkPlan& plan) {
  std::int64_t next = reader.line_number() + 1;
  std::uint64_t start = reader.unread_offset(), size = reader.size();
  if (next > last_line || start >= size) {
    if (next <= last_line) fail_doscar_ends(next - 1, needed_lines);
    return;
  }
  std::uint64_t remaining = size - start;
  unsigned wanted = static_cast<unsigned>(std::clamp<std::uint64_t>(
      remaining / std::max<std::uint64_t>(plan.bytes_per_thread, 1), 1, std::max(threads, 1u)));
  std::uint64_t chunk_size = std::clamp<std::uint64_t>(
      remaining / (std::uint64_t{plan.chunks_per_thread} * wanted), plan.min_chunk,
      std::max(plan.max_chunk, plan.min_chunk));
  std::size_t chunks = static_cast<std::size_t>((remaining + chunk_size - 1) / chunk_size);
  wanted = static_cast<unsigned>(std::min<std::uint64_t>(wanted, chunks));
  ChunkLedger ledger(chunks, next);
  std::vector<std::exception_ptr> errors(chunks);
  std::atomic<std::uint64_t> bytes_done{0};

  // Worker w of `workers` handles chunks w, w + workers, ...; it reads and
  // counts its next chunk before handling the current one, so that the
  // threads after it seldom wait for a line number.
  auto work = [&](unsigned w, unsigned workers) {
    ChunkText text[2];
    auto read = [&](std::size_t chunk, ChunkText& into) {
      std::uint64_t begin = start + chunk * chunk_size;
      std::uint64_t end = std::min(begin + chunk_size, size);
      std::int64_t lines = 0;
      try {
        lines = into.read(reader.fd(), begin, end, size, chunk == 0);
      } catch (...) {
        errors[chunk] = std::current_exception();
        ledger.last_needed(chunk);
      }
      ledger.counted(chunk, lines);
    };
    // Alone, a thread needs no chunk ahead, and one buffer: memory used
    // for the first time is what a short run spends most on.
    const bool ahead = workers > 1;
    std::size_t chunk = w;
    int current = 0;
    read(chunk, text[current]);
    for (; chunk < chunks; chunk += workers, current ^= ahead) {
      if (ahead && chunk + workers < chunks && ledger.needed(chunk + workers))
        read(chunk + workers, text[current ^ 1]);
      if (!ahead && chunk != w) read(chunk, text[current]);
      std::int64_t first = ledger.first_line(chunk);
      if (first < 0) break;
      if (!errors[chunk]) {
        try {
          text[current].handle_lines(first, last_line, handle);
        } catch (...) {
          errors[chunk] = std::current_exception();
          ledger.last_needed(chunk);
        }
      }
      std::uint64_t begin = start + chunk * chunk_size;
      bytes_done += std::min(begin + chunk_size, size) - begin;
      if (w == 0 && on_block) on_block(static_cast<std::size_t>(bytes_done.exchange(0)));
      std::int64_t after = ledger.first_line(chunk + 1);
      if (after > last_line) ledger.last_needed(chunk);
      if (after < 0 || after > last_line) break;
    }
  };
  {
    // Chunks are dealt out by the number of workers, so the helpers start
    // only once it is known how many threads could be had.
    std::atomic<unsigned> workers{0};
    std::vector<std::jthread> helpers;
    for (unsigned w = 1; w < wanted; ++w) {
      try {
        helpers.emplace_back([&, w] {
          workers.wait(0);
          if (w < workers.load()) work(w, workers.load());
        });
      } catch (const std::system_error&) {
        break;  // fewer threads, same result
      }
    }
    workers = static_cast<unsigned>(helpers.size()) + 1;
    workers.notify_all();
    work(0, workers.load());
  }
  if (on_block) {
    if (std::uint64_t rest = bytes_done.exchange(0)) on_block(static_cast<std::size_t>(rest));
  }
  // The first fault in the file wins, as in a reading line by line.
  for (auto& error : errors)
    if (error) std::rethrow_exception(error);
  std::int64_t end = ledger.end_line();
  if (end <= last_line) fail_doscar_ends(end - 1, needed_lines);
}

}  // namespace pdsplit
