// The table mathematics against models written here: moments against exact cases and one
// trapezoid reference; broadening against one direct convolution; grouping against sums.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "base/failure.h"
#include "reference.h"
#include "tables/broadening.h"
#include "tables/moments.h"
#include "tables/shape.h"

namespace {

using namespace pdsplit;
using Values = std::vector<double>;

// A table of n rows of k values; fill(i, row) writes row i, energy first.
template <class Fill>
Table make_table(std::size_t n, std::size_t k, Fill fill) {
  Table t(static_cast<std::int32_t>(n), static_cast<std::int32_t>(k));
  for (std::size_t i = 0; i < n; ++i) fill(static_cast<double>(i), t.row(i));
  return t;
}

Values column(const Table& t, std::size_t c) {
  Values v;
  for (std::size_t i = 0; i < t.rows(); ++i) v.push_back(t.row(i)[c]);
  return v;
}

// The moments of column 1 of `t` as --moments takes them.
Moments moments_of(const Table& t, double efermi) {
  return table_moments({{"c", Component::None, {1}, false}}, t.view(), efermi).at(0).moments;
}

// The reference: the trapezoid rule segment by segment in long double, the
// central moments taken about the centre found first.
Values reference_moments(const Values& e, const Values& rho, double efermi) {
  auto trap = [&](auto g, bool below_only = false) {
    long double s = 0;
    for (std::size_t i = 1; i < e.size(); ++i) {
      long double x0 = (long double)e[i - 1] - efermi, x1 = (long double)e[i] - efermi;
      if (!below_only || (x0 < 0 && x1 < 0))
        s += ((long double)e[i] - e[i - 1]) * (g(x0) * rho[i - 1] + g(x1) * rho[i]) / 2;
    }
    return s;
  };
  auto one = [](long double) { return 1.0L; };
  long double n = trap(one), c = trap([](long double x) { return x; }) / n;
  auto central = [&](int p) { return trap([&](long double x) { return std::pow(x - c, p); }) / n; };
  const double filling = double(trap(one, true) / n);
  long double m2 = central(2), w = std::sqrt(m2);  // NaN below 0
  if (!(w > 0)) return {double(n), filling, double(c), double(w), NAN, NAN};  // no width: no shape
  return {double(n), filling, double(c), double(w), double(central(3) / (m2 * w)), double(central(4) / (m2 * m2))};
}

// Each number within `tol` of the model's, relative to its size (1 at least), or both NaN.
void expect_moments(const Moments& m, const Values& want, double tol) {
  const Values got = {m.integral, m.filling, m.centre, m.width, m.skewness, m.kurtosis};
  for (std::size_t q = 0; q < 6; ++q)
    EXPECT_TRUE(std::isnan(want[q]) ? std::isnan(got[q]) : std::fabs(got[q] - want[q]) <= tol * std::max(1.0, std::fabs(want[q])))
        << "number " << q << ": " << got[q] << ", not " << want[q];
}

// Exact moments: the filling leaves out the segment that crosses 0 or ends on it; no states,
// negative states or fewer than two rows give NaN from the filling on, states on one point a
// width of 0 and NaN after it, also on energies as DOSCAR writes them (3 decimals) and a Fermi
// level no point shares, whose centre is then some units of rounding off the point.
TEST(Moments, ExactCases) {
  const Values four = {-2, -1, 0, 1}, ones(4, 1.0), nine = {-1, -.75, -.5, -.25, 0, .25, .5, .75, 1};
  const std::tuple<Values, Values, double, std::string> cases[] = {  // E, rho, EF, row
      {four, ones, 0, "3.000000 0.333333 -0.500000 "},  {four, ones, 0.5, "3.000000 0.666667 -1.000000 "},
      {four, ones, -5, "3.000000 0.000000 4.500000 "}, {four, ones, 5, "3.000000 1.000000 -5.500000 "},
      {nine, Values(9, 0.0), 0, "0.000000 nan nan nan nan nan"},
      {nine, {-1, -1, -1, -1, .5, .5, .5, .5, .5}, 0, "-0.312500 nan nan nan nan nan"},
      {nine, {0, 0, 0, 0, 0, 0, 1, 0, 0}, 0, "0.250000 0.000000 0.500000 0.000000 nan nan"},
      {{0.5}, {3}, 0, "0.000000 nan nan nan nan nan"},
      {{}, {}, 0, "0.000000 nan nan nan nan nan"}};
  for (const auto& [e, rho, efermi, row] : cases) {
    Table t = make_table(e.size(), 1, [&](double i, double* r) { r[0] = e[size_t(i)], r[1] = rho[size_t(i)]; });
    const std::string got = format_moments_row("s", moments_of(t, efermi));
    EXPECT_TRUE(got.starts_with("s " + row)) << got << " for EF " << efermi;
  }
  Table t = make_table(300, 1, [](double i, double* row) { row[0] = std::stod(reference::energy_field(-20 + 0.1 * i)); });
  for (std::size_t at = 0; at < t.rows(); ++at) {
    for (std::size_t i = 0; i < t.rows(); ++i) t.row(i)[1] = i == at ? 0.75 : 0;
    const std::string line = format_moments_row("s", moments_of(t, 1.234));
    ASSERT_TRUE(line.ends_with(" 0.000000 nan nan")) << "point " << at << ": " << line;
  }
}

// Random tables of every kind (values >= 0, or some below 0; a grid not uniform), column 1 a
// state on three points far from its run's middle for its width, column 2 a band beside a
// large negative value (both need a second pass about the centre). Each row against the reference, named after its column, an up+down row after each
// down column, none for mx, my, mz; the same to the bit on the portable path and taken in runs.
TEST(Moments, RowsOfEveryKindAgainstTheReference) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> step(0.001, 0.05);
  for (double lowest : {0.0, -0.2})
    for (Orbitals grouping : {Orbitals::Lm, Orbitals::L})
      for (Spin spin : {Spin::None, Spin::Polarised, Spin::NonCollinear}) {
        std::uniform_real_distribution<double> value(lowest, 3.0);
        ColumnPlan plan = plan_columns({spin, Projection::LM, grouping == Orbitals::L}, grouping);
        double e = -4.3;
        Table t = make_table(257, plan.size(), [&](double i, double* row) {
          row[0] = e += step(rng);
          for (std::size_t c = 3; c <= plan.size(); ++c) row[c] = value(rng);
          const double pdf = std::exp(-0.5 * (row[0] + 1) * (row[0] + 1)) / std::sqrt(2 * std::numbers::pi);
          row[1] = i == 60 ? 0.2 : i == 61 ? 1.0 : i == 62 ? 0.3 : 0.0, row[2] = i == 150 ? -30 : 3 * pdf;
        });
        std::vector<std::pair<std::string, Values>> want;  // name, column
        for (std::size_t j = 0; j < plan.size(); ++j) {
          const Component part = plan[j].component;
          if (part == Component::Mx || part == Component::My || part == Component::Mz) continue;
          want.push_back({plan[j].name(), column(t, j + 1)});
          Values both = column(t, j);
          for (std::size_t i = 0; i < both.size(); ++i) both[i] += t.row(i)[j + 1];
          if (part == Component::Down) want.push_back({plan[j].group + "_up+down", both});
        }
        TableMoments taken(plan, t.view(), -0.7);
        for (std::size_t end = 0; end < t.rows(); end += 1 + rng() % 100) taken.add_rows(end);
        std::vector<NamedMoments> rows = table_moments(plan, t.view(), -0.7), in_runs = taken.finish(),
                                  portable = table_moments(plan, t.view(), -0.7, NumberPath::Portable);
        ASSERT_EQ(std::tuple(rows.size(), in_runs.size(), portable.size()), std::tuple(want.size(), want.size(), want.size()));
        for (std::size_t r = 0; r < rows.size(); ++r) {
          EXPECT_EQ(rows[r].name, want[r].first);
          expect_moments(rows[r].moments, reference_moments(column(t, 0), want[r].second, -0.7), 1e-11);
          EXPECT_EQ(std::memcmp(&in_runs[r].moments, &rows[r].moments, sizeof(Moments)), 0) << rows[r].name;
          EXPECT_EQ(std::memcmp(&portable[r].moments, &rows[r].moments, sizeof(Moments)), 0) << rows[r].name;
        }
      }
}

