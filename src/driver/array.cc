#include "driver/array.h"

#include <sys/mman.h>

#include <utility>

namespace pdsplit {

namespace {
// Up to this size a block is mapped in full at once.
constexpr std::size_t kPrefaultLimit = std::size_t{32} << 20;
}  // namespace

Memory::Memory(std::size_t bytes) {
  bytes_ = bytes == 0 ? 1 : bytes;
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
  if (bytes_ <= kPrefaultLimit) flags |= MAP_POPULATE;
  void* p = ::mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (p == MAP_FAILED) {
    bytes_ = 0;
    return;
  }
  // Huge pages cut the page faults of filling hundreds of MB by 500 times.
  if (bytes_ > kPrefaultLimit) ::madvise(p, bytes_, MADV_HUGEPAGE);
  data_ = p;
}

Memory::Memory(Memory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      bytes_(std::exchange(other.bytes_, 0)) {}

Memory& Memory::operator=(Memory&& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(bytes_, other.bytes_);
  return *this;
}

Memory::~Memory() {
  if (data_ != nullptr) ::munmap(data_, bytes_);
}

Array::Array(std::initializer_list<std::int64_t> extents) {
  std::size_t count = 1;
  for (std::int64_t e : extents) {
    std::size_t n = e > 0 ? static_cast<std::size_t>(e) : 0;
    if (n != 0 && count > SIZE_MAX / sizeof(double) / n) return;
    count *= n;
  }
  memory_ = Memory(count * sizeof(double));
}

}  // namespace pdsplit
