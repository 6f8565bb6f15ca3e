// Moments and the running integral (src/modes/moments.cc): columns that are
// known functions against closed forms and against trapezoid sums computed
// here another way (raw moments, then central ones by the binomial formula);
// the up+down rows; the "%.6f" and "nan" texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tables/moments.h"
#include "tables/shape.h"

namespace {

using namespace pdsplit;

constexpr double kPi = std::numbers::pi;

double normal_pdf(double x, double mu, double sigma) {
  double z = (x - mu) / sigma;
  return std::exp(-0.5 * z * z) / (sigma * std::sqrt(2 * kPi));
}

double normal_cdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

// A table of one column per function, on n energies e_i = first + i h.
template <class... F>
Table table_of(double first, double h, std::int32_t n, F... f) {
  Table t(n, static_cast<std::int32_t>(sizeof...(F)));
  for (std::size_t i = 0; i < t.rows(); ++i) {
    double e = first + static_cast<double>(i) * h;
    double* row = t.row(i);
    row[0] = e;
    std::size_t c = 1;
    ((row[c++] = f(e)), ...);
  }
  return t;
}

// The moments computed here another way: plain trapezoid sums of the raw
// moments E^p rho, the central moments from them by the binomial formula.
struct Reference {
  double integral, filling, centre, width, skewness, kurtosis;
};

Reference reference_moments(const std::vector<double>& e, const std::vector<double>& rho, double efermi) {
  auto trap = [&](auto weight, bool below_only) {
    double s = 0;
    for (std::size_t i = 1; i < e.size(); ++i) {
      double x0 = e[i - 1] - efermi, x1 = e[i] - efermi;
      if (below_only && !(x0 < 0 && x1 < 0)) continue;
      s += (e[i] - e[i - 1]) * (weight(x0) * rho[i - 1] + weight(x1) * rho[i]) / 2;
    }
    return s;
  };
  Reference r;
  double n = trap([](double) { return 1.0; }, false);
  double m1 = trap([](double x) { return x; }, false) / n;
  double m2 = trap([](double x) { return x * x; }, false) / n;
  double m3 = trap([](double x) { return x * x * x; }, false) / n;
  double m4 = trap([](double x) { return x * x * x * x; }, false) / n;
  r.integral = n;
  r.filling = trap([](double) { return 1.0; }, true) / n;
  r.centre = m1;
  double var = m2 - m1 * m1;
  double mu3 = m3 - 3 * m1 * m2 + 2 * m1 * m1 * m1;
  double mu4 = m4 - 4 * m1 * m3 + 6 * m1 * m1 * m2 - 3 * m1 * m1 * m1 * m1;
  r.width = std::sqrt(var);
  r.skewness = mu3 / (var * r.width);
  r.kurtosis = mu4 / (var * var);
  return r;
}

std::vector<double> column(const Table& t, std::size_t c) {
  std::vector<double> v;
  for (std::size_t i = 0; i < t.rows(); ++i) v.push_back(t.row(i)[c]);
  return v;
}

void expect_near_reference(const Moments& m, const Reference& r, double tol, const std::string& what) {
  EXPECT_NEAR(m.integral, r.integral, tol * std::fabs(r.integral)) << what;
  EXPECT_NEAR(m.filling, r.filling, tol) << what;
  EXPECT_NEAR(m.centre, r.centre, tol) << what;
  EXPECT_NEAR(m.width, r.width, tol) << what;
  EXPECT_NEAR(m.skewness, r.skewness, tol) << what;
  EXPECT_NEAR(m.kurtosis, r.kurtosis, tol * r.kurtosis) << what;
}

// A Gaussian of area A, centre mu and width sigma (E = energy - EF) on a
// grid reaching 12 sigma past both sides, h = sigma / 25. On such a grid
// the trapezoid rule of a Gaussian times a polynomial is exact but for
// terms of order exp(-2 pi^2 sigma^2 / h^2) (Poisson summation) and the
// cut tails, exp(-72): nothing but rounding is left, a few ulps per point
// over ~600 points, far below the 1e-10 asked. A wrong power, a wrong
// normalisation or a centre left out shifts the results by 1e-2 or more.
TEST(Moments, GaussianAgainstClosedForm) {
  const double efermi = 5.3, area = 2.5, mu = -1.1, sigma = 0.4, h = sigma / 25;
  double first = efermi + mu - 12.37 * sigma;
  auto n = static_cast<std::int32_t>(24.74 * sigma / h) + 1;
  Table t = table_of(first, h, n, [&](double e) { return area * normal_pdf(e - efermi, mu, sigma); });
  Moments m = column_moments(t.view(), 1, efermi);
  EXPECT_NEAR(m.integral, area, 1e-10 * area);
  EXPECT_NEAR(m.centre, mu, 1e-10);
  EXPECT_NEAR(m.width, sigma, 1e-10);
  EXPECT_NEAR(m.skewness, 0.0, 1e-10);
  EXPECT_NEAR(m.kurtosis, 3.0, 1e-10);
  // The filling ends at the last point below 0, b: the integral up to b
  // plus the trapezoid rule's error there, h^2 / 12 times the slope of the
  // normalised density at b (Euler-Maclaurin; about -4e-6 here); what is
  // left is of order h^4.
  double b = 0;
  for (std::size_t i = 0; i < t.rows(); ++i)
    if (t.row(i)[0] - efermi < 0) b = t.row(i)[0] - efermi;
  double slope = -(b - mu) / (sigma * sigma) * normal_pdf(b, mu, sigma);
  EXPECT_NEAR(m.filling, normal_cdf((b - mu) / sigma) + h * h / 12 * slope, 1e-9);
  EXPECT_GT(std::fabs(h * h / 12 * slope), 1e-6);  // the correction matters
  EXPECT_GT(m.filling, 0.99);
  expect_near_reference(m, reference_moments(column(t, 0), column(t, 1), efermi), 1e-10, "one Gaussian");
  // The same through the span interface.
  Moments s = moments(column(t, 0), column(t, 1), efermi);
  EXPECT_EQ(s.integral, m.integral);
  EXPECT_EQ(s.kurtosis, m.kurtosis);
}

// Two Gaussians: a mixture of areas a_i, centres mu_i, widths s_i has
// N = sum a_i, c = sum a_i mu_i / N and, with d_i = mu_i - c, the central
// moments sum a_i (d^2 + s^2) / N, sum a_i (d^3 + 3 d s^2) / N,
// sum a_i (d^4 + 6 d^2 s^2 + 3 s^4) / N.
TEST(Moments, TwoGaussiansAgainstClosedForm) {
  const double efermi = -1.7;
  const double a1 = 1.5, mu1 = -2.0, s1 = 0.3, a2 = 0.7, mu2 = 0.8, s2 = 0.6, h = 0.01;
  double first = efermi + mu1 - 12 * s1;
  auto n = static_cast<std::int32_t>((mu2 + 12 * s2 - mu1 + 12 * s1) / h) + 1;
  Table t = table_of(first, h, n, [&](double e) {
    return a1 * normal_pdf(e - efermi, mu1, s1) + a2 * normal_pdf(e - efermi, mu2, s2);
  });
  double total = a1 + a2, c = (a1 * mu1 + a2 * mu2) / total;
  double d1 = mu1 - c, d2 = mu2 - c;
  double var = (a1 * (d1 * d1 + s1 * s1) + a2 * (d2 * d2 + s2 * s2)) / total;
  double mu3 = (a1 * (d1 * d1 * d1 + 3 * d1 * s1 * s1) + a2 * (d2 * d2 * d2 + 3 * d2 * s2 * s2)) / total;
  double mu4 = (a1 * (std::pow(d1, 4) + 6 * d1 * d1 * s1 * s1 + 3 * std::pow(s1, 4)) +
                a2 * (std::pow(d2, 4) + 6 * d2 * d2 * s2 * s2 + 3 * std::pow(s2, 4))) / total;
  Moments m = column_moments(t.view(), 1, efermi);
  EXPECT_NEAR(m.integral, total, 1e-10);
  EXPECT_NEAR(m.centre, c, 1e-10);
  EXPECT_NEAR(m.width, std::sqrt(var), 1e-10);
  EXPECT_NEAR(m.skewness, mu3 / std::pow(var, 1.5), 1e-9);
  EXPECT_NEAR(m.kurtosis, mu4 / (var * var), 1e-9);
  EXPECT_GT(std::fabs(m.skewness), 0.1);  // a lopsided pair: not a Gaussian's 0
  // The filling up to the last point b below 0, with the trapezoid rule's
  // h^2 / 12 times the slope at b, as for one Gaussian.
  double b = 0;
  for (std::size_t i = 0; i < t.rows(); ++i)
    if (t.row(i)[0] - efermi < 0) b = t.row(i)[0] - efermi;
  double below = a1 * normal_cdf((b - mu1) / s1) + a2 * normal_cdf((b - mu2) / s2);
  double slope = -a1 * (b - mu1) / (s1 * s1) * normal_pdf(b, mu1, s1) -
                 a2 * (b - mu2) / (s2 * s2) * normal_pdf(b, mu2, s2);
  EXPECT_NEAR(m.filling, (below + h * h / 12 * slope) / total, 1e-9);
  expect_near_reference(m, reference_moments(column(t, 0), column(t, 1), efermi), 1e-9, "two Gaussians");
}

// The filling leaves out the segment that crosses 0 and the one that ends
// on it: energies -2 -1 0 1 (EF 0), rho 1: N = 3, below 0 only [-2, -1].
TEST(Moments, FillingTakesOnlySegmentsWhollyBelowZero) {
  Table t = table_of(-2.0, 1.0, 4, [](double) { return 1.0; });
  Moments m = column_moments(t.view(), 1, 0.0);
  EXPECT_EQ(m.integral, 3.0);
  EXPECT_EQ(m.filling, 1.0 / 3.0);
  EXPECT_EQ(m.centre, -0.5);
  // Fermi level inside a segment: EF 0.5 puts -1 - 0.5 and 0 - 0.5 below.
  EXPECT_EQ(column_moments(t.view(), 1, 0.5).filling, 2.0 / 3.0);
  // Nothing below: 0; all below: 1.
  EXPECT_EQ(column_moments(t.view(), 1, -5.0).filling, 0.0);
  EXPECT_EQ(column_moments(t.view(), 1, 5.0).filling, 1.0);
}

// A Gaussian cut to [mu - sigma, mu + sigma] by --window. In units of sigma
// (x = (E - mu) / sigma, step k = h / sigma) the integrals of x^p phi(x)
// over [-1, 1] are I0 = Z = 2 Phi(1) - 1, I2 = Z - 2 phi(1), I4 = 3 I2 -
// 2 phi(1). The trapezoid rule now has ends where the slopes are not 0:
// by Euler-Maclaurin it gives I_p + k^2 / 12 (g'(1) - g'(-1)) for
// g = x^p phi, i.e. -2 phi(1), +2 phi(1), +6 phi(1) for p = 0, 2, 4 (some
// 1e-5, which the closed forms must carry), leaving terms of order k^4. The
// reference trapezoid here must agree to rounding.
TEST(Moments, WindowCuttingAPeak) {
  const double efermi = 5.25, area = 1.8, mu = -1.0, sigma = 0.4, h = 0.005;
  Table t = table_of(efermi - 4.0, h, 1601, [&](double e) { return area * normal_pdf(e - efermi, mu, sigma); });
  Table cut = cut_to_window(t.view(), efermi, *parse_window("-1.4:-0.6"));
  ASSERT_EQ(cut.ngrid, 161);
  EXPECT_NEAR(cut.row(0)[0] - efermi, -1.4, 1e-12);
  EXPECT_NEAR(cut.row(160)[0] - efermi, -0.6, 1e-12);
  Moments m = column_moments(cut.view(), 1, efermi);
  double phi1 = std::exp(-0.5) / std::sqrt(2 * kPi), z = 2 * normal_cdf(1.0) - 1;
  double i0 = z, i2 = z - 2 * phi1, i4 = 3 * i2 - 2 * phi1, k2 = (h / sigma) * (h / sigma) / 12;
  double t0 = i0 - k2 * 2 * phi1, t2 = i2 + k2 * 2 * phi1, t4 = i4 + k2 * 6 * phi1;
  EXPECT_NEAR(m.integral, area * t0, 1e-9);
  EXPECT_NEAR(m.centre, mu, 1e-10);
  EXPECT_NEAR(m.width, sigma * std::sqrt(t2 / t0), 1e-9);
  EXPECT_NEAR(m.skewness, 0.0, 1e-8);
  EXPECT_NEAR(m.kurtosis, t4 * t0 / (t2 * t2), 1e-8);
  EXPECT_GT(std::fabs(t4 * t0 / (t2 * t2) - i4 * i0 / (i2 * i2)), 1e-5);  // the correction matters
  EXPECT_EQ(m.filling, 1.0);  // the whole window lies below EF
  expect_near_reference(m, reference_moments(column(cut, 0), column(cut, 1), efermi), 1e-10, "cut peak");
  // The uncut column is a whole Gaussian: not these numbers.
  Moments whole = column_moments(t.view(), 1, efermi);
  EXPECT_NEAR(whole.width, sigma, 1e-9);
  EXPECT_GT(whole.integral - m.integral, 0.5);
}

TEST(Moments, EmptyNegativeAndPointColumnsGiveNan) {
  Table t = table_of(-1.0, 0.25, 9, [](double) { return 0.0; }, [](double e) { return e < 0 ? -1.0 : 0.5; },
                     [](double e) { return e == 0.5 ? 1.0 : 0.0; });
  Moments empty = column_moments(t.view(), 1, 0.0);
  EXPECT_EQ(empty.integral, 0.0);
  EXPECT_EQ(format_moments_row("s", empty), "s 0.000000 nan nan nan nan nan");
  // -1 on -1 .. -0.25, 0.5 on 0 .. 1: N = 3 * 0.25 * -1 + 0.25 * (-1 + 0.5) / 2
  // + 4 * 0.25 * 0.5 = -0.3125.
  Moments negative = column_moments(t.view(), 2, 0.0);
  EXPECT_EQ(negative.integral, -0.3125);
  EXPECT_EQ(format_moments_row("p", negative), "p -0.312500 nan nan nan nan nan");
  // One point of 1 at E = 0.5: N = 0.25, centre 0.5 exactly, width 0.
  Moments point = column_moments(t.view(), 3, 0.0);
  EXPECT_EQ(point.integral, 0.25);
  EXPECT_EQ(point.centre, 0.5);
  EXPECT_EQ(point.width, 0.0);
  EXPECT_EQ(format_moments_row("d", point), "d 0.250000 0.000000 0.500000 0.000000 nan nan");
  // Fewer than two points: no segment, no integral.
  Table one = table_of(0.0, 1.0, 1, [](double) { return 3.0; });
  EXPECT_EQ(format_moments_row("x", column_moments(one.view(), 1, 0.0)), "x 0.000000 nan nan nan nan nan");
  // Tables of no row and of one, with up+down rows.
  ColumnPlan l = plan_columns({Spin::Polarised, Projection::LM, false}, Grouping::L);
  for (std::int32_t rows : {0, 1}) {
    Table few(rows, static_cast<std::int32_t>(l.size()));
    for (std::size_t i = 0; i < few.rows(); ++i)
      for (std::size_t c = 0; c < few.width(); ++c) few.row(i)[c] = 1.0;
    std::vector<NamedMoments> got = table_moments(l, few.view(), 0.0);
    EXPECT_EQ(got.size(), 12u);
    for (const NamedMoments& m : got)
      EXPECT_EQ(format_moments_row(m.name, m.moments), m.name + " 0.000000 nan nan nan nan nan");
  }
  EXPECT_THROW(column_moments(t.view(), 4, 0.0), std::invalid_argument);
  EXPECT_THROW(column_moments(t.view(), 0, 0.0), std::invalid_argument);
}

// All states on one grid point, on energies as DOSCAR writes them (three
// decimals, read as the nearest double) and a Fermi level that no grid
// point shares: the centre is that point's E and the width 0, whatever the
// rounding of the sums, so skewness and kurtosis are NaN. Each point of a
// grid of several runs in turn, alone in its column, as column_moments
// and table_moments (four columns at a time, up+down rows) take it.
TEST(Moments, AllStatesOnOnePointOfADecimalGrid) {
  const double efermi = 1.234;
  const std::int32_t n = 300;
  ColumnPlan plan = plan_columns({Spin::Polarised, Projection::L, false}, Grouping::L);
  Table t(n, static_cast<std::int32_t>(plan.size()));
  for (std::size_t i = 0; i < t.rows(); ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", -20.0 + 0.1 * static_cast<double>(i));
    t.row(i)[0] = std::strtod(text, nullptr);
  }
  int wrong = 0;
  for (std::size_t at = 0; at < t.rows(); ++at) {
    for (std::size_t i = 0; i < t.rows(); ++i)
      for (std::size_t c = 1; c < t.width(); ++c) t.row(i)[c] = i == at ? 0.5 + 0.25 * static_cast<double>(c) : 0.0;
    const std::string what = "point " + std::to_string(at) + " at E = " + std::to_string(t.row(at)[0] - efermi);
    Moments m = column_moments(t.view(), 1, efermi);
    EXPECT_EQ(m.width, 0.0) << what;
    EXPECT_TRUE(std::isnan(m.skewness)) << what << ": " << m.skewness;
    EXPECT_TRUE(std::isnan(m.kurtosis)) << what << ": " << m.kurtosis;
    for (const NamedMoments& row : table_moments(plan, t.view(), efermi)) {
      const std::string line = format_moments_row(row.name, row.moments);
      EXPECT_TRUE(line.ends_with(" 0.000000 nan nan")) << what << ": " << line;
    }
    if (!std::isnan(m.kurtosis) && ++wrong == 5) break;  // enough to tell
  }
}

// Up+down rows: a spin-polarised table gets one more row after each
// up/down pair, the moments of up + down; the pair of Gaussians below has
// the mixture's closed form.
TEST(Moments, UpPlusDownRows) {
  const double efermi = 1.0, h = 0.01;
  ColumnPlan plan = plan_columns({Spin::Polarised, Projection::L, false}, Grouping::L);
  ASSERT_EQ(plan.size(), 8u);
  // s_up, s_down, p_up, p_down, d_up, d_down, total_up, total_down
  std::vector<double> mu = {-3, -2.5, -1, 1.5, -0.5, 0.5, -1.5, 0};
  std::vector<double> area = {0.5, 0.4, 1.0, 1.1, 4.0, 3.0, 5.5, 4.5};
  Table t(1201, 8);
  for (std::size_t i = 0; i < t.rows(); ++i) {
    double e = efermi - 6.0 + h * static_cast<double>(i);
    t.row(i)[0] = e;
    for (std::size_t c = 0; c < 8; ++c) t.row(i)[c + 1] = area[c] * normal_pdf(e - efermi, mu[c], 0.3);
  }
  std::vector<NamedMoments> rows = table_moments(plan, t.view(), efermi);
  std::vector<std::string> names;
  for (const NamedMoments& r : rows) names.push_back(r.name);
  EXPECT_EQ(names, (std::vector<std::string>{"s_up", "s_down", "s_up+down", "p_up", "p_down", "p_up+down",
                                             "d_up", "d_down", "d_up+down", "total_up", "total_down",
                                             "total_up+down"}));
  for (std::size_t c = 0; c < 8; ++c) {
    const Moments& m = rows[c + c / 2].moments;
    EXPECT_NEAR(m.integral, area[c], 1e-10) << names[c + c / 2];
    EXPECT_NEAR(m.centre, mu[c], 1e-10) << names[c + c / 2];
  }
  // p_up+down: areas 1.0 and 1.1 at -1 and 1.5.
  const Moments& p = rows[5].moments;
  double c = (1.0 * -1 + 1.1 * 1.5) / 2.1;
  double var = (1.0 * ((-1 - c) * (-1 - c) + 0.09) + 1.1 * ((1.5 - c) * (1.5 - c) + 0.09)) / 2.1;
  EXPECT_NEAR(p.integral, 2.1, 1e-10);
  EXPECT_NEAR(p.centre, c, 1e-10);
  EXPECT_NEAR(p.width, std::sqrt(var), 1e-10);
  // d_up+down from a column made here.
  std::vector<double> sum;
  for (std::size_t i = 0; i < t.rows(); ++i) sum.push_back(t.row(i)[5] + t.row(i)[6]);
  expect_near_reference(rows[8].moments, reference_moments(column(t, 0), sum, efermi), 1e-10, "d_up+down");

  // No such rows without spin: one row per column.
  ColumnPlan other = plan_columns({Spin::None, Projection::L, false}, Grouping::Lm);
  Table flat(50, static_cast<std::int32_t>(other.size()));
  for (std::size_t i = 0; i < flat.rows(); ++i) {
    flat.row(i)[0] = static_cast<double>(i);
    for (std::size_t k = 1; k < flat.width(); ++k) flat.row(i)[k] = 1;
  }
  std::vector<NamedMoments> r = table_moments(other, flat.view(), 0);
  ASSERT_EQ(r.size(), other.size());
  for (std::size_t k = 0; k < r.size(); ++k) {
    EXPECT_EQ(r[k].name, other[k].name());
    EXPECT_EQ(r[k].moments.integral, 49.0);
  }
  EXPECT_THROW(table_moments(plan, Table(10, 7).view(), 0), std::invalid_argument);
}

// Non-collinear tables: rows for the total component of each orbital or
// group alone (s, p, d, total), none for the magnetisation components mx,
// my, mz, and no up+down rows. Every column here is a Gaussian of its own
// area and centre, so a row taken from the wrong column shows.
TEST(Moments, NonCollinearTablesGetRowsOfTheTotalComponentOnly) {
  const double efermi = -0.5, h = 0.01;
  for (Grouping grouping : {Grouping::Lm, Grouping::L}) {
    ColumnPlan plan = plan_columns({Spin::NonCollinear, Projection::LM, false}, grouping);
    auto k = static_cast<std::int32_t>(plan.size());
    Table t(1001, k);
    auto area = [](std::size_t c) { return 1.0 + 0.5 * static_cast<double>(c); };
    auto centre = [](std::size_t c) { return -2.0 + 0.1 * static_cast<double>(c); };
    for (std::size_t i = 0; i < t.rows(); ++i) {
      double e = efermi - 5.0 + h * static_cast<double>(i);
      t.row(i)[0] = e;
      for (std::size_t c = 0; c < plan.size(); ++c)
        t.row(i)[c + 1] = area(c) * normal_pdf(e - efermi, centre(c), 0.25);
    }
    std::vector<std::string> want;  // the total components, in the plan's order
    std::vector<std::size_t> at;
    for (std::size_t c = 0; c < plan.size(); ++c)
      if (plan[c].component == Component::Total) {
        want.push_back(plan[c].group);
        at.push_back(c);
      }
    ASSERT_EQ(want.size() * 4, plan.size());
    std::vector<NamedMoments> rows = table_moments(plan, t.view(), efermi);
    std::vector<std::string> names;
    for (const NamedMoments& r : rows) names.push_back(r.name);
    EXPECT_EQ(names, want);
    for (std::size_t r = 0; r < rows.size() && r < at.size(); ++r) {
      EXPECT_NEAR(rows[r].moments.integral, area(at[r]), 1e-10) << names[r];
      EXPECT_NEAR(rows[r].moments.centre, centre(at[r]), 1e-10) << names[r];
    }
  }
}

// The moments of a column computed here in long double, about the centre:
// the reference for columns whose moments the sums about the Fermi level
// cannot give.
Reference centred_reference(const std::vector<double>& e, const std::vector<double>& rho,
                            double efermi) {
  auto trap = [&](auto weight) {
    long double s = 0;
    for (std::size_t i = 1; i < e.size(); ++i) {
      long double x0 = (long double)e[i - 1] - efermi, x1 = (long double)e[i] - efermi;
      s += ((long double)e[i] - e[i - 1]) * (weight(x0) * rho[i - 1] + weight(x1) * rho[i]) / 2;
    }
    return s;
  };
  long double n = trap([](long double) { return 1.0L; });
  long double c = trap([](long double x) { return x; }) / n;
  long double m2 = trap([&](long double x) { return (x - c) * (x - c); }) / n;
  long double m3 = trap([&](long double x) { return (x - c) * (x - c) * (x - c); }) / n;
  long double m4 = trap([&](long double x) { return (x - c) * (x - c) * (x - c) * (x - c); }) / n;
  long double w = std::sqrt(m2);
  return {double(n), 0, double(c), double(w), double(m3 / (m2 * w)), double(m4 / (m2 * m2))};
}

// Every number but the filling against centred_reference, relative to the
// size of each.
void expect_near_centred(const Moments& m, const Reference& r, double tol, const std::string& what) {
  EXPECT_NEAR(m.integral, r.integral, tol * std::fabs(r.integral)) << what;
  EXPECT_NEAR(m.centre, r.centre, tol * std::max(1.0, std::fabs(r.centre))) << what;
  EXPECT_NEAR(m.width, r.width, tol * r.width) << what;
  EXPECT_NEAR(m.skewness, r.skewness, tol * std::max(1.0, std::fabs(r.skewness))) << what;
  EXPECT_NEAR(m.kurtosis, r.kurtosis, tol * r.kurtosis) << what;
}

// Gaussian peaks on grids fine and coarse for their width (25 and 2
// points to a width; on both the trapezoid rule of a Gaussian times a
// polynomial is exact to rounding), near the Fermi level and far from it
// for their width, must come out as Gaussians. So must a state on three
// points near the end of a run of the grid: its moments cannot be had
// from the sums about the run's middle, narrow as it is for its distance
// from it (they would lose half their digits), and must be those of the
// second pass about the centre. A column whose negative values are large
// is another such case.
TEST(Moments, PeaksNarrowAndFarFromTheFermiLevel) {
  {
    Table t(200, 1);
    for (std::size_t i = 0; i < t.rows(); ++i) {
      t.row(i)[0] = -30 + 0.01 * static_cast<double>(i);
      t.row(i)[1] = i == 60 ? 0.2 : i == 61 ? 1.0 : i == 62 ? 0.3 : 0.0;
    }
    Moments m = column_moments(t.view(), 1, 0.0);
    Reference r = centred_reference(column(t, 0), column(t, 1), 0.0);
    EXPECT_NEAR(m.width, r.width, 1e-12 * r.width) << "three points";
    EXPECT_NEAR(m.skewness, r.skewness, 1e-10) << "three points";
    EXPECT_NEAR(m.kurtosis, r.kurtosis, 1e-10 * r.kurtosis) << "three points";
  }
  const double efermi = 3.0;
  for (auto [mu, sigma] : {std::pair{-40.0, 0.02}, {-8.0, 0.4}, {25.0, 0.1}, {-1.0, 0.01}})
  for (double per_width : {25.0, 2.0}) {
    const double h = sigma / per_width;
    Table t = table_of(efermi + mu - 12 * sigma, h, static_cast<std::int32_t>(24 * per_width + 1),
                       [&](double e) { return normal_pdf(e - efermi, mu, sigma); });
    Moments m = column_moments(t.view(), 1, efermi);
    std::string what = "mu " + std::to_string(mu) + " sigma " + std::to_string(sigma) +
                       " points to a width " + std::to_string(per_width);
    EXPECT_NEAR(m.integral, 1.0, 1e-12) << what;
    EXPECT_NEAR(m.centre, mu, 1e-12 * std::max(1.0, std::fabs(mu))) << what;
    EXPECT_NEAR(m.width, sigma, 1e-10 * sigma) << what;
    EXPECT_NEAR(m.skewness, 0.0, 1e-8) << what;
    EXPECT_NEAR(m.kurtosis, 3.0, 1e-8) << what;
  }
  // A band with negative values of an eighth of its height beside it.
  Table t = table_of(-10, 0.01, 2001, [](double e) {
    return normal_pdf(e, -2, 1) - (e > 0 && e < 1 ? 0.05 : 0.0);
  });
  expect_near_centred(column_moments(t.view(), 1, 0.0),
                      centred_reference(column(t, 0), column(t, 1), 0.0), 1e-11, "negative");
}

// Random tables of every kind: values that are all >= 0 (the sums about
// the Fermi level give the moments), or with negative ones (they may not),
// a grid that is not uniform, a Fermi level inside it, an odd number of
// columns. table_moments takes all columns at once, in the vector unit or
// not, and TableMoments as the rows come in runs of any length: each
// column's numbers must be column_moments' to the bit, an up+down row's
// those of its two columns' sums, the same on both paths, and all near
// the centred reference.
TEST(Moments, TableRowsAreTheColumnsMomentsToTheBit) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> step(0.001, 0.05);
  auto same = [](const Moments& a, const Moments& b, const std::string& what) {
    for (auto [x, y] : {std::pair{a.integral, b.integral}, {a.filling, b.filling},
                        {a.centre, b.centre}, {a.width, b.width},
                        {a.skewness, b.skewness}, {a.kurtosis, b.kurtosis}})
      EXPECT_TRUE(x == y || (std::isnan(x) && std::isnan(y))) << what << ": " << x << " " << y;
  };
  for (double lowest : {0.0, -0.2})
  for (Grouping grouping : {Grouping::Lm, Grouping::L})
  for (Spin spin : {Spin::None, Spin::Polarised, Spin::NonCollinear}) {
    std::uniform_real_distribution<double> value(lowest, 3.0);
    // Columns: 9, 18, 36 without f; with f 5, 10, 20 by l.
    ColumnPlan plan = plan_columns({spin, Projection::LM, grouping == Grouping::L}, grouping);
    auto k = static_cast<std::int32_t>(plan.size());
    Table t(257, k);
    double e = -4.3;
    for (std::size_t i = 0; i < t.rows(); ++i) {
      t.row(i)[0] = e;
      e += step(rng);
      for (std::size_t c = 1; c < t.width(); ++c) t.row(i)[c] = value(rng);
    }
    const double efermi = -0.7;
    std::vector<NamedMoments> rows = table_moments(plan, t.view(), efermi);
    std::vector<NamedMoments> portable = table_moments(plan, t.view(), efermi, NumberPath::Portable);
    TableMoments taken(plan, t.view(), efermi);
    for (std::size_t end = 0; end < t.rows(); end += 1 + rng() % 100) taken.add_rows(end);
    std::vector<NamedMoments> in_runs = taken.finish();
    ASSERT_EQ(portable.size(), rows.size());
    ASSERT_EQ(in_runs.size(), rows.size());
    std::size_t r = 0;
    for (std::size_t j = 0; j < plan.size(); ++j) {
      Component component = plan[j].component;
      if (component == Component::Mx || component == Component::My || component == Component::Mz) continue;
      ASSERT_LT(r, rows.size());
      std::vector<double> rho = column(t, j + 1);
      Moments want = column_moments(t.view(), static_cast<std::int32_t>(j + 1), efermi);
      same(rows[r].moments, want, plan[j].name());
      expect_near_centred(want, centred_reference(column(t, 0), rho, efermi), 1e-11, plan[j].name());
      same(moments(column(t, 0), rho, efermi), want, plan[j].name() + " from spans");
      ++r;
      if (component == Component::Down) {
        std::vector<double> both;
        for (std::size_t i = 0; i < t.rows(); ++i) both.push_back(t.row(i)[j] + t.row(i)[j + 1]);
        ASSERT_LT(r, rows.size());
        EXPECT_EQ(rows[r].name, plan[j].group + "_up+down");
        expect_near_centred(rows[r].moments, centred_reference(column(t, 0), both, efermi), 1e-11,
                            rows[r].name);
        ++r;
      }
    }
    EXPECT_EQ(r, rows.size());
    for (std::size_t q = 0; q < rows.size(); ++q) {
      same(portable[q].moments, rows[q].moments, rows[q].name + " portable");
      same(in_runs[q].moments, rows[q].moments, rows[q].name + " in runs");
    }
  }
}