// "%.6f" as printf writes it: half-way points exact in binary (k / 128, to even) and not
// ((k + 1/2) 10^-6), the doubles beside them, the largest numbers of the quick way and beyond.
TEST(Moments, NumbersAsPrintfWritesThem) {
  Values values = {-0.0, 0.1234565, 1234567.0000004, 999999999.9999995, 999999999.9999994, 1e9,
                   -999999999.99999949, 1e300, -1.7976931348623157e308, HUGE_VAL, -HUGE_VAL};
  for (int k = -2000; k <= 2000; ++k)
    for (double v : {k / 128.0, (k + 0.5) * 1e-6, (k + 0.5) / 1e6 + k * 1e3})
      values.insert(values.end(), {v, std::nextafter(v, 1e300), std::nextafter(v, -1e300)});
  char text[400];
  for (double x : values) ASSERT_EQ(format_moment(x), (std::snprintf(text, sizeof text, "%.6f", x), text)) << x;
  EXPECT_EQ(format_moment(std::nan("")) + format_moment(-std::nan("")), "nannan");
}

// --gaussian against the convolution as the README defines it: sigma = S / d grid steps (d the
// mean step), r = floor(4 sigma + 0.5), weights exp(-k^2 / (2 sigma^2)) normalised, the column
// reflected at its ends one mirror at a time. Sigma 5 steps; 2.25: radius 9 = n - 1; 2.5: n;
// 2.625: 11; 24 on 7 rows; 8 on 2; 2.5 rounds to 2; exactly 1; radius 0 and one row: as they
// are; an uneven grid's mean step. Grids that do not rise, and kernels too wide, are refused.
TEST(Broadening, MatchesTheDirectConvolution) {
  const std::string rise = "Error! --gaussian needs a grid whose energies rise";
  const std::tuple<std::size_t, double, double, double, std::string> cases[] = {  // rows, step, wobble, S, error
      {300, 0.02, 0, 0.1, ""},  {10, 0.25, 0, 0.5625, ""}, {10, 0.25, 0, 0.625, ""}, {10, 0.25, 0, 0.65625, ""},
      {7, 0.5, 0, 3.0, ""},     {2, 0.5, 0, 1.0, ""},      {30, 0.25, 0, 0.125, ""}, {30, 0.25, 0, 0.03125, ""},
      {30, 0.25, 0, 0.01, ""},  {1, 0.25, 0, 0.5, ""},     {50, 0.1, 0.03, 0.35, ""}, {50, -0.1, 0, 0.1, rise},
      {50, 0.0, 0, 0.1, rise},  {50, 0.1, 0, 1e7, "Error! --gaussian spreads over more than 100000000 grid steps"}};
  std::mt19937_64 rng(1);
  for (const auto& [n, step, wobble, s, error] : cases) {
    Table t = make_table(n, 4, [&](double i, double* row) {
      row[0] = 1.0 + step * i + wobble * std::sin(i);
      row[1] = i == 0 || i == double(n - 1) || i == double(n / 3) ? 7.0 : 0.0, row[2] = i < double(n / 2) ? 0 : 2;
      row[3] = std::sin(0.3 * i) + 1.5, row[4] = std::uniform_real_distribution<double>(0, 1)(rng);
    });
    try {
      Table out = Broadening(s).apply(t.view());
      ASSERT_EQ(std::tuple(out.ngrid, out.k, column(out, 0), std::string()), std::tuple(t.ngrid, t.k, column(t, 0), error));
      const double sigma = n < 2 ? 0.1 : s * double(n - 1) / (t.row(n - 1)[0] - t.row(0)[0]);
      const auto r = static_cast<long long>(std::floor(4 * sigma + 0.5)), size = static_cast<long long>(n);
      auto weight = [&](long long k) { return std::exp(-double(k * k) / (2 * sigma * sigma)); };
      double total = 0;
      for (long long k = -r; k <= r; ++k) total += weight(k);
      for (std::size_t c = 1; c <= 4; ++c)
        for (long long i = 0; i < size; ++i) {
          double want = 0;
          for (long long k = -r; k <= r; ++k) {
            long long j = i + k;
            while (j < 0 || j >= size) j = j < 0 ? -1 - j : 2 * size - 1 - j;
            want += weight(k) / total * t.row(std::size_t(j))[c];
          }
          ASSERT_NEAR(out.row(std::size_t(i))[c], want, 1e-12) << n << " rows, S " << s << ", column " << c << ", row " << i;
        }
    } catch (const Failure& e) {
      EXPECT_EQ(e.text(), error);
    }
  }
}

