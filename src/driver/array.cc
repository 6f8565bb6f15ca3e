#include "driver/array.h"

#include <sys/mman.h>

#include <cstdint>
#include <utility>

namespace pdsplit {

Array::Array(std::initializer_list<std::int64_t> extents) {
  std::size_t count = 1;
  for (std::int64_t e : extents) {
    std::size_t n = e > 0 ? static_cast<std::size_t>(e) : 0;
    if (n != 0 && count > SIZE_MAX / sizeof(double) / n) return;
    count *= n;
  }
  // The readers overwrite every element, so the memory is left as the
  // system gives it: a header that promises more than the file holds then
  // fails on the short file instead of on pages filled with zeros.
  bytes_ = (count == 0 ? 1 : count) * sizeof(double);
  void* p = ::mmap(nullptr, bytes_, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) {
    bytes_ = 0;
    return;
  }
  // Huge pages cut the page faults of filling hundreds of MB by 500 times;
  // for small arrays, zeroing whole 2 MB pages would cost more than it saves.
  if (bytes_ >= (std::size_t{32} << 20)) ::madvise(p, bytes_, MADV_HUGEPAGE);
  data_ = static_cast<double*>(p);
}

Array::Array(Array&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      bytes_(std::exchange(other.bytes_, 0)) {}

Array& Array::operator=(Array&& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(bytes_, other.bytes_);
  return *this;
}

Array::~Array() {
  if (data_ != nullptr) ::munmap(data_, bytes_);
}

}  // namespace pdsplit
