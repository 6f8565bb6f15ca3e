#include "base/array.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <utility>

namespace pdsplit {

namespace {

// Up to this size a block is mapped in full at once, unless huge pages
// serve it.
constexpr std::size_t kPrefaultLimit = std::size_t{32} << 20;
// A block of at least one 2 MB huge page starts on a huge-page boundary,
// and the huge pages it fills whole are asked for where the system offers
// them: memory written for the first time costs microseconds per 4 KB page
// on the virtual machines we run on, and one huge page instead of 512 small
// ones is far cheaper to fill. Its tail takes small pages, so that no array
// holds more memory than its size (a run keeps one table per element).
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kSmallPage = std::size_t{4} << 10;

bool huge_pages_offered() {
  static const bool offered = [] {
    std::FILE* f = std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "r");
    if (f == nullptr) return false;
    char text[128] = {};
    std::size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    std::string_view setting(text, n);
    return setting.find("[always]") != std::string_view::npos ||
           setting.find("[madvise]") != std::string_view::npos;
  }();
  return offered;
}

// `bytes` rounded up to whole small pages, on a huge-page boundary, its
// whole huge pages asked for as such; null when the memory cannot be had.
void* map_on_huge_pages(std::size_t bytes) {
  std::size_t size = (bytes + kSmallPage - 1) & ~(kSmallPage - 1);
  void* p = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  auto start = reinterpret_cast<std::uintptr_t>(p);
  std::uintptr_t aligned = (start + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
  if (aligned > start) ::munmap(p, aligned - start);
  if (std::size_t tail = start + size + kHugePage - (aligned + size); tail > 0)
    ::munmap(reinterpret_cast<void*>(aligned + size), tail);
  ::madvise(reinterpret_cast<void*>(aligned), size & ~(kHugePage - 1), MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

}  // namespace

Memory::Memory(std::size_t bytes) {
  bytes_ = bytes == 0 ? 1 : bytes;
  if (bytes_ >= kHugePage && huge_pages_offered()) {
    data_ = map_on_huge_pages(bytes_);
    mapped_ = (bytes_ + kSmallPage - 1) & ~(kSmallPage - 1);
    if (data_ == nullptr) bytes_ = mapped_ = 0;
    return;
  }
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
  if (bytes_ <= kPrefaultLimit) flags |= MAP_POPULATE;
  void* p = ::mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (p == MAP_FAILED) {
    bytes_ = 0;
    return;
  }
  data_ = p;
  mapped_ = bytes_;
}

Memory::Memory(Memory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      bytes_(std::exchange(other.bytes_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

Memory& Memory::operator=(Memory&& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(bytes_, other.bytes_);
  std::swap(mapped_, other.mapped_);
  return *this;
}

Memory::~Memory() {
  if (data_ != nullptr) ::munmap(data_, mapped_);
}

Array::Array(std::initializer_list<std::int64_t> extents) {
  std::size_t count = 1;
  for (std::int64_t e : extents) {
    auto n = static_cast<std::size_t>(extent(e));
    if (n != 0 && count > SIZE_MAX / sizeof(double) / n) return;
    count *= n;
  }
  memory_ = Memory(count * sizeof(double));
}

}  // namespace pdsplit