TEST(Moments, NumbersAsPrintfWritesThem) {
  EXPECT_EQ(format_moment(1.5), "1.500000");
  EXPECT_EQ(format_moment(-0.25), "-0.250000");
  EXPECT_EQ(format_moment(1234567.0000004), "1234567.000000");
  EXPECT_EQ(format_moment(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(format_moment(-std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(format_moment(std::copysign(std::numeric_limits<double>::quiet_NaN(), -1.0)), "nan");
  std::mt19937_64 rng(17);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-12, 40);
  std::vector<double> values = {0.0, -0.0, 1e-7, -4e-7, 5e-7, 0.0000005, 1e300, -1.7976931348623157e308,
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(), 0.1234565, 2.5e-6};
  for (int n = 0; n < 100000; ++n) values.push_back(mantissa(rng) * std::pow(10.0, exponent(rng)));
  // Half-way points, exact in binary (k / 128, printf rounds them to even)
  // and not (k + 1/2) 10^-6, the doubles on either side, and the largest
  // numbers taken the quick way.
  for (int k = -2000; k <= 2000; ++k) {
    values.push_back(k / 128.0);
    for (double v : {(k + 0.5) * 1e-6, (k + 0.5) / 1e6 + k * 1e3}) {
      values.push_back(v);
      values.push_back(std::nextafter(v, 1e300));
      values.push_back(std::nextafter(v, -1e300));
    }
  }
  for (double v : {999999999.9999995, 999999999.9999994, 1e9, -999999999.99999949})
    values.push_back(v);
  for (double x : values) {
    char text[400];
    std::snprintf(text, sizeof text, "%.6f", x);
    ASSERT_EQ(format_moment(x), text) << x;
  }
  Moments m{2.0, 0.25, -1.125, 0.5, std::numeric_limits<double>::quiet_NaN(), 3.0000004};
  EXPECT_EQ(format_moments_row("d_up+down", m), "d_up+down 2.000000 0.250000 -1.125000 0.500000 nan 3.000000");
  EXPECT_EQ(moments_header(), "# column integral filling centre width skewness kurtosis");
}

// The running integral: exact for a linear column (e^2 + e from e_0), and
// for e^2 on a uniform grid the trapezoid sum is (b^3 - a^3) / 3 plus
// h^2 (b - a) / 6 exactly; its last row is the integral of the moments.
TEST(Moments, RunningIntegral) {
  const double first = -2.0, h = 0.125;  // binary fractions: the linear sums are exact
  Table t = table_of(first, h, 33, [](double e) { return 2 * e + 1; }, [](double e) { return e * e; },
                     [](double e) { return std::exp(-e * e); });
  Table run = running_integral(t.view());
  ASSERT_EQ(run.ngrid, t.ngrid);
  ASSERT_EQ(run.k, 3);
  for (std::size_t i = 0; i < t.rows(); ++i) {
    double e = t.row(i)[0];
    EXPECT_EQ(run.row(i)[0], e);
    EXPECT_EQ(run.row(i)[1], (e * e + e) - (first * first + first)) << i;
    EXPECT_NEAR(run.row(i)[2], (e * e * e - first * first * first) / 3 + h * h * (e - first) / 6, 1e-14) << i;
  }
  for (std::size_t c = 1; c <= 3; ++c) EXPECT_EQ(run.row(0)[c], 0.0);
  for (std::int32_t c = 1; c <= 3; ++c)
    EXPECT_DOUBLE_EQ(run.row(32)[static_cast<std::size_t>(c)], column_moments(t.view(), c, 0.0).integral);
  // Each row adds one segment: differences are the segments' trapezoids.
  for (std::size_t i = 1; i < t.rows(); ++i) {
    double segment = h * (t.row(i - 1)[3] + t.row(i)[3]) / 2;
    EXPECT_NEAR(run.row(i)[3] - run.row(i - 1)[3], segment, 1e-15);
  }
  EXPECT_NEAR(run.row(32)[3], std::sqrt(kPi) * std::erf(2.0), 1e-3);  // h^2 error of the rule
  EXPECT_EQ(running_integral(Table(0, 2).view()).ngrid, 0);
}

}  // namespace
