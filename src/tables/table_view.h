// A DOS table as the shaping, broadening and moment units take and give it:
// NGRID rows of K + 1 doubles, row after row; column 0 the energy as read
// from DOSCAR (not shifted), columns 1..K the values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/array.h"

namespace pdsplit {

// A table someone else owns (the reader's atom tables, a sum table).
struct TableView {
  const double* data = nullptr;
  std::int32_t ngrid = 0;  // rows
  std::int32_t k = 0;      // value columns; a row holds k + 1 doubles

  std::size_t rows() const { return static_cast<std::size_t>(extent(ngrid)); }
  std::size_t width() const { return static_cast<std::size_t>(extent(k)) + 1; }
  std::size_t size() const { return rows() * width(); }
  const double* row(std::size_t i) const { return data + i * width(); }
  double energy(std::size_t i) const { return row(i)[0]; }
};

// A table of its own, in memory straight from the system (base/array.h:
// tables of 100000 rows are written once, and huge pages make that several
// times cheaper than the heap's small pages). Every value starts at 0.
// Moved, not copied.
class Table {
 public:
  Table() = default;
  // A Failure ("Allocate output array failed!") when the memory cannot be had.
  Table(std::int32_t rows, std::int32_t values);

  std::int32_t ngrid = 0;
  std::int32_t k = 0;

  TableView view() const { return {data(), ngrid, k}; }
  std::size_t rows() const { return view().rows(); }
  std::size_t width() const { return view().width(); }
  std::size_t size() const { return view().size(); }
  double* data() { return static_cast<double*>(memory_.data()); }
  const double* data() const { return static_cast<const double*>(memory_.data()); }
  double* row(std::size_t i) { return data() + i * width(); }
  const double* row(std::size_t i) const { return data() + i * width(); }

 private:
  Memory memory_;
};

}  // namespace pdsplit
