#include "blocks/line_blocks.h"

#include "base/parallel.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <string>
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

// The last line feed of data[0, n), or null. A chunk's last line is short:
// the search from the end is brief.
const char* last_line_feed(const char* data, std::size_t n) {
  for (std::size_t i = n; i > 0; --i)
    if (data[i - 1] == '\n') return data + i - 1;
  return nullptr;
}

// The Failure of a file that cannot be read, to be thrown later.
std::exception_ptr reading_failure(int error) {
  try {
    fail_reading_doscar(std::strerror(error));
  } catch (...) {
    return std::current_exception();
  }
}

// The text of one chunk: whole lines (the last line of the file may lack
// its line feed), each cut at `kept` characters, in memory of its own,
// with where their line feeds are.
class ChunkText {
 public:
  explicit ChunkText(std::size_t kept) : kept_(kept) {}

  // Memory for `capacity` bytes of text, to be filled and then sized with
  // set_size; what it held before is gone.
  char* room(std::size_t capacity) {
    if (capacity_ < capacity) {
      // Whole pages and room to spare.
      capacity = (capacity + 8191) & ~std::size_t{4095};
      memory_ = Memory(capacity);
      if (memory_.data() == nullptr) {
        capacity_ = 0;
        throw std::bad_alloc();
      }
      capacity_ = capacity;
    }
    size_ = 0;
    return data();
  }
  void set_size(std::size_t size) { size_ = size; }

  // Finds the line ends; returns the number of lines.
  std::int64_t count_lines() {
    ends_ = find_line_feeds(data(), size_, line_ends_);
    return static_cast<std::int64_t>(ends_) + (size_ > 0 && data()[size_ - 1] != '\n');
  }

  // Hands the lines, numbered from `first`, to `worker`, up to line `last`.
  void handle_lines(std::int64_t first, std::int64_t last, LineWorker& worker) const {
    std::string_view text(data(), size_);
    const std::uint32_t* ends = line_ends_.data();
    std::size_t pos = 0;
    std::int64_t number = first;
    for (std::size_t k = 0; k < ends_; ++k) {
      if (number > last) return;
      std::size_t stop = ends[k], len = stop - pos;
      if (len > 0 && text[stop - 1] == '\r') --len;
      worker.line(number++, text.substr(pos, std::min(len, kept_)), true);
      pos = stop + 1;
    }
    // A last line without its line feed; one longer than is kept counts
    // as ended, as DoscarReader counts it (it holds every field read), and
    // as it is counted when it runs over chunks and is handed out cut.
    if (pos < text.size() && number <= last)
      worker.line(number, text.substr(pos, std::min(text.size() - pos, kept_)),
                  text.size() - pos > kept_);
  }

 private:
  char* data() const { return static_cast<char*>(memory_.data()); }

  std::size_t kept_;
  Memory memory_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  std::vector<std::uint32_t> line_ends_;
  std::size_t ends_ = 0;  // line feeds in the text
};

// What the threads share: how many lines each chunk holds, known as soon
// as the chunk is read, and from those the number of each chunk's first
// line; the last chunk still worth handling; the first failure in the file.
class ChunkLedger {
 public:
  ChunkLedger(std::int64_t first_line, LineJob& job) : first_line_{first_line}, job_(job) {}

