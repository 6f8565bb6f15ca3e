// Which file a name stands for: its device and inode, so that two names of
// one file (a hard link, another spelling of a path) can be told apart from
// two files.
#pragma once

#include <cstdint>
#include <string>

namespace pdsplit {

struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool known = false;  // false when the name could not be looked up

  bool same_as(const FileId& other) const {
    return known && other.known && device == other.device && inode == other.inode;
  }
};

// The file `path` names itself, a symbolic link not followed.
FileId file_id_of_name(const std::string& path);

// The file `path` leads to, symbolic links followed.
FileId file_id_of_target(const std::string& path);

// The file behind an open descriptor.
FileId file_id_of_descriptor(int fd);

}  // namespace pdsplit
