#include "sources/source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pdsplit {

namespace {

class FileSource : public Source {
 public:
  FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  ~FileSource() override { ::close(fd_); }

  long read(char* out, std::size_t size) override {
    for (;;) {
      ssize_t n = ::read(fd_, out, size);
      if (n >= 0) return static_cast<long>(n);
      if (errno != EINTR) return -errno;
    }
  }
  std::optional<std::uint64_t> size() const override { return size_; }

 private:
  int fd_;
  std::uint64_t size_;
};

class SystemOpener : public Opener {
 public:
  Opened open(const std::string& path) override {
    Opened opened;
    // Without O_NONBLOCK a named pipe would wait for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      opened.error = errno;
      return opened;
    }
    opened.refused = true;
    struct stat st;
    if (::fstat(fd, &st) != 0)
      opened.error = errno;
    else if (S_ISDIR(st.st_mode))
      opened.error = EISDIR;
    else if (!S_ISREG(st.st_mode))
      opened.error = kNotARegularFile;
    if (opened.error != 0) {
      ::close(fd);
      return opened;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    opened.source = std::make_unique<FileSource>(fd, static_cast<std::uint64_t>(st.st_size));
    opened.refused = false;
    return opened;
  }
};

}  // namespace

std::string describe_open_error(int error) {
  return error == kNotARegularFile ? "not a regular file" : std::strerror(error);
}

Opener& system_opener() {
  static SystemOpener opener;
  return opener;
}

}  // namespace pdsplit
