#include "output/writedos.h"

#include <algorithm>
#include <new>

#include "base/failure.h"
#include "base/messages.h"
#include "base/parallel.h"
#include "output/format.h"
#include "output/names.h"
#include "output/pending_file.h"

namespace pdsplit {

namespace {

// Tables are formatted and written in chunks of this size.
constexpr std::size_t kChunkSize = std::size_t{16} << 20;
// Below this much text per thread, another thread costs more to start
// than it saves.
constexpr std::uint64_t kBytesPerThread = work_worth_a_thread(kTableBytesPerMillisecond);

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

// A count as the header gives it (rows, values per row) as a size.
std::size_t size_of(std::int32_t count) { return static_cast<std::size_t>(extent(count)); }

std::size_t line_size_of(std::int32_t k) {
  return kEnergyWidth + kValueWidth * size_of(k) + 1;
}

// One table line, without its line feed: 11 + 12 * K characters written to
// `out` from the row (energy, then K values), the energy lowered by `shift`.
void format_table_line(double shift, const double* row, std::int32_t k,
                       char* out) {
  format_energy(row[0] - shift, out);
  format_values(row + 1, size_of(k), out + kEnergyWidth);
}

// Formats rows [first, first + count) into `out`, line after line.
void format_rows(double shift, const double* table, std::int32_t k,
                 std::size_t first, std::size_t count, char* out) {
  std::size_t columns = size_of(k) + 1;
  std::size_t line_size = line_size_of(k);
  for (std::size_t g = first; g < first + count; ++g, out += line_size) {
    format_table_line(shift, table + columns * g, k, out);
    out[line_size - 1] = '\n';
  }
}

// format_rows on up to `threads` threads, as many as the text is worth:
// every line has the same length, so each thread formats its rows
// straight into their places.
void format_rows_split(double shift, const double* table, std::int32_t k,
                       std::size_t first, std::size_t count, char* out,
                       unsigned threads) {
  std::size_t line_size = line_size_of(k);
  run_split(parts_for(count * line_size, kBytesPerThread, threads),
            [&](unsigned part, unsigned parts) {
              std::size_t begin = count * part / parts, end = count * (part + 1) / parts;
              format_rows(shift, table, k, first + begin, end - begin, out + begin * line_size);
            });
}

}  // namespace

void refuse_overwriting_input(const std::string& FILENAME, const Output& output) {
  if (output.standard_output() != nullptr && FILENAME == kStandardOutput) return;
  if (output.disk().in_place(FILENAME)) {
    if (file_id_of_target(FILENAME).same_as(output.input()))
      throw error_block(std::string(text::kOverwritesInput));
    return;  // nothing is written beside it
  }
  refuse_overwriting_input(FILENAME, output.input());
  if (const TableTransform* transform = output.transform())
    for (const std::string& name : transform->names_beside(FILENAME))
      refuse_overwriting_input(name, output.input());
}

std::size_t table_text_size(std::int32_t ngrid, std::int32_t k) {
  return size_of(ngrid) * line_size_of(k);
}

void format_table(double shift, const double* table, std::int32_t ngrid,
                  std::int32_t k, char* out, unsigned threads, RowFollower* follower) {
  const std::size_t rows = size_of(ngrid), line_size = line_size_of(k);
  if (follower == nullptr || parts_for(rows * line_size, kBytesPerThread, threads) > 1) {
    if (follower != nullptr) follower->rows(rows);
    format_rows_split(shift, table, k, 0, rows, out, threads);
    return;
  }
  // Runs of rows small enough to stay in the first-level cache between the
  // follower's reading and the formatting.
  constexpr std::size_t kRun = 64;
  for (std::size_t first = 0; first < rows; first += kRun) {
    const std::size_t count = std::min(kRun, rows - first);
    follower->rows(first + count);
    format_rows(shift, table, k, first, count, out + first * line_size);
  }
}

void write_rows(PendingFile& file, std::string_view head, double shift, const double* table,
                std::int32_t ngrid, std::int32_t k, Output& output) {
  auto rows = size_of(ngrid);
  std::size_t line_size = line_size_of(k);
  std::size_t chunk_rows = std::max<std::size_t>(1, kChunkSize / line_size);
  char* buffer = output.buffer(head.size() + std::min(rows, chunk_rows) * line_size);
  // The head goes out with the first chunk.
  std::copy(head.begin(), head.end(), buffer);
  std::size_t before = head.size();
  for (std::size_t first = 0; first < rows; first += chunk_rows) {
    std::size_t count = std::min(chunk_rows, rows - first);
    format_rows_split(shift, table, k, first, count, buffer + before, output.threads());
    file.write(buffer, before + count * line_size);
    output.written(count * line_size);
    before = 0;
  }
  if (rows == 0 && before > 0) file.write(buffer, before);
}

void writedos(const std::string& FILENAME, double shift, const double* table,
              std::int32_t ngrid, std::int32_t k, Output& output) {
  if (TableTransform* t = output.transform())
    return write_transformed(*t, FILENAME, shift, table, ngrid, k, output);
  PendingFile file(FILENAME, output.disk(), output.standard_output());
  write_rows(file, {}, shift, table, ngrid, k, output);
  file.commit();
}

}  // namespace pdsplit
