// A DOS table as the shaping, broadening and moment units take and give it:
// NGRID rows of K + 1 doubles, row after row; column 0 the energy as read
// from DOSCAR (not shifted), columns 1..K the values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/array.h"

namespace pdsplit {

// A table someone else owns (the reader's atom tables, a sum table).
struct TableView {
  const double* data = nullptr;
  std::int32_t ngrid = 0;  // rows
  std::int32_t k = 0;      // value columns; a row holds k + 1 doubles

  std::size_t rows() const { return static_cast<std::size_t>(extent(ngrid)); }
  std::size_t width() const { return static_cast<std::size_t>(extent(k)) + 1; }
  const double* row(std::size_t i) const { return data + i * width(); }
  double energy(std::size_t i) const { return row(i)[0]; }
};

// A table of its own.
struct Table {
  std::vector<double> data;
  std::int32_t ngrid = 0;
  std::int32_t k = 0;

  Table() = default;
  Table(std::int32_t rows, std::int32_t values)
      : data(static_cast<std::size_t>(extent(rows)) * (static_cast<std::size_t>(extent(values)) + 1)),
        ngrid(rows), k(values) {}

  TableView view() const { return {data.data(), ngrid, k}; }
  std::size_t rows() const { return view().rows(); }
  std::size_t width() const { return view().width(); }
  double* row(std::size_t i) { return data.data() + i * width(); }
  const double* row(std::size_t i) const { return data.data() + i * width(); }
};

}  // namespace pdsplit
