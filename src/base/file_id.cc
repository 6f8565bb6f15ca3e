#include "base/file_id.h"

#include <sys/stat.h>

namespace pdsplit {

namespace {
FileId id_of(int status, const struct stat& st) {
  if (status != 0) return {};
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}
}  // namespace

FileId file_id_of_name(const std::string& path) {
  struct stat st;
  int status = ::lstat(path.c_str(), &st);
  return id_of(status, st);
}

FileId file_id_of_target(const std::string& path) {
  struct stat st;
  int status = ::stat(path.c_str(), &st);
  return id_of(status, st);
}

FileId file_id_of_descriptor(int fd) {
  struct stat st;
  int status = ::fstat(fd, &st);
  return id_of(status, st);
}

}  // namespace pdsplit
