// Parsing the lines of a large file on several threads, with the line
// numbers and the error a sequential read would give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "base/parallel.h"
#include "doscar/doscar_reader.h"

namespace pdsplit {

// How a file is cut for the threads. A thread is worth starting only for
// `bytes_per_thread` of file or more: what one parses in the time it costs
// to start (kThreadStartCost). The file is read front to back in
// chunks of at least `chunks_per_thread` per thread within [min_chunk,
// max_chunk] (max_chunk when the size of the file is not known), each
// taken by the next thread that is free: a chunk and its line table stay
// in a core's cache between reading and parsing, and the buffer a thread
// reads into is used again from chunk to chunk (memory used for the first
// time costs most in a short run). Tests cut small files finely.
struct ChunkPlan {
  // A thread parses about 2 MB of DOSCAR a millisecond.
  std::uint64_t bytes_per_thread = work_worth_a_thread(std::uint64_t{2} << 20);
  std::uint32_t chunks_per_thread = 16;
  std::uint64_t min_chunk = 64 << 10;
  std::uint64_t max_chunk = 512 << 10;
};

// The lines of one thread, for handlers that keep state from line to line:
// each thread that handles lines has a worker of its own, used on that
// thread only. A chunk's lines come between begin_chunk and end_chunk,
// in file order; chunks are numbered from 0 in file order.
class LineWorker {
 public:
  virtual ~LineWorker() = default;
  virtual void begin_chunk(std::size_t chunk) = 0;
  // Line `number` (from 1), its text without the line end (the first
  // characters the reader keeps, see DoscarReader), and whether a line
  // feed ended it. May throw a Failure, which ends the chunk.
  virtual void line(std::int64_t number, std::string_view text, bool complete) = 0;
  // Every line of the chunk that was wanted has been handled.
  virtual void end_chunk() = 0;
};

// A handling of lines by workers.
class LineJob {
 public:
  virtual ~LineJob() = default;
  // A worker for the calling thread.
  virtual std::unique_ptr<LineWorker> worker() = 0;
  // No chunk after `chunk` is needed any more: a fault was found in it,
  // or it holds the last line wanted. A worker of a later chunk that waits
  // for something may give up (throw anything: the chunk's outcome no
  // longer counts). Called on any thread, possibly more than once.
  virtual void needed_up_to(std::size_t chunk) = 0;
};

// Hands every line after the reader's current one, up to line `last_line`,
// to the workers of `job`, on up to `threads` threads at once, each thread
// with a worker of its own; the reader is done afterwards. The file is
// read in order, one chunk at a time, and never held whole: a line longer
// than the reader keeps is handed out cut, as DoscarReader does. When
// workers fail on several lines, or the file cannot be read after some
// line, the Failure of the first of those lines is thrown; when the file
// ends before `last_line`, the end-of-file Failure with `needed_lines`.
// `on_block`, when given, hears the bytes of each chunk once its lines are
// handled.
void for_each_line(DoscarReader& reader, std::int64_t last_line,
                   std::int64_t needed_lines, unsigned threads, LineJob& job,
                   const std::function<void(std::size_t)>& on_block = {},
                   const ChunkPlan& plan = {});

}  // namespace pdsplit
