#include "output/pending_file.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "base/failure.h"
#include "base/text.h"
#include "output/names.h"

namespace pdsplit {

PendingFile::PendingFile(const std::string& target, Disk& disk, std::FILE* standard_output)
    : target_(target), disk_(disk) {
  if (standard_output != nullptr && target == kStandardOutput) {
    stream_ = standard_output;
    return;
  }
  // A device, FIFO or socket replaced by a file would no longer be what
  // the name stood for: a terminal, a pipe, another program.
  if (disk_.in_place(target)) {
    in_place_ = true;
    fd_ = disk_.open_in_place(target);
    if (fd_ < 0) fail(-fd_);
    return;
  }
  std::size_t slash = target.rfind('/');
  std::string folder =
      slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  // Short names, so that a target near the length limit still has room;
  // the process id and a counter keep parallel runs apart.
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = folder + ".pdsplit-" + std::to_string(::getpid()) + "-" +
                       std::to_string(counter++) + ".tmp";
    fd_ = disk_.create_new(name);
    if (fd_ >= 0) temp_ = std::move(name);
    if (fd_ != -EEXIST) break;
  }
  if (fd_ < 0) fail(-fd_);  // a name someone else holds is never removed
}

int PendingFile::write_all(const char* data, std::size_t size) {
  if (stream_ != nullptr) {
    errno = 0;
    if (std::fwrite(data, 1, size, stream_) == size) return 0;
    return errno != 0 ? errno : EIO;
  }
  while (size > 0) {
    long n = disk_.write(fd_, data, size);
    if (n == -EINTR) continue;
    if (n < 0) return static_cast<int>(-n);
    if (n == 0) return ENOSPC;  // no progress: treat as a full disk
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

int PendingFile::close_early() {
  if (stream_ != nullptr) {
    errno = 0;
    if (std::fflush(stream_) == 0 && !std::ferror(stream_)) return 0;
    return errno != 0 ? errno : EIO;
  }
  int fd = fd_;
  fd_ = -1;
  int rc = disk_.close(fd);
  return rc < 0 ? -rc : 0;
}

void PendingFile::check_target() {
  if (direct()) return;
  if (int rc = disk_.check_target(target_); rc < 0) fail(-rc);
}

void PendingFile::commit() {
  if (fd_ >= 0 || stream_ != nullptr) {
    if (int error = close_early()) fail(error);
  }
  if (direct()) return;
  if (int rc = disk_.rename(temp_, target_); rc < 0) fail(-rc);
  temp_.clear();
}

void PendingFile::discard() {
  if (fd_ >= 0) disk_.close(fd_);
  fd_ = -1;
  if (!temp_.empty()) disk_.remove(temp_);
  temp_.clear();
}

Failure cannot_write(const std::string& target, int error) {
  // A name may hold any byte but the slash and NUL: the message must stay
  // one line a terminal shows as it is.
  return stop_with_message("Error! Cannot write " + printable(target) + ": " +
                           std::strerror(error));
}

void PendingFile::fail(int error) {
  discard();
  if (stream_ != nullptr)
    throw stop_with_message("Error! Cannot write to standard output: " +
                            std::string(std::strerror(error)));
  throw cannot_write(target_, error);
}

}  // namespace pdsplit
