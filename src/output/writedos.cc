#include "output/writedos.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "driver/failure.h"
#include "output/format.h"

namespace pdsplit {

namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 20;

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
      temp_ = folder + ".pdsplit-" + std::to_string(::getpid()) + "-" +
              std::to_string(counter++) + ".tmp";
      fd_ = disk_.create_new(temp_);
      if (fd_ != -EEXIST) break;
    }
    if (fd_ < 0) fail(-fd_);
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

void format_table_line(double energy, const double* row, std::size_t stride,
                       std::int32_t k, char* out) {
  format_energy(energy, out);
  out += kEnergyWidth;
  for (std::int32_t i = 1; i <= k; ++i, out += kValueWidth)
    format_value(row[static_cast<std::size_t>(i) * stride], out);
}

void writedos(const std::string& FILENAME, double shift, const double* table,
              std::int32_t ngrid, std::int32_t k, Disk& disk) {
  PendingFile file(FILENAME, disk);
  std::size_t line_size =
      kEnergyWidth + kValueWidth * static_cast<std::size_t>(k > 0 ? k : 0) + 1;
  std::size_t capacity = std::max(kBufferSize, line_size);
  std::unique_ptr<char[]> buffer(new char[capacity]);
  std::size_t used = 0;
  std::size_t stride = static_cast<std::size_t>(ngrid > 0 ? ngrid : 0);
  for (std::int32_t g = 0; g < ngrid; ++g) {
    if (capacity - used < line_size) {
      file.write(buffer.get(), used);
      used = 0;
    }
    const double* row = table + g;
    format_table_line(row[0] - shift, row, stride, k, buffer.get() + used);
    used += line_size;
    buffer[used - 1] = '\n';
  }
  file.write(buffer.get(), used);
  file.commit();
}

}  // namespace pdsplit
