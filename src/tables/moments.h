// Moments of DOS columns and their running integral.
//
// E is the energy as read minus the Fermi energy (whatever the shift of the
// written tables); rho a value column. Every integral is the trapezoid rule
// over the rows of the table it is given (cut to the window beforehand), in
// double precision, with the grid steps taken from the energies as read:
// the sum over the rows, in their order, of rho times the row's trapezoid
// weight (tables/power_sums.h tells how the sums are taken).
//
//   integral  N = integral of rho dE
//   filling   integral of rho dE over the segments whose two ends both have
//             E < 0, divided by N (the segment that crosses 0, or ends on
//             it, is left out)
//   centre    c = integral of E rho dE / N
//   width     w = sqrt(integral of (E - c)^2 rho dE / N)
//   skewness  integral of (E - c)^3 rho dE / N / w^3
//   kurtosis  integral of (E - c)^4 rho dE / N / w^4 (plain: 3 for a Gaussian)
//
// N <= 0 (or NaN) makes filling to kurtosis NaN; a width that is 0 or NaN
// makes skewness and kurtosis NaN.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/vector_unit.h"
#include "tables/power_sums.h"
#include "tables/shape.h"
#include "tables/table_view.h"

namespace pdsplit {

struct Moments {
  double integral = 0;
  double filling = 0;
  double centre = 0;
  double width = 0;
  double skewness = 0;
  double kurtosis = 0;
};

struct NamedMoments {
  std::string name;
  Moments moments;
};

// One row per planned column of `table` (the table shape_table made with
// `plan`: value column j + 1 is plan[j]), named after it, except the
// magnetisation components of non-collinear tables (mx, my, mz), which get
// none: there only the total component of each orbital or group has a row.
// Right after each spin-down column that follows the spin-up column of the
// same group, one more row of rho = up + down, named after the up column
// with "_up" replaced by "_up+down" ("d_up+down"). Take the table before
// --down-negative. All columns are taken in one sweep over the rows (in
// the vector unit: see tables/power_sums.h); `path` Portable takes the code
// every processor runs, to the same numbers to the bit.
std::vector<NamedMoments> table_moments(const ColumnPlan& plan, TableView table, double efermi,
                                        NumberPath path = NumberPath::Fastest);

// The same, taken as the table's rows come: add_rows(end) takes the rows
// not yet taken before `end` (while the writer has them in the cache), and
// finish() the rest, then gives the rows of table_moments. The table must
// stay as it is until finish() returns: a column whose moments cannot be
// had from the sums alone is read again.
class TableMoments {
 public:
  TableMoments(const ColumnPlan& plan, TableView table, double efermi,
               NumberPath path = NumberPath::Fastest);
  void add_rows(std::size_t end);
  // Once.
  std::vector<NamedMoments> finish();

 private:
  struct Row {
    std::string name;
    std::size_t column;  // 1..K
    std::size_t down;    // for an up+down row, the down column; else 0
  };
  TableView table_;
  TablePowerSums sums_;
  std::vector<Row> rows_;
};

// A number as the moments table writes it: printf's "%.6f" (C locale), and
// NaN of either sign as "nan".
std::string format_moment(double x);

// One line of the moments table, without line end: the name, then the six
// numbers in the order above, separated by one blank.
std::string format_moments_row(std::string_view name, const Moments& m);

// The moments table's header line, without line end:
// "# column integral filling centre width skewness kurtosis".
std::string moments_header();

// --cumulative: a table of the same energies in which each value column is
// the running trapezoid integral of the column from the first row (0 there).
Table running_integral(TableView table);

}  // namespace pdsplit
