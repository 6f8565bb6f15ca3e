#include "tables/broadening.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "base/failure.h"

namespace pdsplit {

namespace {

// exp(-k^2 / (2 sigma^2)); exactly 1 at k = 0 whatever sigma.
double gaussian(double sigma, std::int64_t k) {
  if (k == 0) return 1;
  double x = static_cast<double>(k);
  return std::exp(-(x * x) / (2 * sigma * sigma));
}

// Columns [first, first + count) of an n-row array whose rows are `stride`
// doubles apart; `out` has the same shape.
struct Columns {
  const double* in;
  double* out;
  std::size_t n, stride, first, count;
};

// Radius below the length: the weights as they are, reflection only near
// the ends. The kernel is symmetric, so each weight multiplies the sum of
// its two points: w(0) x(i) + sum over k = 1 .. r of w(k) (x(i - k) + x(i + k)).
void convolve_direct(const Columns& a, const GaussianKernel& kernel) {
  std::vector<double> w = gaussian_weights(kernel);
  auto r = static_cast<std::size_t>(kernel.radius);
  std::vector<double> acc(a.count);
  for (std::size_t i = 0; i < a.n; ++i) {
    const double* centre = a.in + i * a.stride + a.first;
    for (std::size_t c = 0; c < a.count; ++c) acc[c] = w[r] * centre[c];
    bool inside = i >= r && i + r < a.n;
    for (std::size_t k = 1; k <= r; ++k) {
      std::size_t below = i - k, above = i + k;  // used only inside
      if (!inside) {
        auto at = static_cast<std::int64_t>(i);
        auto step = static_cast<std::int64_t>(k);
        below = reflect(at - step, a.n);
        above = reflect(at + step, a.n);
      }
      const double* x = a.in + below * a.stride + a.first;
      const double* y = a.in + above * a.stride + a.first;
      double wk = w[r + k];
      for (std::size_t c = 0; c < a.count; ++c) acc[c] += wk * (x[c] + y[c]);
    }
    double* out = a.out + i * a.stride + a.first;
    for (std::size_t c = 0; c < a.count; ++c) out[c] = acc[c];
  }
}

// Radius at or above the length: the extension has period 2n, so the
// weights of every k of one residue mod 2n are added first (2n of them,
// however wide the kernel), and output i is the sum over one period.
void convolve_folded(const Columns& a, const GaussianKernel& kernel) {
  std::int64_t r = kernel.radius;
  auto period = static_cast<std::int64_t>(2 * a.n);
  double total = 0;
  for (std::int64_t k = -r; k <= r; ++k) total += gaussian(kernel.sigma, k < 0 ? -k : k);
  std::vector<double> folded(static_cast<std::size_t>(period), 0.0);
  for (std::int64_t k = -r; k <= r; ++k) {
    std::int64_t m = ((k % period) + period) % period;
    folded[static_cast<std::size_t>(m)] += gaussian(kernel.sigma, k < 0 ? -k : k) / total;
  }
  std::vector<double> acc(a.count);
  for (std::size_t i = 0; i < a.n; ++i) {
    std::fill(acc.begin(), acc.end(), 0.0);
    for (std::int64_t j = 0; j < period; ++j) {
      std::int64_t m = ((j - static_cast<std::int64_t>(i)) % period + period) % period;
      double wm = folded[static_cast<std::size_t>(m)];
      const double* x = a.in + reflect(j, a.n) * a.stride + a.first;
      for (std::size_t c = 0; c < a.count; ++c) acc[c] += wm * x[c];
    }
    double* y = a.out + i * a.stride + a.first;
    for (std::size_t c = 0; c < a.count; ++c) y[c] = acc[c];
  }
}

void convolve(const Columns& a, const GaussianKernel& kernel) {
  if (a.n == 0 || a.count == 0) return;
  if (kernel.radius < static_cast<std::int64_t>(a.n))
    convolve_direct(a, kernel);
  else
    convolve_folded(a, kernel);
}

}  // namespace

double mean_grid_step(TableView table) {
  std::size_t n = table.rows();
  if (n < 2) return std::numeric_limits<double>::quiet_NaN();
  return (table.energy(n - 1) - table.energy(0)) / static_cast<double>(n - 1);
}

GaussianKernel gaussian_kernel(double s, double step) {
  if (!(s > 0) || !std::isfinite(s))
    throw stop_with_message("Error! --gaussian needs a width above 0 eV");
  if (!(step > 0) || !std::isfinite(step))
    throw stop_with_message("Error! --gaussian needs a grid whose energies rise");
  GaussianKernel kernel;
  kernel.sigma = s / step;
  double radius = std::floor(4 * kernel.sigma + 0.5);
  if (!(radius <= static_cast<double>(kMostGaussianRadius)))
    throw stop_with_message("Error! --gaussian spreads over more than " +
                            std::to_string(kMostGaussianRadius) + " grid steps");
  kernel.radius = static_cast<std::int64_t>(radius);
  return kernel;
}

std::vector<double> gaussian_weights(const GaussianKernel& kernel) {
  auto r = static_cast<std::size_t>(kernel.radius);
  std::vector<double> w(2 * r + 1);
  // Computed for k >= 0 and mirrored: the kernel is exactly symmetric.
  for (std::size_t k = 0; k <= r; ++k)
    w[r + k] = w[r - k] = gaussian(kernel.sigma, static_cast<std::int64_t>(k));
  double total = 0;
  for (double x : w) total += x;
  for (double& x : w) x /= total;
  return w;
}

std::size_t reflect(std::int64_t i, std::size_t n) {
  auto period = static_cast<std::int64_t>(2 * n);
  std::int64_t m = i % period;
  if (m < 0) m += period;
  return static_cast<std::size_t>(m < static_cast<std::int64_t>(n) ? m : period - 1 - m);
}

void broaden_column(std::span<const double> in, const GaussianKernel& kernel,
                    std::span<double> out) {
  if (in.size() != out.size())
    throw std::invalid_argument("broaden_column: input and output differ in length");
  convolve({in.data(), out.data(), in.size(), 1, 0, 1}, kernel);
}

Table broaden_table(TableView table, double s) {
  if (!(s > 0) || !std::isfinite(s))
    throw stop_with_message("Error! --gaussian needs a width above 0 eV");
  Table out(table.ngrid, table.k);
  std::size_t n = table.rows(), width = table.width();
  for (std::size_t i = 0; i < n; ++i) out.row(i)[0] = table.energy(i);
  if (n < 2) {
    std::copy(table.data, table.data + n * width, out.data());
    return out;
  }
  GaussianKernel kernel = gaussian_kernel(s, mean_grid_step(table));
  convolve({table.data, out.data(), n, width, 1, width - 1}, kernel);
  return out;
}

}  // namespace pdsplit
