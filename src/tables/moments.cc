#include "tables/moments.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tables/power_sums.h"

namespace pdsplit {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// When the sums of the runs give the central moments.
//
// About the column's centre c, run r (middle m_r, half length s_r, sums
// S_j of d^j rho, d = x - m_r) adds to the k-th central sum
// sum_j binomial(k, j) (m_r - c)^(k-j) S_j. With rho >= 0 and rising
// energies (weights >= 0), |S_j| <= s_r^j S_0, so each of these terms, and
// the rounding of each S_j (a few units per point of the run, of s_r^j
// S_0), is bounded by (|m_r - c| + s_r)^k S_0: the k-th central moment is
// off by some units of rounding times kRun times
//   reach_k = sum over the runs of (|m_r - c| + s_r)^k S_0 / N.
// A column's negative values, known only by its least value v, add at
// most 2 |v| times the run's weights to its S_0 in that bound. So when
// reach_4 is at most kCancellation times m2^2, the kurtosis m4 / m2^2 is
// off by at most about 1e-11, the width and the skewness by less. That
// holds for every column but peaks narrower than about a fifth of a run's
// half length (some 3 grid steps wide), columns with large negative values
// and energies that do not rise; those take a second pass over the column,
// about its own centre.
constexpr double kCancellation = 1e3;

Moments no_moments(double integral) {
  Moments m;
  m.integral = integral;
  m.filling = m.centre = m.width = m.skewness = m.kurtosis = kNaN;
  return m;
}

// A width this small against the energies (the largest |E| of the grid's
// ends and of the centre) is the rounding of the centre, not a spread: the
// centre of a column whose states are all on one point lies some units of
// rounding off it, and that distance would pass for a width, with a
// skewness of +-1 and a kurtosis of 1. Any spread over two grid points is
// far wider (DOSCAR writes energies to 0.001 eV).
constexpr double kNoWidth = 1e-9;

// The width, skewness and kurtosis from the central moments, on `grid`.
Moments with_central(Moments m, double m2, double m3, double m4, const Grid& grid) {
  m.width = m2 >= 0 ? std::sqrt(m2) : kNaN;
  const double scale = std::max({std::fabs(grid.x(0)), std::fabs(grid.x(grid.points - 1)),
                                 std::fabs(m.centre)});
  if (m.width <= kNoWidth * scale) m.width = 0;
  if (!(m.width > 0)) {
    m.skewness = m.kurtosis = kNaN;
    return m;
  }
  m.skewness = m3 / (m2 * m.width);
  m.kurtosis = m4 / (m2 * m2);
  return m;
}

constexpr std::size_t kLanes = TablePowerSums::kLanes;

// The moments of a group of columns side by side (sums `sums`, the bounds
// of their negative values `negative`) on a grid of two points or more,
// into out[0, kLanes): all of them, or for a column that needs the second
// pass (again[l]) all but the width, skewness and kurtosis. The columns
// take the same operations, which lets the compiler take the four at once.
void combine(const RunSums& sums, const double* negative, const Grid& grid,
             const GridFacts& facts, Moments* out, bool* again) {
  const std::size_t runs = grid.runs(), step = sums.sum_stride;
  auto at = [&](std::size_t r, std::size_t k) { return sums.at + r * sums.run_stride + k * step; };
  double n[kLanes] = {}, below[kLanes] = {}, first[kLanes] = {};
  for (std::size_t r = 0; r < runs; ++r) {
    const double middle = grid.middle(r);
    const double *s0 = at(r, 0), *s1 = at(r, 1), *s2 = at(r, 2);
    for (std::size_t l = 0; l < kLanes; ++l) {
      n[l] += s0[l];
      below[l] += s1[l];
      first[l] += s2[l] + middle * s0[l];
    }
  }
  double c[kLanes];
  for (std::size_t l = 0; l < kLanes; ++l) {
    again[l] = false;
    out[l] = no_moments(n[l]);
    c[l] = 0;
    if (!(n[l] > 0)) continue;
    out[l].integral = n[l];
    out[l].filling = below[l] / n[l];
    out[l].centre = c[l] = first[l] / n[l];
  }
  double m2[kLanes] = {}, m3[kLanes] = {}, m4[kLanes] = {}, reach[kLanes] = {};
  for (std::size_t r = 0; r < runs; ++r) {
    const double middle = grid.middle(r), half = grid.half_length(r), w = facts.weights[r];
    const double *p0 = at(r, 0), *p1 = at(r, 2), *p2 = at(r, 3), *p3 = at(r, 4), *p4 = at(r, 5);
    for (std::size_t l = 0; l < kLanes; ++l) {
      const double d = middle - c[l];
      const double s0 = p0[l], s1 = p1[l], s2 = p2[l], s3 = p3[l], s4 = p4[l];
      m2[l] += s2 + d * (2 * s1 + d * s0);
      m3[l] += s3 + d * (3 * s2 + d * (3 * s1 + d * s0));
      m4[l] += s4 + d * (4 * s3 + d * (6 * s2 + d * (4 * s1 + d * s0)));
      const double q = std::fabs(d) + half, qq = q * q;
      reach[l] += qq * qq * (s0 + 2 * negative[l] * w);
    }
  }
  for (std::size_t l = 0; l < kLanes; ++l) {
    if (!(n[l] > 0)) continue;
    const double v2 = m2[l] / n[l];
    if (facts.rising && std::isfinite(reach[l]) && v2 > 0 &&
        reach[l] / n[l] <= kCancellation * v2 * v2)
      out[l] = with_central(out[l], v2, m3[l] / n[l], m4[l] / n[l], grid);
    else
      again[l] = true;
  }
}

// The second pass over the columns whose moments need it, all in one
// sweep over the points: about each one's centre c, with d = x - c, the
// weighted sums of d^2, d^3 and d^4 times rho; `rho(l, i)` is the value
// of column l at point i.
struct Centring {
  Moments* m;
  double s2 = 0, s3 = 0, s4 = 0;
};

template <class Rho>
void centre(std::vector<Centring>& columns, const Grid& grid, const Rho& rho) {
  if (columns.empty()) return;
  for (std::size_t i = 0; i < grid.points; ++i) {
    const double x = grid.x(i), w = grid.weight(i);
    for (std::size_t l = 0; l < columns.size(); ++l) {
      Centring& col = columns[l];
      const double d = x - col.m->centre, dd = d * d;
      const double a = dd * (w * rho(l, i));
      col.s2 += a;
      col.s3 += d * a;
      col.s4 += dd * a;
    }
  }
  for (Centring& col : columns) {
    const double n = col.m->integral;
    *col.m = with_central(*col.m, col.s2 / n, col.s3 / n, col.s4 / n, grid);
  }
}

double negative_of(double least) { return least < 0 ? -least : 0; }

}  // namespace

