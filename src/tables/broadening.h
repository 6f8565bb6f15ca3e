// --gaussian=S: every value column of a table convolved with a Gaussian of
// S eV, over the whole grid (the caller cuts to the window afterwards).
//
// In grid steps: sigma = S / d, d the mean grid step of the energies read,
// (last - first) / (NGRID - 1); radius r = floor(4 sigma + 0.5); weights
// exp(-k^2 / (2 sigma^2)) for |k| <= r, divided by their sum. A column is
// extended beyond both ends of the grid by half-sample symmetric reflection
// (index -1 reads 0, -2 reads 1, ..., n reads n - 1, n + 1 reads n - 2, and
// so on, period 2n, as often as the radius needs), so every column keeps
// its sum to rounding. Output row i is the sum over k = -r .. r of
// weight(k) times the extended column x at i + k, added as w(0) x(i), then
// w(k) (x(i - k) + x(i + k)) for k = 1 .. r; when r reaches the length n,
// the weights of each residue of k mod 2n are added first and the sum
// runs over one period.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tables/table_view.h"

namespace pdsplit {

// The most grid steps a kernel may reach: a wider one is refused.
inline constexpr std::int64_t kMostGaussianRadius = 100'000'000;

struct GaussianKernel {
  double sigma = 0;         // in grid steps
  std::int64_t radius = 0;  // in grid steps
};

// (last - first) / (NGRID - 1) of the energies as read; NaN for fewer than
// two rows.
double mean_grid_step(TableView table);

// The kernel of a broadening of `s` eV on a grid of mean step `step` eV.
// A Failure when s is not a positive finite number, the grid's energies do
// not rise (step not positive and finite), or the radius exceeds
// kMostGaussianRadius.
GaussianKernel gaussian_kernel(double s, double step);

// The 2r + 1 normalised weights, for k = -r .. r (index k + r).
std::vector<double> gaussian_weights(const GaussianKernel& kernel);

// The index of [0, n) that index i of the reflected extension reads (n > 0).
std::size_t reflect(std::int64_t i, std::size_t n);

// One column broadened: `out` (as long as `in`) receives the convolution.
void broaden_column(std::span<const double> in, const GaussianKernel& kernel,
                    std::span<double> out);

// A table of the same energies with every value column broadened by `s` eV
// (the kernel from gaussian_kernel and the table's mean grid step). A table
// of fewer than two rows comes back as it is (s is still checked).
Table broaden_table(TableView table, double s);

}  // namespace pdsplit
