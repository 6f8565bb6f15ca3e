// Gaussian broadening (src/modes/broadening.cc) against a direct
// convolution written here, with the reflection done step by step; column
// sums kept; the kernel's size; a broadened Gaussian's width.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "base/failure.h"
#include "tables/broadening.h"
#include "tables/moments.h"

namespace {

using namespace pdsplit;

// Index j of the extended column, folded back into [0, n) one mirror at a
// time: below 0, -1 - j; at n or above, 2n - 1 - j.
std::size_t mirror(long long j, std::size_t n) {
  auto size = static_cast<long long>(n);
  while (j < 0 || j >= size) j = j < 0 ? -1 - j : 2 * size - 1 - j;
  return static_cast<std::size_t>(j);
}

// The broadening of one column as the formulas say: sigma = s / step grid
// steps, r = floor(4 sigma + 0.5), weights exp(-k^2 / (2 sigma^2))
// normalised, each output the weighted sum over k = -r .. r.
std::vector<double> direct(const std::vector<double>& x, double s, double step) {
  double sigma = s / step;
  auto r = static_cast<long long>(std::floor(4 * sigma + 0.5));
  std::vector<double> w;
  double total = 0;
  for (long long k = -r; k <= r; ++k) {
    w.push_back(std::exp(-static_cast<double>(k * k) / (2 * sigma * sigma)));
    total += w.back();
  }
  std::vector<double> y(x.size(), 0.0);
  for (std::size_t i = 0; i < x.size(); ++i)
    for (long long k = -r; k <= r; ++k)
      y[i] += w[static_cast<std::size_t>(k + r)] / total * x[mirror(static_cast<long long>(i) + k, x.size())];
  return y;
}

double sum_of(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x;
  return s;
}

double largest(const std::vector<double>& v) {
  double m = 0;
  for (double x : v) m = std::max(m, std::fabs(x));
  return m;
}

std::vector<double> column(const Table& t, std::size_t c) {
  std::vector<double> v;
  for (std::size_t i = 0; i < t.rows(); ++i) v.push_back(t.row(i)[c]);
  return v;
}

// A table of n rows of `k` columns: random values, spikes at both ends and
// inside, a step; energies first + step * i.
Table test_table(std::int32_t n, std::int32_t k, double first, double step, unsigned seed) {
  Table t(n, k);
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (std::size_t i = 0; i < t.rows(); ++i) {
    t.row(i)[0] = first + step * static_cast<double>(i);
    for (std::size_t c = 1; c < t.width(); ++c) {
      double v = 0;
      switch (c % 4) {
        case 0: v = unit(rng); break;
        case 1: v = (i == 0 || i + 1 == t.rows() || i == t.rows() / 3) ? 7.0 : 0.0; break;
        case 2: v = i < t.rows() / 2 ? 0.0 : 2.0; break;
        case 3: v = std::sin(0.3 * static_cast<double>(i)) + 1.5 + 1e-3 * unit(rng); break;
      }
      t.row(i)[c] = v;
    }
  }
  return t;
}

// Every value column of broaden_table(t, s) against the direct convolution
// (the same sum of the same products, up to the order of rounding: 1e-13
// of the column's largest value), with the column's sum kept.
void expect_direct(const Table& t, double s, const std::string& what) {
  Table out = broaden_table(t.view(), s);
  ASSERT_EQ(out.ngrid, t.ngrid) << what;
  ASSERT_EQ(out.k, t.k) << what;
  double step = (t.row(t.rows() - 1)[0] - t.row(0)[0]) / static_cast<double>(t.rows() - 1);
  for (std::size_t c = 1; c < t.width(); ++c) {
    std::vector<double> x = column(t, c), want = direct(x, s, step), got = column(out, c);
    double scale = largest(x);
    for (std::size_t i = 0; i < x.size(); ++i)
      ASSERT_NEAR(got[i], want[i], 1e-13 * scale) << what << ", column " << c << ", row " << i;
    EXPECT_NEAR(sum_of(got), sum_of(x), 1e-13 * scale * static_cast<double>(x.size())) << what << ", column " << c;
  }
  for (std::size_t i = 0; i < t.rows(); ++i) EXPECT_EQ(out.row(i)[0], t.row(i)[0]) << what;
}

TEST(Broadening, KernelSize) {
  // Binary fractions, so that sigma is exact and the rounding of 4 sigma
  // + 0.5 is the formula's, not the division's.
  GaussianKernel k = gaussian_kernel(0.5625, 0.25);  // sigma 2.25: 9.5 -> 9
  EXPECT_EQ(k.sigma, 2.25);
  EXPECT_EQ(k.radius, 9);
  EXPECT_EQ(gaussian_kernel(0.625, 0.25).radius, 10);  // 2.5: 10.5 -> 10
  EXPECT_EQ(gaussian_kernel(0.65625, 0.25).radius, 11);  // 2.625: 11
  EXPECT_EQ(gaussian_kernel(0.125, 0.25).radius, 2);  // 0.5: 2.5 -> 2
  EXPECT_EQ(gaussian_kernel(0.03125, 0.25).radius, 1);  // 0.125: exactly 1
  EXPECT_EQ(gaussian_kernel(0.01, 0.25).radius, 0);
  EXPECT_EQ(gaussian_kernel(1.0, 0.01).radius, 400);

  std::vector<double> w = gaussian_weights(k);
  ASSERT_EQ(w.size(), 19u);
  EXPECT_NEAR(sum_of(w), 1.0, 1e-15);
  for (int j = -9; j <= 9; ++j) {
    EXPECT_EQ(w[static_cast<std::size_t>(9 + j)], w[static_cast<std::size_t>(9 - j)]);
    EXPECT_NEAR(w[static_cast<std::size_t>(9 + j)] / w[9], std::exp(-j * j / (2 * 2.25 * 2.25)), 1e-15);
  }
  EXPECT_EQ(gaussian_weights(gaussian_kernel(0.01, 0.25)), std::vector<double>{1.0});
}

TEST(Broadening, MeanGridStep) {
  Table t(5, 1);
  double e[] = {-3.0, -2.9, -2.5, -1.0, 1.0};
  for (std::size_t i = 0; i < 5; ++i) t.row(i)[0] = e[i];
  EXPECT_EQ(mean_grid_step(t.view()), 1.0);
  EXPECT_TRUE(std::isnan(mean_grid_step(Table(1, 1).view())));
}

TEST(Broadening, ReflectionIsHalfSampleSymmetric) {
  for (std::size_t n : {1u, 2u, 3u, 7u, 10u})
    for (long long j = -45; j < 45; ++j) EXPECT_EQ(reflect(j, n), mirror(j, n)) << j << " in " << n;
  EXPECT_EQ(reflect(-1, 5), 0u);
  EXPECT_EQ(reflect(-2, 5), 1u);
  EXPECT_EQ(reflect(5, 5), 4u);
  EXPECT_EQ(reflect(6, 5), 3u);
  EXPECT_EQ(reflect(10, 5), 0u);  // past the second mirror
  EXPECT_EQ(reflect(-6, 5), 4u);
}

TEST(Broadening, MatchesDirectConvolution) {
  // sigma 5 steps, radius 20, on 300 rows.
  expect_direct(test_table(300, 8, -5.0, 0.02, 1), 0.1, "sigma 5");
  // sigma 2.25 steps, radius 9 = n - 1 on 10 rows: every row reflects.
  expect_direct(test_table(10, 4, 0.0, 0.25, 2), 0.5625, "radius n - 1");
  // Radius 10 = n, 11, and 24 on 7 rows: reflected again and again.
  expect_direct(test_table(10, 4, 0.0, 0.25, 3), 0.625, "radius n");
  expect_direct(test_table(10, 4, 0.0, 0.25, 4), 0.65625, "radius n + 1");
  expect_direct(test_table(7, 4, 1.0, 0.5, 5), 3.0, "radius 24 on 7 rows");
  expect_direct(test_table(2, 4, 1.0, 0.5, 6), 1.0, "radius 8 on 2 rows");
  // Grid not uniform: the mean step sets sigma.
  Table uneven = test_table(50, 4, 0.0, 0.1, 7);
  for (std::size_t i = 0; i < uneven.rows(); ++i) uneven.row(i)[0] += 0.03 * std::sin(static_cast<double>(i));
  expect_direct(uneven, 0.35, "uneven grid");
}

TEST(Broadening, ColumnInterfaceMatchesTable) {
  Table t = test_table(40, 4, 0.0, 0.25, 8);
  Table out = broaden_table(t.view(), 0.8);
  GaussianKernel k = gaussian_kernel(0.8, 0.25);
  for (std::size_t c = 1; c <= 4; ++c) {
    std::vector<double> x = column(t, c), y(x.size());
    broaden_column(x, k, y);
    EXPECT_EQ(y, column(out, c));
  }
  std::vector<double> shorter(3);
  EXPECT_THROW(broaden_column(column(t, 1), k, shorter), std::invalid_argument);
}

TEST(Broadening, NarrowKernelLeavesTheTableAsItIs) {
  Table t = test_table(30, 4, 0.0, 0.25, 9);
  Table out = broaden_table(t.view(), 0.01);  // sigma 0.04 steps: radius 0
  EXPECT_TRUE(std::ranges::equal(out.values(), t.values()));
  Table one = test_table(1, 3, 2.0, 0.25, 10);
  EXPECT_TRUE(std::ranges::equal(broaden_table(one.view(), 0.5).values(), one.values()));
}

// A Gaussian of width s0 broadened by S has width sqrt(s0^2 + S^2). The
// kernel stops at r = floor(4 sigma + 0.5) steps, which takes 0.11% of its
// variance away (a normal cut at 4 sigma keeps 1 - 8 phi(4) / erf(4 / sqrt 2)
// of it); the grid's sampling of both Gaussians (sigma 10 and 15 steps)
// adds nothing visible. So the width lies within 0.1% of the closed form,
// and the integral and centre are kept to rounding.
TEST(Broadening, WidthsAddInQuadrature) {
  const double s0 = 0.15, s = 0.1, step = 0.01, efermi = 2.0, mu = -0.4;
  Table t(1001, 1);
  for (std::size_t i = 0; i < t.rows(); ++i) {
    double e = efermi - 5.0 + step * static_cast<double>(i);
    double z = (e - efermi - mu) / s0;
    t.row(i)[0] = e;
    t.row(i)[1] = std::exp(-0.5 * z * z) / (s0 * std::sqrt(2 * 3.141592653589793));
  }
  Moments before = column_moments(t.view(), 1, efermi);
  Moments after = column_moments(broaden_table(t.view(), s).view(), 1, efermi);
  EXPECT_NEAR(before.width, s0, 1e-9);
  EXPECT_NEAR(after.integral, before.integral, 1e-12);
  EXPECT_NEAR(after.centre, mu, 1e-10);
  EXPECT_NEAR(after.width, std::sqrt(s0 * s0 + s * s), 1e-3 * after.width);
  EXPECT_GT(after.width, before.width + 0.02);
  EXPECT_NEAR(after.kurtosis, 3.0, 1e-2);
}

TEST(Broadening, RefusedWidthsAndGrids) {
  Table t = test_table(20, 2, 0.0, 0.1, 11);
  for (double s : {0.0, -0.1, std::nan(""), HUGE_VAL}) EXPECT_THROW(broaden_table(t.view(), s), Failure) << s;
  Table falling = test_table(20, 2, 0.0, -0.1, 12);
  EXPECT_THROW(broaden_table(falling.view(), 0.1), Failure);
  Table flat = test_table(20, 2, 3.0, 0.0, 13);
  EXPECT_THROW(broaden_table(flat.view(), 0.1), Failure);
  try {
    broaden_table(t.view(), 1e7);  // 4e8 steps
    FAIL() << "no error";
  } catch (const Failure& e) {
    EXPECT_NE(std::string(e.text()).find("grid steps"), std::string::npos) << e.text();
  }
  EXPECT_THROW(gaussian_kernel(0.1, 0.0), Failure);
}

}  // namespace
