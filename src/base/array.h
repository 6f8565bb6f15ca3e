// Memory for the large arrays and buffers of a run, straight from the
// system: never filled by us, and mapped in the way that costs least.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace pdsplit {

// A count read from a file (a number of atoms, grid points, columns) as the
// extent of an array or a loop: below zero counts as zero.
inline std::int64_t extent(std::int64_t count) { return count > 0 ? count : 0; }

// A block of `bytes` bytes (null data when the memory cannot be had).
// Blocks of 256 KB and more lie on whole 2 MB huge pages where the system
// offers them, and are only reserved until written (a header that
// promises far more than its file holds must fail on the short file, not
// on gigabytes of pages). Smaller blocks, and medium ones where there are
// no huge pages, are mapped in full at once, which costs far fewer page
// faults than touching them page by page.
class Memory {
 public:
  Memory() = default;
  explicit Memory(std::size_t bytes);
  Memory(Memory&& other) noexcept;
  Memory& operator=(Memory&& other) noexcept;
  Memory(const Memory&) = delete;
  Memory& operator=(const Memory&) = delete;
  ~Memory();

  void* data() const { return data_; }
  std::size_t size() const { return bytes_; }

 private:
  void* data_ = nullptr;
  std::size_t bytes_ = 0;
  std::size_t mapped_ = 0;  // what was mapped: bytes_, or whole huge pages
};

// The product of `extents` doubles (an extent below zero counts as zero).
class Array {
 public:
  Array() = default;
  explicit Array(std::initializer_list<std::int64_t> extents);
  double* get() const { return static_cast<double*>(memory_.data()); }

 private:
  Memory memory_;
};

}  // namespace pdsplit