TableMoments::TableMoments(const ColumnPlan& plan, TableView table, double efermi,
                           NumberPath path)
    : table_(table), sums_(table, efermi, path) {
  for (std::size_t j = 0; j < plan.size(); ++j) {
    Component component = plan[j].component;
    bool magnetisation =
        component == Component::Mx || component == Component::My || component == Component::Mz;
    if (magnetisation) continue;
    rows_.push_back({plan[j].name(), j + 1, 0});
    bool pair = j > 0 && component == Component::Down &&
                plan[j - 1].component == Component::Up && plan[j - 1].group == plan[j].group;
    if (pair) rows_.push_back({plan[j - 1].group + "_up+down", j, j + 1});
  }
}

void TableMoments::add_rows(std::size_t end) { sums_.add_rows(end); }

std::vector<NamedMoments> TableMoments::finish() {
  sums_.add_rows(table_.rows());
  const Grid& grid = sums_.grid();
  const GridFacts& facts = sums_.facts();
  const std::size_t runs = grid.runs(), groups = sums_.groups();
  if (grid.points < 2) {
    std::vector<NamedMoments> none;
    for (Row& row : rows_) none.push_back({std::move(row.name), no_moments(0)});
    return none;
  }
  // Every column's moments, four at a time, then the up+down pairs'.
  std::vector<Moments> column(kLanes * groups);
  std::unique_ptr<bool[]> column_again(new bool[kLanes * groups]);
  for (std::size_t g = 0; g < groups; ++g) {
    const RunSums s = sums_.group(g);
    double negative[kLanes];
    for (std::size_t l = 0; l < kLanes; ++l) negative[l] = negative_of(s.least[l]);
    combine(s, negative, grid, facts, &column[kLanes * g], &column_again[kLanes * g]);
  }
  // The pairs' sums, those of their two columns added, side by side as the
  // columns' are.
  std::vector<std::size_t> pairs;  // the rows of up+down pairs
  for (std::size_t r = 0; r < rows_.size(); ++r)
    if (rows_[r].down != 0) pairs.push_back(r);
  const std::size_t pair_groups = (pairs.size() + kLanes - 1) / kLanes;
  const std::size_t group_run = kSums * kLanes, run_stride = group_run * pair_groups;
  std::vector<double> pair_sums(run_stride * runs, 0.0);
  std::vector<double> pair_negative(kLanes * pair_groups, 0.0);
  for (std::size_t q = 0; q < pairs.size(); ++q) {
    const Row& row = rows_[pairs[q]];
    const std::size_t up = row.column - 1, down = row.down - 1;
    const RunSums a = sums_.group(up / kLanes), b = sums_.group(down / kLanes);
    double* to = pair_sums.data() + group_run * (q / kLanes) + q % kLanes;
    for (std::size_t r = 0; r < runs; ++r)
      for (std::size_t k = 0; k < kSums; ++k)
        to[r * run_stride + k * kLanes] =
            a.at[r * a.run_stride + k * a.sum_stride + up % kLanes] +
            b.at[r * b.run_stride + k * b.sum_stride + down % kLanes];
    pair_negative[q] = negative_of(a.least[up % kLanes]) + negative_of(b.least[down % kLanes]);
  }
  std::vector<Moments> pair(kLanes * pair_groups);
  std::unique_ptr<bool[]> pair_again(new bool[kLanes * pair_groups]);
  for (std::size_t g = 0; g < pair_groups; ++g)
    combine({pair_sums.data() + group_run * g, run_stride, kLanes, nullptr},
            &pair_negative[kLanes * g], grid, facts, &pair[kLanes * g], &pair_again[kLanes * g]);

  std::vector<NamedMoments> out;
  out.reserve(rows_.size());
  std::vector<std::size_t> again;  // the rows of `out` that need a second pass
  for (std::size_t r = 0, q = 0; r < rows_.size(); ++r) {
    Row& row = rows_[r];
    const bool is_pair = row.down != 0;
    const std::size_t at = is_pair ? q++ : row.column - 1;
    if (is_pair ? pair_again[at] : column_again[at]) again.push_back(r);
    out.push_back({std::move(row.name), is_pair ? pair[at] : column[at]});
  }
  std::vector<Centring> second;
  for (std::size_t r : again) second.push_back({&out[r].moments});
  centre(second, grid, [&](std::size_t l, std::size_t i) {
    const double* values = table_.row(i);
    const Row& row = rows_[again[l]];
    return row.down == 0 ? values[row.column] : values[row.column] + values[row.down];
  });
  return out;
}

