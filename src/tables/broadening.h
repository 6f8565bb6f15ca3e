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
#include <memory>
#include <mutex>

#include "tables/table_view.h"

namespace pdsplit {

// The broadening of a run by `s` eV (a finite number above 0). Its weights
// are made once for all the tables of a run that share a grid (every atom
// of a DOSCAR), not once per table; any thread may use it.
class Broadening {
 public:
  explicit Broadening(double s) : s_(s) {}

  // A table of the same energies with every value column broadened. A
  // table of fewer than two rows comes back as it is. A Failure when the
  // grid's energies do not rise (the mean step is not positive and finite)
  // or the radius exceeds 100,000,000 grid steps.
  Table apply(TableView table) const;

 private:
  struct Weights;
  std::shared_ptr<const Weights> weights(double step, std::size_t n) const;

  double s_;
  mutable std::mutex mutex_;
  mutable std::shared_ptr<const Weights> last_;  // of the last grid seen
};

}  // namespace pdsplit
