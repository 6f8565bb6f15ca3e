// The file-system calls the table writer makes, behind one interface so
// that tests can make any one of them fail without touching a real disk.
#pragma once

#include <cerrno>
#include <cstddef>
#include <string>

namespace pdsplit {

class Disk {
 public:
  virtual ~Disk() = default;
  // Creates `path`, which must not exist, for writing with the permissions
  // of a plainly created file (0666 less the umask). A descriptor, or
  // -errno.
  virtual int create_new(const std::string& path) = 0;
  // Writes up to `size` bytes; the count written, or -errno.
  virtual long write(int fd, const char* data, std::size_t size) = 0;
  // 0 or -errno.
  virtual int close(int fd) = 0;
  virtual int rename(const std::string& from, const std::string& to) = 0;
  // Whether a file of the same folder could be renamed to `path` now: 0,
  // or the -errno the rename would meet (a folder there, a name too long
  // for its folder, a folder missing or not writable). Asked of every
  // target before the first of a set is put in place, so that a set that
  // cannot all be put in place replaces nothing. A disk that cannot tell
  // says 0; the rename then reports.
  virtual int check_target(const std::string& path) {
    (void)path;
    return 0;
  }
  virtual int remove(const std::string& path) = 0;
  // Whether `path` is a node written in place, never replaced: a name
  // under /dev/ or /proc/, or one that leads (links followed) to a
  // character device, a FIFO or a socket. A disk that cannot tell says no.
  virtual bool in_place(const std::string& path) {
    (void)path;
    return false;
  }
  // Opens such a node for writing as a shell's ">" does: a descriptor, or
  // -errno.
  virtual int open_in_place(const std::string& path) {
    (void)path;
    return -ENOTSUP;
  }
};

// The real file system.
Disk& system_disk();

}  // namespace pdsplit
