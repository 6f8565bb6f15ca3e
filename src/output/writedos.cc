#include "output/writedos.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "base/failure.h"
#include "output/format.h"
#include "output/pending_file.h"

namespace pdsplit {

namespace {

// Tables are formatted and written in chunks of this size.
constexpr std::size_t kChunkSize = std::size_t{16} << 20;
// Below this much text per thread, another thread costs more to start
// (about a millisecond) than it saves.
constexpr std::size_t kBytesPerThread = std::size_t{2} << 20;

}  // namespace


void Output::written(std::size_t bytes) {
  if (console_ == nullptr) return;
  if (!reporting_) console_->begin_phase("writing tables", total_);
  reporting_ = true;
  console_->advance(bytes);
}

char* Output::buffer(std::size_t size) {
  if (size > buffer_.size()) {
    buffer_ = Memory(size);
    if (buffer_.data() == nullptr) throw std::bad_alloc();
  }
  return static_cast<char*>(buffer_.data());
}

namespace {

std::size_t line_size_of(std::int32_t k) {
  return kEnergyWidth + kValueWidth * static_cast<std::size_t>(k > 0 ? k : 0) + 1;
}

// One table line, without its line feed: 11 + 12 * K characters written to
// `out` from the row (energy, then K values), the energy lowered by `shift`.
void format_table_line(double shift, const double* row, std::int32_t k,
                       char* out) {
  format_energy(row[0] - shift, out);
  format_values(row + 1, static_cast<std::size_t>(k > 0 ? k : 0), out + kEnergyWidth);
}

// Formats rows [first, first + count) into `out`, line after line.
void format_rows(double shift, const double* table, std::int32_t k,
                 std::size_t first, std::size_t count, char* out) {
  std::size_t columns = static_cast<std::size_t>(k > 0 ? k : 0) + 1;
  std::size_t line_size = line_size_of(k);
  for (std::size_t g = first; g < first + count; ++g, out += line_size) {
    format_table_line(shift, table + columns * g, k, out);
    out[line_size - 1] = '\n';
  }
}

}  // namespace

std::size_t table_text_size(std::int32_t ngrid, std::int32_t k) {
  return static_cast<std::size_t>(ngrid > 0 ? ngrid : 0) * line_size_of(k);
}

void format_table(double shift, const double* table, std::int32_t ngrid,
                  std::int32_t k, char* out) {
  format_rows(shift, table, k, 0, static_cast<std::size_t>(ngrid > 0 ? ngrid : 0), out);
}

void write_tables(std::int32_t count, std::size_t size,
                  const std::function<std::string(std::int32_t)>& name,
                  const std::function<void(std::int32_t, char*)>& format,
                  Output& output) {
  if (count <= 0) return;
  // Only the main thread creates temporary files and renames them into
  // place, in order; any thread, the main one included while it waits,
  // formats a table into a buffer of its own and writes it to its file.
  // A few tables ahead are created for the other threads to take.
  auto helper_count = static_cast<unsigned>(std::clamp<std::uint64_t>(
      static_cast<std::uint64_t>(count) * size / kBytesPerThread, 0, output.threads() - 1));
  const auto window = static_cast<std::int32_t>(2 * (helper_count + 1) + 1);
  struct Table {
    std::unique_ptr<PendingFile> file;
    int error = 0;
    bool done = false;
  };
  std::vector<Table> tables(static_cast<std::size_t>(window));
  auto slot = [&](std::int32_t i) -> Table& { return tables[static_cast<std::size_t>(i % window)]; };
  std::mutex mutex;
  std::condition_variable changed;
  std::int32_t created = 0, handed_out = 0;
  bool stopping = false;

  // Formats and writes table i (handed out under the lock) and reports.
  auto make = [&](std::int32_t i, PendingFile* file, Memory& buffer) {
    if (buffer.data() == nullptr) buffer = Memory(size);
    int error = ENOMEM;
    if (buffer.data() != nullptr) {
      format(i, static_cast<char*>(buffer.data()));
      error = file->write_all(static_cast<const char*>(buffer.data()), size);
    }
    std::lock_guard lock(mutex);
    slot(i).error = error;
    slot(i).done = true;
    changed.notify_all();
  };
  auto help = [&] {
    Memory buffer;
    for (;;) {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return stopping || handed_out < created; });
      if (stopping) return;
      std::int32_t i = handed_out++;
      PendingFile* file = slot(i).file.get();
      lock.unlock();
      make(i, file, buffer);
    }
  };
  std::vector<std::jthread> helpers;
  // However the main thread leaves (a table that fails, a file that cannot
  // be created), the helpers stop and are joined before any file they write
  // to is discarded.
  struct StopHelpers {
    std::mutex& mutex;
    std::condition_variable& changed;
    bool& stopping;
    std::vector<std::jthread>& helpers;
    ~StopHelpers() {
      {
        std::lock_guard lock(mutex);
        stopping = true;
      }
      changed.notify_all();
      helpers.clear();
    }
  } stop{mutex, changed, stopping, helpers};
  for (unsigned h = 0; h < helper_count; ++h) {
    try {
      helpers.emplace_back(help);
    } catch (const std::system_error&) {
      break;  // fewer threads, same tables
    }
  }

  Memory own_buffer;
  // A file that cannot be created fails the run only once every table
  // before it is in place.
  std::exception_ptr creation_failure;
  for (std::int32_t i = 0; i < count; ++i) {
    while (!creation_failure && created < count && created < i + window) {
      try {
        auto file = std::make_unique<PendingFile>(name(created), output.disk());
        std::lock_guard lock(mutex);
        slot(created) = Table{std::move(file), 0, false};
        ++created;
        changed.notify_all();
      } catch (...) {
        creation_failure = std::current_exception();
      }
    }
    if (i == created) std::rethrow_exception(creation_failure);
    Table& table = slot(i);
    for (;;) {
      std::unique_lock lock(mutex);
      if (table.done) break;
      if (handed_out < created) {
        std::int32_t j = handed_out++;
        PendingFile* file = slot(j).file.get();
        lock.unlock();
        make(j, file, own_buffer);
        continue;
      }
      changed.wait(lock, [&] { return table.done; });
    }
    if (table.error != 0) table.file->fail(table.error);
    table.file->commit();
    table.file.reset();
    output.written(size);
  }
}

