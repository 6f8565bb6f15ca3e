#include "modes/moments.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace pdsplit {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The trapezoid over one segment: the one expression every integral here
// adds, so that the running integral's last row is the moments' N.
inline double trapezoid(double e0, double e1, double f0, double f1) {
  return 0.5 * (e1 - e0) * (f0 + f1);
}

// The moments over n points: energy(i) as read, rho(i) the column.
template <class Energy, class Rho>
Moments moments_of(std::size_t n, const Energy& energy, const Rho& rho, double efermi) {
  Moments m;
  if (n < 2) {
    m.integral = 0;
    m.filling = m.centre = m.width = m.skewness = m.kurtosis = kNaN;
    return m;
  }
  // First pass: N, the part below the Fermi level, the first moment.
  double integral = 0, below = 0, first = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    double e0 = energy(i), e1 = energy(i + 1);
    double x0 = e0 - efermi, x1 = e1 - efermi;
    double f0 = rho(i), f1 = rho(i + 1);
    double area = trapezoid(e0, e1, f0, f1);
    integral += area;
    if (x0 < 0 && x1 < 0) below += area;
    first += trapezoid(e0, e1, x0 * f0, x1 * f1);
  }
  m.integral = integral;
  if (!(integral > 0)) {
    m.filling = m.centre = m.width = m.skewness = m.kurtosis = kNaN;
    return m;
  }
  m.filling = below / integral;
  m.centre = first / integral;
  // Second pass: the central moments about the centre.
  double second = 0, third = 0, fourth = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    double e0 = energy(i), e1 = energy(i + 1);
    double d0 = e0 - efermi - m.centre, d1 = e1 - efermi - m.centre;
    double f0 = rho(i), f1 = rho(i + 1);
    double s0 = d0 * d0 * f0, s1 = d1 * d1 * f1;
    second += trapezoid(e0, e1, s0, s1);
    third += trapezoid(e0, e1, d0 * s0, d1 * s1);
    fourth += trapezoid(e0, e1, d0 * d0 * s0, d1 * d1 * s1);
  }
  double variance = second / integral;
  m.width = variance >= 0 ? std::sqrt(variance) : kNaN;
  if (!(m.width > 0)) {
    m.skewness = m.kurtosis = kNaN;
    return m;
  }
  double w2 = m.width * m.width;
  m.skewness = third / integral / (w2 * m.width);
  m.kurtosis = fourth / integral / (w2 * w2);
  return m;
}

}  // namespace

Moments moments(std::span<const double> energies, std::span<const double> rho, double efermi) {
  if (energies.size() != rho.size())
    throw std::invalid_argument("moments: energies and values differ in length");
  return moments_of(
      energies.size(), [&](std::size_t i) { return energies[i]; },
      [&](std::size_t i) { return rho[i]; }, efermi);
}

Moments column_moments(TableView table, std::int32_t column, double efermi) {
  if (column < 1 || column > table.k)
    throw std::invalid_argument("moments: no column " + std::to_string(column));
  return moments_of(
      table.rows(), [&](std::size_t i) { return table.energy(i); },
      [&](std::size_t i) { return table.row(i)[column]; }, efermi);
}

std::vector<NamedMoments> table_moments(const ColumnPlan& plan, TableView table, double efermi) {
  if (static_cast<std::size_t>(extent(table.k)) != plan.size())
    throw std::invalid_argument("moments: the table does not have the plan's columns");
  std::vector<NamedMoments> rows;
  for (std::size_t j = 0; j < plan.size(); ++j) {
    Component component = plan[j].component;
    bool magnetisation =
        component == Component::Mx || component == Component::My || component == Component::Mz;
    if (magnetisation) continue;
    auto column = static_cast<std::int32_t>(j + 1);
    rows.push_back({plan[j].name(), column_moments(table, column, efermi)});
    bool pair = j > 0 && plan[j].component == Component::Down &&
                plan[j - 1].component == Component::Up && plan[j - 1].group == plan[j].group;
    if (pair) {
      rows.push_back({plan[j - 1].group + "_up+down",
                      moments_of(
                          table.rows(), [&](std::size_t i) { return table.energy(i); },
                          [&](std::size_t i) {
                            const double* row = table.row(i);
                            return row[column - 1] + row[column];
                          },
                          efermi)});
    }
  }
  return rows;
}

std::string format_moment(double x) {
  if (std::isnan(x)) return "nan";
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
