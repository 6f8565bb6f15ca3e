#include "output/writedos.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "driver/failure.h"
#include "output/format.h"

namespace pdsplit {

namespace {

// Tables are formatted and written in chunks of this size.
constexpr std::size_t kChunkSize = std::size_t{16} << 20;
// Below this, formatting is not worth a second thread.
constexpr std::size_t kMinPartSize = std::size_t{128} << 10;

// A temporary file beside the target that becomes the target on commit and
// disappears otherwise.
class PendingFile {
 public:
  PendingFile(const std::string& target, Disk& disk)
      : target_(target), disk_(disk) {
    std::size_t slash = target.rfind('/');
    std::string folder =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // Short names, so that a target near the length limit still has room;
    // the process id and a counter keep parallel runs apart.
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = folder + ".pdsplit-" + std::to_string(::getpid()) +
                         "-" + std::to_string(counter++) + ".tmp";
      fd_ = disk_.create_new(name);
      if (fd_ >= 0) temp_ = std::move(name);
      if (fd_ != -EEXIST) break;
    }
    if (fd_ < 0) fail(-fd_);  // a name someone else holds is never removed
  }

  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  ~PendingFile() { discard(); }

  void write(const char* data, std::size_t size) {
    while (size > 0) {
      long n = disk_.write(fd_, data, size);
      if (n == -EINTR) continue;
      if (n < 0) fail(static_cast<int>(-n));
      if (n == 0) fail(ENOSPC);  // no progress: treat as a full disk
      data += n;
      size -= static_cast<std::size_t>(n);
    }
  }

  void commit() {
    int fd = fd_;
    fd_ = -1;
    if (int rc = disk_.close(fd); rc < 0) fail(-rc);
    if (int rc = disk_.rename(temp_, target_); rc < 0) fail(-rc);
    temp_.clear();
  }

 private:
  void discard() {
    if (fd_ >= 0) disk_.close(fd_);
    fd_ = -1;
    if (!temp_.empty()) disk_.remove(temp_);
    temp_.clear();
  }

  [[noreturn]] void fail(int error) {
    discard();
    throw stop_with_message("Error! Cannot write " + target_ + ": " +
                            std::strerror(error));
  }

  std::string target_;
  Disk& disk_;
  std::string temp_;
  int fd_ = -1;
};

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
  out += kEnergyWidth;
  for (std::int32_t i = 1; i <= k; ++i, out += kValueWidth)
    format_value(row[i], out);
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

void write_table_text(const std::string& FILENAME, const char* text,
                      std::size_t size, Disk& disk) {
  PendingFile file(FILENAME, disk);
  file.write(text, size);
  file.commit();
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
        count * line_size / kMinPartSize, 1, output.threads()));
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