void writedos(const std::string& FILENAME, double shift, const double* table,
              std::int32_t ngrid, std::int32_t k, Output& output) {
  PendingFile file(FILENAME, output.disk());
  std::size_t rows = static_cast<std::size_t>(ngrid > 0 ? ngrid : 0);
  std::size_t line_size = line_size_of(k);
  std::size_t chunk_rows = std::max<std::size_t>(1, kChunkSize / line_size);
  char* buffer = output.buffer(std::min(rows, chunk_rows) * line_size);
  for (std::size_t first = 0; first < rows; first += chunk_rows) {
    std::size_t count = std::min(chunk_rows, rows - first);
    // Every line has the same length, so threads can format disjoint rows
    // straight into their places.
    unsigned parts = static_cast<unsigned>(std::clamp<std::size_t>(
        count * line_size / kBytesPerThread, 1, output.threads()));
    std::vector<std::jthread> helpers;
    for (unsigned p = 1; p < parts; ++p) {
      std::size_t begin = count * p / parts, end = count * (p + 1) / parts;
      helpers.emplace_back(format_rows, shift, table, k, first + begin, end - begin,
                           buffer + begin * line_size);
    }
    format_rows(shift, table, k, first, count / parts, buffer);
    helpers.clear();
    file.write(buffer, count * line_size);
    output.written(count * line_size);
  }
  file.commit();
}

}  // namespace pdsplit