// --orbitals, --header, --down-negative on every kind of file (spin, projection, f orbitals),
// against the README's column order written out here: the orbitals of each group, added in
// the file's order; the names.
struct Group { std::string name; std::vector<std::size_t> orbitals; };  // by place in the file

std::vector<Group> expected_groups(bool lm, bool f, Orbitals grouping) {
  const char* const names[] = {"s", "py", "pz", "px", "dxy", "dyz", "dz2", "dxz", "dx2-y2",
                               "f-3", "f-2", "f-1", "f0", "f1", "f2", "f3", "s", "p", "d", "f"};
  std::vector<std::size_t> all(lm ? (f ? 16 : 9) : (f ? 4 : 3));
  for (std::size_t o = 0; o < all.size(); ++o) all[o] = o;
  std::vector<Group> groups;
  if (grouping == Orbitals::Lm || (grouping == Orbitals::L && !lm))
    for (std::size_t o : all) groups.push_back({names[lm ? o : 16 + o], {o}});
  else if (grouping != Orbitals::Sum) {
    groups = {{"s", {0}}, {"p", {1, 2, 3}}};
    if (grouping == Orbitals::L) groups.push_back({"d", {4, 5, 6, 7, 8}});
    else groups.insert(groups.end(), {{"t2g", {4, 5, 7}}, {"eg", {6, 8}}});
    if (f) groups.push_back({"f", {9, 10, 11, 12, 13, 14, 15}});
  }
  if (grouping != Orbitals::Lm) groups.push_back({"total", all});
  return groups;
}

