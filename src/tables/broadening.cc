#include "tables/broadening.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/failure.h"

namespace pdsplit {

namespace {

// exp(-k^2 / (2 sigma^2)); exactly 1 at k = 0 whatever sigma.
double gaussian(double sigma, std::int64_t k) {
  if (k == 0) return 1;
  double x = static_cast<double>(k);
  return std::exp(-(x * x) / (2 * sigma * sigma));
}

// The most grid steps a kernel may reach: a wider one is refused.
constexpr std::int64_t kMostGaussianRadius = 100'000'000;

struct GaussianKernel {
  double sigma = 0;         // in grid steps
  std::int64_t radius = 0;  // in grid steps
};

// (last - first) / (NGRID - 1) of the energies as read (two rows at least).
double mean_grid_step(TableView table) {
  std::size_t n = table.rows();
  return (table.energy(n - 1) - table.energy(0)) / static_cast<double>(n - 1);
}

// The kernel of a broadening of `s` eV (s > 0, as the command line takes
// it) on a grid of mean step `step` eV.
GaussianKernel gaussian_kernel(double s, double step) {
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

// The 2r + 1 normalised weights, for k = -r .. r (index k + r).
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

// The index of [0, n) that index i of the reflected extension reads (n > 0).
std::size_t reflect(std::int64_t i, std::size_t n) {
  auto period = static_cast<std::int64_t>(2 * n);
  std::int64_t m = i % period;
  if (m < 0) m += period;
  return static_cast<std::size_t>(m < static_cast<std::int64_t>(n) ? m : period - 1 - m);
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
void convolve_direct(const Columns& a, const GaussianKernel& kernel, const std::vector<double>& w) {
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
std::vector<double> folded_weights(const GaussianKernel& kernel, std::size_t n) {
  std::int64_t r = kernel.radius;
  auto period = static_cast<std::int64_t>(2 * n);
  double total = 0;
  for (std::int64_t k = -r; k <= r; ++k) total += gaussian(kernel.sigma, k < 0 ? -k : k);
  std::vector<double> folded(static_cast<std::size_t>(period), 0.0);
  for (std::int64_t k = -r; k <= r; ++k) {
    std::int64_t m = ((k % period) + period) % period;
    folded[static_cast<std::size_t>(m)] += gaussian(kernel.sigma, k < 0 ? -k : k) / total;
  }
  return folded;
}

void convolve_folded(const Columns& a, const std::vector<double>& folded) {
  auto period = static_cast<std::int64_t>(2 * a.n);
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

}  // namespace

// The weights of one kernel on one length of grid: those of the direct
// sum, or folded over one period when the radius reaches the length.
struct Broadening::Weights {
  GaussianKernel kernel;
  std::size_t n = 0;  // the length folded for; 0 for the direct sum
  std::vector<double> w;
};

std::shared_ptr<const Broadening::Weights> Broadening::weights(double step, std::size_t n) const {
  GaussianKernel kernel = gaussian_kernel(s_, step);
  std::size_t folded_for = kernel.radius < static_cast<std::int64_t>(n) ? 0 : n;
  std::lock_guard lock(mutex_);
  if (last_ == nullptr || last_->kernel.sigma != kernel.sigma ||
      last_->kernel.radius != kernel.radius || last_->n != folded_for) {
    auto made = std::make_shared<Weights>();
    made->kernel = kernel;
    made->n = folded_for;
    made->w = folded_for == 0 ? gaussian_weights(kernel) : folded_weights(kernel, n);
    last_ = std::move(made);
  }
  return last_;
}

Table Broadening::apply(TableView table) const {
  Table out(table.ngrid, table.k);
  std::size_t n = table.rows(), width = table.width();
  for (std::size_t i = 0; i < n; ++i) out.row(i)[0] = table.energy(i);
  if (n < 2) {
    std::copy(table.data, table.data + n * width, out.data());
    return out;
  }
  std::shared_ptr<const Weights> w = weights(mean_grid_step(table), n);
  Columns columns{table.data, out.data(), n, width, 1, width - 1};
  if (w->n == 0)
    convolve_direct(columns, w->kernel, w->w);
  else
    convolve_folded(columns, w->w);
  return out;
}

}  // namespace pdsplit