  void counted(std::size_t chunk, std::int64_t lines) {
    std::lock_guard lock(mutex_);
    if (lines_.size() <= chunk) lines_.resize(chunk + 1, -1);
    lines_[chunk] = lines;
    bool advanced = false;
    while (numbered_ < lines_.size() && lines_[numbered_] >= 0) {
      first_line_.push_back(first_line_[numbered_] + lines_[numbered_]);
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
  // wanted, or it failed.
  void last_needed(std::size_t chunk) {
    {
      std::lock_guard lock(mutex_);
      if (chunk < last_needed_) last_needed_ = chunk;
      changed_.notify_all();
    }
    // Outside the lock: workers waiting in the job need not know the ledger.
    job_.needed_up_to(chunk);
  }
  bool needed(std::size_t chunk) {
    std::lock_guard lock(mutex_);
    return chunk <= last_needed_;
  }

  // Handling or reading `chunk` failed: the first failure in the file
  // wins, and the chunks after it are not needed.
  void failed(std::size_t chunk, std::exception_ptr error) {
    {
      std::lock_guard lock(mutex_);
      if (failure_ == nullptr || chunk < failed_chunk_) {
        failure_ = std::move(error);
        failed_chunk_ = chunk;
      }
    }
    last_needed(chunk);
  }

  // Throws the first failure, unless it lies after the last line wanted.
  void rethrow_failure() {
    std::lock_guard lock(mutex_);
    if (failure_ != nullptr && failed_chunk_ <= last_needed_) std::rethrow_exception(failure_);
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
  std::vector<std::int64_t> first_line_;  // of chunks 0 .. numbered_
  std::size_t numbered_ = 0;  // chunks whose first line number is known
  std::size_t last_needed_ = static_cast<std::size_t>(-1);
  std::exception_ptr failure_;
  std::size_t failed_chunk_ = 0;
  LineJob& job_;
};

// A chunk as read: its place in the file, the bytes read for it, and the
// failure of reading that ended the file after its lines, if any.
struct Chunk {
  std::size_t index = 0;
  std::uint64_t bytes = 0;
  std::exception_ptr error;
};

// Cuts the file into chunks of whole lines, reading it front to back: one
// thread at a time reads the next chunk and carries the start of the line
// that runs past its end over to the chunk after it. Of a line longer than
// `kept`, no more than kept + 1 bytes (the +1 tells a cut line from one of
// kept bytes and a carriage return) are carried; the rest is skipped.
class ChunkReader {
 public:
  ChunkReader(Source& source, std::string_view buffered, std::uint64_t chunk_size,
              std::size_t kept, ChunkLedger& ledger)
      : source_(source), pending_(buffered), chunk_size_(chunk_size), kept_(kept),
        ledger_(ledger) {}

  // Reads the next chunk into `text`; nothing once the file has ended or
  // failed, or the chunks left are not needed.
  std::optional<Chunk> next(ChunkText& text) {
    std::lock_guard lock(mutex_);
    if (done_ || !ledger_.needed(next_index_)) return std::nullopt;
    Chunk chunk;
    chunk.index = next_index_++;
    try {
      fill(text, chunk);
    } catch (...) {
      text.set_size(0);
      chunk.error = std::current_exception();
      done_ = true;
    }
    return chunk;
  }

 private:
  void fill(ChunkText& text, Chunk& chunk);
  std::size_t read_up_to(char* out, std::size_t size, Chunk& chunk);
  long read_some(char* out, std::size_t size);
  std::size_t drop_skipped(char* data, std::size_t from, std::size_t size);

  std::mutex mutex_;
  Source& source_;
  std::string_view pending_;  // read before the chunks, not handed out yet
  std::uint64_t chunk_size_;
  std::size_t kept_;
  ChunkLedger& ledger_;
  std::string carry_;      // the start of the line running into the next chunk
  bool skipping_ = false;  // the carried line is cut: skip to its line feed
  bool cut_handed_ = false;  // ... and was handed out, ended, already
  bool at_end_ = false;
  int error_ = 0;          // errno of the read that failed
  bool done_ = false;
  std::size_t next_index_ = 0;
};

void ChunkReader::fill(ChunkText& text, Chunk& chunk) {
  std::size_t limit = kept_ + 1;  // bytes of a line carried at most
  char* data = text.room(limit + static_cast<std::size_t>(chunk_size_));
  std::size_t size = carry_.size();
  std::memcpy(data, carry_.data(), size);
  carry_.clear();
  for (;;) {
    // Before `from` there is no line feed.
    std::size_t from = size;
    size += read_up_to(data + size, static_cast<std::size_t>(chunk_size_), chunk);
    if (skipping_) size = drop_skipped(data, from, size);
    const char* lf = last_line_feed(data + from, size - from);
    if (error_ != 0) {
      // Only the lines read whole before the fault.
      text.set_size(lf != nullptr ? static_cast<std::size_t>(lf - data) + 1 : 0);
      chunk.error = reading_failure(error_);
      done_ = true;
      return;
    }
    if (at_end_) {
      text.set_size(size);  // the last line needs no line feed
      done_ = true;
      return;
    }
    if (lf != nullptr) {
      std::size_t end = static_cast<std::size_t>(lf - data) + 1;
      carry_.assign(data + end, std::min(size - end, limit));
      skipping_ = size - end > limit;
      text.set_size(end);
      return;
    }
    // No line ends in what was read. A line longer than is kept is handed
    // out now, cut, as a line of its own, and the rest of it skipped by
    // the chunks after: its fields are judged before the rest is read, so
    // that a line that never ends (gigabytes of zeros) fails at once.
    if (size > limit || (size == limit && skipping_)) {
      size = std::min(size, limit);
      data[size] = '\n';
      text.set_size(size + 1);
      skipping_ = true;
      cut_handed_ = true;
      return;
    }
    // Chunks are no longer needed once an earlier one holds the last line
    // wanted or failed: no reading on to the file's end.
    if (!ledger_.needed(chunk.index)) {
      text.set_size(0);
      done_ = true;
      return;
    }
  }
}

// Reads `size` bytes, fewer only when the file ends or fails.
std::size_t ChunkReader::read_up_to(char* out, std::size_t size, Chunk& chunk) {
  std::size_t got = 0;
  while (got < size) {
    long n = read_some(out + got, size - got);
    if (n == -EINTR) continue;
    if (n < 0) {
      error_ = static_cast<int>(-n);
      break;
    }
    if (n == 0) {
      at_end_ = true;
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  chunk.bytes += got;
  return got;
}

long ChunkReader::read_some(char* out, std::size_t size) {
  if (pending_.empty()) return source_.read(out, size);
  std::size_t n = std::min(size, pending_.size());
  std::memcpy(out, pending_.data(), n);
  pending_.remove_prefix(n);
  return static_cast<long>(n);
}

// Drops the bytes of data[from, size) up to the line feed that ends the
// cut line carried before `from`; returns the size left.
std::size_t ChunkReader::drop_skipped(char* data, std::size_t from, std::size_t size) {
  const void* lf = std::memchr(data + from, '\n', size - from);
  if (lf == nullptr) return from;
  std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
  // A line handed out cut was ended then: its own line feed goes too.
  if (cut_handed_) ++at;
  cut_handed_ = false;
  std::memmove(data + from, data + at, size - at);
  skipping_ = false;
  return size - (at - from);
}

// The worker loop every thread runs: take the next chunk, count its lines,
// wait for the number of its first line, handle them.
class LineRun {
 public:
  LineRun(ChunkReader& reader, ChunkLedger& ledger, std::int64_t last_line,
          LineJob& job, std::size_t kept)
      : reader_(reader), ledger_(ledger), last_line_(last_line), job_(job),
        kept_(kept) {}

  // Works until no chunk is left; `report`, when given, hears the bytes
  // handled (by any thread) after each chunk.
  void work(const std::function<void(std::size_t)>& report) {
    ChunkText text(kept_);
    std::unique_ptr<LineWorker> worker = job_.worker();
    while (std::optional<Chunk> chunk = reader_.next(text)) {
      bool more = take(*chunk, text, *worker);
      if (report) report(static_cast<std::size_t>(bytes_done_.exchange(0)));
      if (!more) break;
    }
  }

  // work() on a helper thread: a helper that cannot get the memory it
  // needs leaves the chunks to the other threads.
  void help() {
    try {
      work({});
    } catch (const std::bad_alloc&) {
    }
  }

  // Bytes handled and not reported yet.
  std::uint64_t unreported() { return bytes_done_.exchange(0); }

 private:
  // Handles the chunk's lines; false when no chunk after it is needed.
  bool take(const Chunk& chunk, ChunkText& text, LineWorker& worker) {
    std::int64_t lines = 0;
    bool counted = true;
    try {
      lines = text.count_lines();
    } catch (...) {
      counted = false;
      ledger_.failed(chunk.index, std::current_exception());
    }
    // Counted, or not, at once: the threads after wait for it.
    ledger_.counted(chunk.index, lines);
    std::int64_t first = ledger_.first_line(chunk.index);
    if (!counted || first < 0) return false;
    bool handled = true;
    try {
      worker.begin_chunk(chunk.index);
      text.handle_lines(first, last_line_, worker);
      worker.end_chunk();
    } catch (...) {
      handled = false;
      ledger_.failed(chunk.index, std::current_exception());
    }
    std::int64_t after = first + lines;  // the line after the chunk
    // A fault of reading after the last line wanted does not matter.
    if (handled && chunk.error != nullptr && after <= last_line_)
      ledger_.failed(chunk.index, chunk.error);
    bytes_done_ += chunk.bytes;
    if (after > last_line_) ledger_.last_needed(chunk.index);
    return handled && chunk.error == nullptr && after <= last_line_;
  }

  ChunkReader& reader_;
  ChunkLedger& ledger_;
  std::int64_t last_line_;
  LineJob& job_;
  std::size_t kept_;
  std::atomic<std::uint64_t> bytes_done_{0};
};

// How many threads to run and how large a chunk to read.
struct Cut {
  unsigned threads = 1;
  std::uint64_t chunk_size = 1;
};

Cut cut_for(std::optional<std::uint64_t> remaining, unsigned threads, const ChunkPlan& plan) {
  Cut cut;
  std::uint64_t max_chunk = std::max<std::uint64_t>({plan.max_chunk, plan.min_chunk, 1});
  std::uint64_t min_chunk = std::max<std::uint64_t>(plan.min_chunk, 1);
  threads = std::max(threads, 1u);
  if (!remaining) return Cut{threads, max_chunk};
  cut.threads = static_cast<unsigned>(std::clamp<std::uint64_t>(
      *remaining / std::max<std::uint64_t>(plan.bytes_per_thread, 1), 1, threads));
  std::uint64_t per_thread = std::max<std::uint64_t>(plan.chunks_per_thread, 1);
  cut.chunk_size = std::clamp<std::uint64_t>(*remaining / (per_thread * cut.threads),
                                             min_chunk, max_chunk);
  std::uint64_t chunks = std::max<std::uint64_t>((*remaining + cut.chunk_size - 1) / cut.chunk_size, 1);
  cut.threads = static_cast<unsigned>(std::min<std::uint64_t>(cut.threads, chunks));
  return cut;
}

// Runs `run` on the calling thread and up to threads - 1 helpers (fewer
// when the system refuses them: same result).
void run_on_threads(unsigned threads, LineRun& run,
                    const std::function<void(std::size_t)>& report) {
  std::vector<std::jthread> helpers =
      start_threads(threads > 0 ? threads - 1 : 0, [&run](unsigned) { run.help(); });
  run.work(report);
}

}  // namespace

void for_each_line(DoscarReader& reader, std::int64_t last_line,
                   std::int64_t needed_lines, unsigned threads, LineJob& job,
                   const std::function<void(std::size_t)>& on_block,
                   const ChunkPlan& plan) {
  std::int64_t next = reader.line_number() + 1;
  if (next > last_line) return;
  DoscarReader::Rest rest = reader.hand_over();
  std::optional<std::uint64_t> remaining = rest.source.size();
  if (remaining) *remaining = *remaining > rest.offset ? *remaining - rest.offset : 0;
  Cut cut = cut_for(remaining, threads, plan);
  ChunkLedger ledger(next, job);
  ChunkReader chunks(rest.source, rest.buffered, cut.chunk_size, reader.kept(), ledger);
  LineRun run(chunks, ledger, last_line, job, reader.kept());
  run_on_threads(cut.threads, run, on_block);
  if (on_block) {
    if (std::uint64_t bytes = run.unreported()) on_block(static_cast<std::size_t>(bytes));
  }
  // The first fault in the file wins, as in a reading line by line.
  ledger.rethrow_failure();
  std::int64_t end = ledger.end_line();
  if (end <= last_line) fail_doscar_ends(end - 1, needed_lines);
}

}  // namespace pdsplit
