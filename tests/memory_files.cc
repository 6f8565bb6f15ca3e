#include "memory_files.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace testing_support {

namespace {

class MemorySource : public pdsplit::Source {
 public:
  MemorySource(std::shared_ptr<const std::string> text, const ReadFaults& faults,
               ReadCounts& counts)
      : text_(std::move(text)), faults_(faults), counts_(counts) {}

  long read(char* out, std::size_t size) override {
    std::uint64_t call = ++counts_.reads;
    if (faults_.interrupt_every != 0 && call % faults_.interrupt_every == 0) {
      ++counts_.interrupted;
      return -EINTR;
    }
    if (at_ >= faults_.fail_at) return -faults_.fail_errno;
    std::uint64_t left = text_->size() - std::min<std::uint64_t>(at_, text_->size());
    std::uint64_t n = std::min<std::uint64_t>({size, faults_.max_read, left, faults_.fail_at - at_});
    if (n < size && n < left) ++counts_.short_reads;
    std::memcpy(out, text_->data() + at_, static_cast<std::size_t>(n));
    at_ += n;
    return static_cast<long>(n);
  }

  std::optional<std::uint64_t> size() const override {
    if (!faults_.size_known) return std::nullopt;
    return text_->size();
  }

 private:
  std::shared_ptr<const std::string> text_;
  ReadFaults faults_;
  ReadCounts& counts_;
  std::uint64_t at_ = 0;
};

}  // namespace

void MemoryFiles::add(const std::string& name, std::string text) {
  texts_[name] = std::make_shared<const std::string>(std::move(text));
}

void MemoryFiles::refuse(const std::string& name, int error) { refused_[name] = error; }

pdsplit::Opened MemoryFiles::open(const std::string& path) {
  pdsplit::Opened opened;
  if (auto it = refused_.find(path); it != refused_.end()) {
    opened.error = it->second;
    opened.refused = true;
    return opened;
  }
  auto it = texts_.find(path);
  if (it == texts_.end()) {
    opened.error = ENOENT;
    return opened;
  }
  opened.source = std::make_unique<MemorySource>(it->second, faults, counts);
  return opened;
}

int MemoryDisk::create_new(const std::string& path) {
  std::lock_guard lock(mutex_);
  std::size_t slash = path.rfind('/');
  if (auto it = faults_.folders.find(path.substr(0, slash == std::string::npos ? 0 : slash));
      slash != std::string::npos && it != faults_.folders.end())
    return -it->second;
  if (files_.count(path)) return -EEXIST;
  files_[path];
  open_[next_fd_] = path;
  return next_fd_++;
}

long MemoryDisk::write(int fd, const char* data, std::size_t size) {
  std::lock_guard lock(mutex_);
  auto it = open_.find(fd);
  if (it == open_.end()) return -EBADF;
  if (!faults_.marker.empty() && std::string_view(data, size).starts_with(faults_.marker))
    return -ENOSPC;
  files_[it->second].append(data, size);
  return static_cast<long>(size);
}

int MemoryDisk::close(int fd) {
  std::lock_guard lock(mutex_);
  return open_.erase(fd) == 1 ? 0 : -EBADF;
}

int MemoryDisk::rename(const std::string& from, const std::string& to) {
  std::lock_guard lock(mutex_);
  auto it = files_.find(from);
  if (it == files_.end()) return -ENOENT;
  if (auto fault = faults_.targets.find(to); fault != faults_.targets.end()) return -fault->second;
  files_[to] = std::move(it->second);
  files_.erase(from);
  return 0;
}

int MemoryDisk::check_target(const std::string& path) {
  auto fault = faults_.targets.find(path);
  return fault == faults_.targets.end() || faults_.unforeseen ? 0 : -fault->second;
}

int MemoryDisk::remove(const std::string& path) {
  std::lock_guard lock(mutex_);
  return files_.erase(path) == 1 ? 0 : -ENOENT;
}

std::map<std::string, std::string> MemoryDisk::files() const {
  std::lock_guard lock(mutex_);
  return files_;
}

}  // namespace testing_support
