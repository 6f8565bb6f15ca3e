#include "output/disk.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "output/interrupt.h"

namespace pdsplit {

namespace {

class SystemDisk : public Disk {
 public:
  int create_new(const std::string& path) override {
    // Noted before it exists: an interruption right after the creation
    // must find it.
    if (!note_pending_file(path.c_str()))
      return path.size() >= kMaxPendingPath ? -ENAMETOOLONG : -EMFILE;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      int error = errno;
      forget_pending_file(path.c_str());
      return -error;
    }
    return fd;
  }
  long write(int fd, const char* data, std::size_t size) override {
    ssize_t n = ::write(fd, data, size);
    return n >= 0 ? static_cast<long>(n) : -errno;
  }
  int close(int fd) override { return ::close(fd) == 0 ? 0 : -errno; }
  int rename(const std::string& from, const std::string& to) override {
    if (std::rename(from.c_str(), to.c_str()) != 0) return -errno;
    forget_pending_file(from.c_str());
    return 0;
  }
  int remove(const std::string& path) override {
    forget_pending_file(path.c_str());
    return ::unlink(path.c_str()) == 0 ? 0 : -errno;
  }
};

}  // namespace

Disk& system_disk() {
  static SystemDisk disk;
  return disk;
}

}  // namespace pdsplit