TEST(Shape, EveryGroupingOfEveryKindOfFile) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (auto [spin, parts] : {std::pair{Spin::None, std::vector<std::string>{""}},
                             {Spin::Polarised, {"_up", "_down"}}, {Spin::NonCollinear, {"", "_mx", "_my", "_mz"}}})
    for (int orbitals : {3, 4, 9, 16}) {
      const bool lm = orbitals >= 9, f = orbitals % 3 != 0;
      const ColumnLayout layout{spin, lm ? Projection::LM : Projection::L, f};
      const int npcol = orbitals * int(parts.size());
      SCOPED_TRACE(std::to_string(npcol) + " values, " + parts.back());
      // Values of many magnitudes, so that another order of the sums shows, and a negative
      // zero, whose sign a sum from 0 would lose.
      Table in = make_table(23, std::size_t(npcol), [&](double i, double* row) {
        row[0] = -10.0 + 0.0731 * i;
        for (int c = 1; c <= npcol; ++c) row[c] = unit(rng) * std::pow(10.0, std::floor(9 * unit(rng)) - 4);
      });
      in.row(4)[1] = -0.0;
      auto at = [&](std::size_t i, std::size_t o, std::size_t c) { return in.row(i)[1 + o * parts.size() + c]; };
      if (!lm) { EXPECT_THROW(plan_columns(layout, Orbitals::DSplit), Failure); }  // d-split of s p d
      for (Orbitals grouping : {Orbitals::Lm, Orbitals::L, Orbitals::DSplit, Orbitals::Sum}) {
        if (grouping == Orbitals::DSplit && !lm) continue;
        ColumnPlan plan = plan_columns(layout, grouping);
        Table out = shape_table(plan, in.view()), flipped = shape_table(plan, in.view());
        negate_down_columns(plan, flipped);
        const std::vector<Group> groups = expected_groups(lm, f, grouping);
        ASSERT_EQ(std::size_t(out.k), groups.size() * parts.size()) << int(grouping);
        std::string header = "# E-EF";
        std::size_t j = 1;
        for (const Group& group : groups)
          for (std::size_t c = 0; c < parts.size(); ++c, ++j) {
            header += " " + group.name + parts[c];
            for (std::size_t i = 0; i < in.rows(); ++i) {
              double sum = at(i, group.orbitals[0], c);
              for (std::size_t o = 1; o < group.orbitals.size(); ++o) sum += at(i, group.orbitals[o], c);
              ASSERT_EQ(std::memcmp(&out.row(i)[j], &sum, sizeof sum), 0) << group.name << parts[c] << i;
              ASSERT_EQ(flipped.row(i)[j], parts[c] == "_down" ? -sum : sum) << group.name << parts[c] << i;
            }
          }
        EXPECT_EQ(header_line(plan, true), header);
      }
    }
}

}  // namespace