std::vector<NamedMoments> table_moments(const ColumnPlan& plan, TableView table, double efermi,
                                        NumberPath path) {
  return TableMoments(plan, table, efermi, path).finish();
}

namespace {

// "%.6f" of x the quick way when it can be had so: x 10^6 rounded to an
// integer, which is printf's result unless x 10^6 lies within the rounding
// of the product of a half-way point (or the number is too large for the
// integer). Nothing written then.
bool format_moment_quickly(double x, std::string& out) {
  if (!(std::fabs(x) < 1e9)) return false;
  const double y = std::fabs(x) * 1e6;  // below 2^50
  const double whole = std::floor(y);
  const double fraction = y - whole;  // exact
  // The product is off by at most half a unit of y's last place, below
  // y 2^-52; a fraction that near one half could round either way.
  if (std::fabs(fraction - 0.5) <= y * 0x1p-52) return false;
  auto units = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
  char digits[24];
  char* end = digits + sizeof digits;
  char* p = end;
  for (int i = 0; i < 6; ++i, units /= 10) *--p = static_cast<char>('0' + units % 10);
  *--p = '.';
  do {
    *--p = static_cast<char>('0' + units % 10);
    units /= 10;
  } while (units != 0);
  if (std::signbit(x)) *--p = '-';
  out.append(p, end);
  return true;
}

}  // namespace

std::string format_moment(double x) {
  if (std::isnan(x)) return "nan";
  std::string out;
  if (format_moment_quickly(x, out)) return out;
  // Enough for "%.6f" of any double: 309 integer digits, sign, point, 6 decimals.
  char buffer[330];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, 6);
  if (error != std::errc()) throw std::logic_error("format_moment: buffer too small");
  return std::string(buffer, end);
}

std::string format_moments_row(std::string_view name, const Moments& m) {
  std::string line(name);
  for (double x : {m.integral, m.filling, m.centre, m.width, m.skewness, m.kurtosis}) {
    line += ' ';
    line += format_moment(x);
  }
  return line;
}

std::string moments_header() { return "# column integral filling centre width skewness kurtosis"; }

Table running_integral(TableView table) {
  // Segment by segment, so that each row is the one before it plus the
  // segment's trapezoid.
  auto trapezoid = [](double e0, double e1, double f0, double f1) {
    return 0.5 * (e1 - e0) * (f0 + f1);
  };
  Table out(table.ngrid, table.k);
  std::size_t width = table.width();
  for (std::size_t i = 0; i < table.rows(); ++i) {
    const double* in = table.row(i);
    double* row = out.row(i);
    row[0] = in[0];
    if (i == 0) {
      for (std::size_t c = 1; c < width; ++c) row[c] = 0;
      continue;
    }
    const double* previous_in = table.row(i - 1);
    const double* previous = out.row(i - 1);
    for (std::size_t c = 1; c < width; ++c)
      row[c] = previous[c] + trapezoid(previous_in[0], in[0], previous_in[c], in[c]);
  }
  return out;
}

}  // namespace pdsplit
