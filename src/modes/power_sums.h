// The sums the moments of DOS columns are made of, taken for every column
// of a table in one sweep over its rows.
//
// The trapezoid rule over points e_0 < e_1 < ... is a weighted sum of the
// values at the points: with h_i = (e_{i+1} - e_i) / 2, the sum over the
// segments of h_i (f_i + f_{i+1}) is the sum over the points of
// w_i f_i, w_i = h_{i-1} + h_i (h_{-1} = h_{n-1} = 0). So the integrals of
// rho, of rho below the Fermi level and of x^k rho (x = E - E_F) are sums
// of rho_i times a weight of the point alone, the same for every column:
// each costs one fused multiply-add per value, and a table is read once
// for all of them, a run of rows at a time (the runs the table writer
// formats, so that each row is read from memory once).
#pragma once

#include <cstddef>
#include <vector>

#include "base/vector_unit.h"
#include "modes/table_view.h"

namespace pdsplit {

// The weights of a point:
//   w      h_{i-1} + h_i
//   below  the same over the segments whose two ends both have x < 0
//   w x, w x^2, w x^3, w x^4
constexpr std::size_t kWeights = 6;

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
  // The weights of point i, into w[0, kWeights).
  void weights(std::size_t i, double* w) const {
    const double l = left(i), r = right(i);
    const double xi = x(i);
    const bool l_below = i > 0 && xi < 0 && x(i - 1) < 0;
    const bool r_below = i + 1 < points && xi < 0 && x(i + 1) < 0;
    w[0] = l + r;
    w[1] = (l_below ? l : 0) + (r_below ? r : 0);
    w[2] = w[0] * xi;
    w[3] = w[2] * xi;
    w[4] = w[3] * xi;
    w[5] = w[4] * xi;
  }
};

// The weighted sums of one column, each added point after point in file
// order by fused multiply-adds (one rounding per point), and the least of
// its values. `least` tells only whether the column has a negative value:
// where a value is NaN, so are the sums.
struct PowerSums {
  double integral = 0;  // N
  double below = 0;
  double first = 0;  // integral of x rho; then of x^2 rho, x^3 rho, x^4 rho
  double second = 0;
  double third = 0;
  double fourth = 0;
  double least = 0;
};

// The sums of rho_i + sigma_i, from those of each (their integrals add):
// the up+down column of a spin pair.
PowerSums operator+(const PowerSums& a, const PowerSums& b);

// What the weights of a grid tell of every column at once.
struct GridFacts {
  bool rising = true;  // no step down (or NaN): every weight is >= 0
  // The sums of w and of w x^4 over the points: what a column that is -1
  // everywhere would add to N and to the integral of x^4 rho, the bounds
  // of what a column's negative values can add.
  double total = 0;
  double total_fourth = 0;
};

// The sums of `values[i * stride]` over the points of `grid`.
PowerSums column_power_sums(const Grid& grid, const double* values, std::size_t stride);
GridFacts grid_facts(const Grid& grid);

// The sums of each value column 1..K of a table, taken as its rows come:
// add_rows(end) adds the rows not yet added before `end`. The numbers are
// those of column_power_sums to the bit, whatever the runs, in the vector
// unit (several columns at a time) unless `path` is Portable.
class TablePowerSums {
 public:
  TablePowerSums(TableView table, double efermi, NumberPath path = NumberPath::Fastest);
  void add_rows(std::size_t end);
  std::size_t added() const { return added_; }
  // Once every row is added.
  std::vector<PowerSums> sums() const;
  const GridFacts& facts() const { return facts_; }
  const Grid& grid() const { return grid_; }

 private:
  TableView table_;
  Grid grid_;
  bool vector_ = false;
  std::size_t added_ = 0;
  GridFacts facts_;
  std::vector<double> state_;    // per column: the six sums and the least value
  std::vector<double> weights_;  // a run's weights, kWeights per point
};

}  // namespace pdsplit
