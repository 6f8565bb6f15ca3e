#include "output/disk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "output/interrupt.h"

namespace pdsplit {

namespace {

class SystemDisk : public Disk {
 public:
  int create_new(const std::string& path) override {
    // Noted before it exists: an interruption right after the creation
    // must find it.
    int error = 0;
    PendingNote* note = note_pending_file(path.c_str(), error);
    if (note == nullptr) return -error;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    error = errno;
    end_pending_creation(note, fd >= 0);
    if (fd < 0) return -error;
    try {
      std::lock_guard lock(mutex_);
      notes_[path] = note;
    } catch (...) {
      // Without its note in the table the file could never be forgotten.
      ::close(fd);
      ::unlink(path.c_str());
      forget_pending_file(note);
      return -ENOMEM;
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
    forget(from);
    return 0;
  }
  int check_target(const std::string& path) override {
    if (path.size() >= PATH_MAX) return -ENAMETOOLONG;
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    errno = 0;
    long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (longest < 0 && errno != 0) return -errno;
    if (longest > 0 && name.size() > static_cast<std::size_t>(longest)) return -ENAMETOOLONG;
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return -errno;
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return -EISDIR;
    return 0;
  }
  bool in_place(const std::string& path) override {
    if (path.starts_with("/dev/") || path.starts_with("/proc/")) return true;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return false;
    return S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
  }
  int open_in_place(const std::string& path) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd >= 0 ? fd : -errno;
  }
  int remove(const std::string& path) override {
    // Removed first, forgotten after: an interruption in between must
    // still find it.
    int rc = ::unlink(path.c_str()) == 0 ? 0 : -errno;
    forget(path);
    return rc;
  }

 private:
  void forget(const std::string& path) {
    std::lock_guard lock(mutex_);
    auto it = notes_.find(path);
    if (it == notes_.end()) return;
    forget_pending_file(it->second);
    notes_.erase(it);
  }

  // The note of every file created and not yet renamed or removed.
  std::mutex mutex_;
  std::unordered_map<std::string, PendingNote*> notes_;
};

}  // namespace

Disk& system_disk() {
  static SystemDisk disk;
  return disk;
}

}  // namespace pdsplit
