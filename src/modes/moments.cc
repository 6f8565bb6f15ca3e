#include "modes/moments.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "modes/power_sums.h"

namespace pdsplit {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// How far the central moments may be from the sums about the Fermi level
// and still be taken from them.
//
// m2 = r2 - c^2, m3 = r3 - 3 c r2 + 2 c^3, m4 = r4 - 4 c r3 + 6 c^2 r2 - 3 c^4
// (r_k the integral of x^k rho over N) subtract numbers that can be far
// larger than the result. Let A_k be the integral of |x|^k |rho| and
// a = A_0 / N (1 when no value is negative). Every term above, and the
// rounding of every sum (a few units per point added, of the sum of the
// magnitudes of its terms), is then bounded by a^3 A_4 / N, whatever the
// signs, when the weights are >= 0 (energies that rise). So when
// a^3 A_4 / N is at most kCancellation times m2^2, the kurtosis m4 / m2^2
// is off by at most some units of rounding times kCancellation times the
// number of points (about 1e-8 for 10^4 points; near 1e-12 in practice,
// where the errors partly cancel), and the width and the skewness by less.
// The negative values of a column are known only by its least one, v:
// they add at most 2 |v| times the sum of the weights to A_0 and
// 2 |v| times the sum of w x^4 to A_4, the bound taken.
//
// Otherwise (a narrow peak some 5 widths or more from the Fermi level, a
// column with large negative values, energies that do not rise) the
// central sums are taken in a second pass over the column, about its own
// centre.
constexpr double kCancellation = 1e3;

Moments no_moments(double integral) {
  Moments m;
  m.integral = integral;
  m.filling = m.centre = m.width = m.skewness = m.kurtosis = kNaN;
  return m;
}

// A column's moments as far as its sums give them: everything, or all but
// the width, skewness and kurtosis, whose central sums (`centred`) a
// second pass over the column then adds about `m.centre`.
struct FromSums {
  Moments m;
  bool centred = false;
};

FromSums from_sums(const PowerSums& sums, const GridFacts& facts, std::size_t points);
Moments with_central(Moments m, double m2, double m3, double m4);

FromSums from_sums(const PowerSums& sums, const GridFacts& facts, std::size_t points) {
  const double n = sums.integral;
  if (points < 2 || !(n > 0)) return {no_moments(points < 2 ? 0 : n), false};
  Moments m;
  m.integral = n;
  m.filling = sums.below / n;
  const double c = sums.first / n;
  m.centre = c;
  const double r2 = sums.second / n, r3 = sums.third / n, r4 = sums.fourth / n;
  const double m2 = r2 - c * c;
  const double negative = sums.least < 0 ? -sums.least : 0;
  const double a = (n + 2 * negative * facts.total) / n;
  const double bound = a * a * a * (sums.fourth + 2 * negative * facts.total_fourth) / n;
  if (!(facts.rising && std::isfinite(bound) && m2 > 0 && bound <= kCancellation * m2 * m2))
    return {m, true};
  const double m3 = r3 - c * (3 * r2 - 2 * c * c);
  const double m4 = r4 - c * (4 * r3 - c * (6 * r2 - 3 * c * c));
  return {with_central(m, m2, m3, m4), false};
}

// The width, skewness and kurtosis from the central moments.
Moments with_central(Moments m, double m2, double m3, double m4) {
  m.width = m2 >= 0 ? std::sqrt(m2) : kNaN;
  if (!(m.width > 0)) {
    m.skewness = m.kurtosis = kNaN;
    return m;
  }
  m.skewness = m3 / (m2 * m.width);
  m.kurtosis = m4 / (m2 * m2);
  return m;
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
    *col.m = with_central(*col.m, col.s2 / n, col.s3 / n, col.s4 / n);
  }
}

// The moments of one column; `rho(i)` its value at point i.
template <class Rho>
Moments moments_from(const PowerSums& sums, const GridFacts& facts, const Grid& grid,
                     const Rho& rho) {
  FromSums got = from_sums(sums, facts, grid.points);
  if (got.centred) {
    std::vector<Centring> one{{&got.m}};
    centre(one, grid, [&](std::size_t, std::size_t i) { return rho(i); });
  }
  return got.m;
}

}  // namespace

Moments moments(std::span<const double> energies, std::span<const double> rho, double efermi) {
  if (energies.size() != rho.size())
    throw std::invalid_argument("moments: energies and values differ in length");
  Grid grid{energies.data(), 1, energies.size(), efermi};
  return moments_from(column_power_sums(grid, rho.data(), 1), grid_facts(grid), grid,
                [&](std::size_t i) { return rho[i]; });
}

Moments column_moments(TableView table, std::int32_t column, double efermi) {
  if (column < 1 || column > table.k)
    throw std::invalid_argument("moments: no column " + std::to_string(column));
  Grid grid = Grid::of(table, efermi);
  return moments_from(column_power_sums(grid, table.data + column, table.width()), grid_facts(grid),
                grid, [&](std::size_t i) { return table.row(i)[column]; });
}

TableMoments::TableMoments(const ColumnPlan& plan, TableView table, double efermi,
                           NumberPath path)
    : table_(table), sums_(table, efermi, path) {
  if (static_cast<std::size_t>(extent(table.k)) != plan.size())
    throw std::invalid_argument("moments: the table does not have the plan's columns");
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
  const std::vector<PowerSums> sums = sums_.sums();
  std::vector<NamedMoments> out;
  out.reserve(rows_.size());
  std::vector<std::size_t> again;  // the rows of `out` that need a second pass
  for (Row& row : rows_) {
    const std::size_t c = row.column, d = row.down;
    FromSums got = from_sums(d == 0 ? sums[c - 1] : sums[c - 1] + sums[d - 1], sums_.facts(),
                             table_.rows());
    if (got.centred) again.push_back(out.size());
    out.push_back({std::move(row.name), got.m});
  }
  std::vector<Centring> second;
  for (std::size_t r : again) second.push_back({&out[r].moments});
  centre(second, sums_.grid(), [&](std::size_t l, std::size_t i) {
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
