// The sums the moments of DOS columns are made of, taken for every column
// of a table in one sweep over its rows.
//
// The trapezoid rule over points e_0 < e_1 < ... is a weighted sum of the
// values at the points: with h_i = (e_{i+1} - e_i) / 2, the sum over the
// segments of h_i (f_i + f_{i+1}) is the sum over the points of
// w_i f_i, w_i = h_{i-1} + h_i (h_{-1} = h_{n-1} = 0). So the integrals of
// rho, of rho below the Fermi level and of d^k rho are sums of rho_i times
// a weight of the point alone, the same for every column: each costs one
// fused multiply-add per value, and a table is read once for all of them.
//
// The points are taken in runs of kRun, and d is the distance of the
// point's energy from the middle of its run: each run gives the sums of
// d^k rho (k = 0..4) about its own middle, which the moments then move to
// the column's centre (tables/moments.cc). Taken about one energy for the
// whole grid instead, the central moments of a peak far from it, narrow
// for its distance, would be the difference of numbers many times larger
// than themselves, their digits lost; about a point at most half a run
// away, they are not.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "base/vector_unit.h"
#include "tables/table_view.h"

namespace pdsplit {

// Points of a run, from the first point of the grid on.
constexpr std::size_t kRun = 64;

// The sums of a run: N (of rho), below (of rho over the segments whose two
// ends lie below the Fermi level), then of d rho, d^2 rho, d^3 rho, d^4 rho.
constexpr std::size_t kSums = 6;

// The energies of the points, as read, and the Fermi energy.
struct Grid {
  const double* energy = nullptr;  // point i at energy[i * stride]
  std::size_t stride = 1;
  std::size_t points = 0;
  double efermi = 0;

  static Grid of(TableView table, double efermi) {
    return {table.data, table.width(), table.rows(), efermi};
  }
  double e(std::size_t i) const { return energy[i * stride]; }
  double x(std::size_t i) const { return e(i) - efermi; }
  // The half steps to the left and to the right of point i (0 beyond the
  // ends), each computed as the same expression from either of its ends.
  double left(std::size_t i) const { return i > 0 ? 0.5 * (e(i) - e(i - 1)) : 0; }
  double right(std::size_t i) const { return i + 1 < points ? left(i + 1) : 0; }
  // The weight w of point i.
  double weight(std::size_t i) const { return left(i) + right(i); }

  std::size_t runs() const { return (points + kRun - 1) / kRun; }
  std::size_t run_end(std::size_t r) const { return std::min(points, (r + 1) * kRun); }
  // The middle of run r (x at half way from its first point to its last)
  // and its half length: how far from the middle its points lie, when the
  // energies rise.
  double middle(std::size_t r) const { return 0.5 * (x(r * kRun) + x(run_end(r) - 1)); }
  double half_length(std::size_t r) const { return 0.5 * (x(run_end(r) - 1) - x(r * kRun)); }
};

// What the weights of a grid tell of every column at once.
struct GridFacts {
  bool rising = true;           // no step down (or NaN): every weight is >= 0
  std::vector<double> weights;  // of each run, the sum of w: what a column
                                // that is -1 everywhere would add to its N
};

// Sums of several columns side by side: sum k of run r of column l is
// at[r * run_stride + k * sum_stride + l]. `least` is the least value
// of each column (it tells only whether a column has a negative value:
// where a value is NaN, so are the sums).
struct RunSums {
  const double* at = nullptr;
  std::size_t run_stride = kSums;
  std::size_t sum_stride = 1;
  const double* least = nullptr;
};

// The sums of each value column 1..K of a table, taken as its rows come:
// add_rows(end) adds the rows not yet added before `end`. Each sum of a
// column is added point after point in file order by fused multiply-adds
// (one rounding per point), in the vector unit (several columns at a time)
// unless `path` is Portable: the same numbers to the bit either way,
// whatever the calls.
class TablePowerSums {
 public:
  // Four columns to a group, the same sum of the four side by side.
  static constexpr std::size_t kLanes = 4;

  TablePowerSums(TableView table, double efermi, NumberPath path = NumberPath::Fastest);
  void add_rows(std::size_t end);

  // Once every row is added: the sums of group g (columns 4g + 1 to
  // 4g + 4, the last group padded with columns of zeros).
  std::size_t groups() const { return groups_; }
  RunSums group(std::size_t g) const;
  const Grid& grid() const { return grid_; }
  const GridFacts& facts() const { return facts_; }

 private:
  TableView table_;
  Grid grid_;
  bool vector_ = false;
  std::size_t groups_ = 0;
  std::size_t added_ = 0;
  GridFacts facts_;
  std::vector<double> state_;    // the run being added, then the least values
  std::vector<double> runs_;     // the runs added
  std::vector<double> weights_;  // a run's weights, kSums per point
};

}  // namespace pdsplit
