// The large arrays of a run: allocated without being touched, and backed by
// huge pages where the system offers them.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <cstdint>

namespace pdsplit {

class Array {
 public:
  Array() = default;
  // The product of `extents` doubles (an extent below zero counts as zero);
  // null data when the memory cannot be had.
  explicit Array(std::initializer_list<std::int64_t> extents);
  Array(Array&& other) noexcept;
  Array& operator=(Array&& other) noexcept;
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;
  ~Array();

  double* get() const { return data_; }

 private:
  double* data_ = nullptr;
  std::size_t bytes_ = 0;
};

}  // namespace pdsplit
