#include "tables/power_sums.h"

#include <algorithm>
#include <cmath>
#include <limits>

#ifdef PDSPLIT_AVX2
#include <immintrin.h>
#endif

namespace pdsplit {

namespace {

constexpr std::size_t kLanes = TablePowerSums::kLanes;
// A group's sums, kSums of kLanes, then its least values.
constexpr std::size_t kGroup = kLanes * (kSums + 1);
constexpr std::size_t kGroupRun = kLanes * kSums;

// The weights of points [begin, begin + count) of run r, kSums a point,
// into `w` (w, the same over the segments below the Fermi level, then
// w d, w d^2, w d^3, w d^4, d the distance of x from the run's middle),
// and what they tell to `facts`; each energy read once, each half step
// the same expression as Grid::left and Grid::right.
void run_weights(const Grid& grid, std::size_t r, std::size_t begin, std::size_t count,
                 double* w, GridFacts& facts) {
  if (count == 0) return;
  const double middle = grid.middle(r);
  const std::size_t n = grid.points;
  double e = grid.e(begin), x = e - grid.efermi;
  double left = grid.left(begin);
  bool left_below = begin > 0 && x < 0 && grid.x(begin - 1) < 0;
  double total = facts.weights[r];
  for (std::size_t i = begin; i < begin + count; ++i, w += kSums) {
    double right = 0;
    bool right_below = false;
    double next_e = e, next_x = x;
    if (i + 1 < n) {
      next_e = grid.e(i + 1);
      next_x = next_e - grid.efermi;
      right = 0.5 * (next_e - e);
      if (!(next_e - e >= 0)) facts.rising = false;
      right_below = x < 0 && next_x < 0;
    }
    const double d = x - middle;
    w[0] = left + right;
    w[1] = (left_below ? left : 0) + (right_below ? right : 0);
    w[2] = w[0] * d;
    w[3] = w[2] * d;
    w[4] = w[3] * d;
    w[5] = w[4] * d;
    total += w[0];
    left = right;
    left_below = right_below;
    e = next_e;
    x = next_x;
  }
  facts.weights[r] = total;
}

#define PDSPLIT_SUMS __attribute__((always_inline)) inline

// Adds `count` points (weights w, kSums per point; values
// values[i * stride]) to one column's sums, kept `step` apart (the least
// value after the sums). Compiled for AVX2 and FMA, std::fma is the one
// instruction; elsewhere, the library's exactly rounded function: the same
// numbers either way.
PDSPLIT_SUMS void add_points(const double* w, std::size_t count, const double* values,
                             std::size_t stride, double* state, std::size_t step) {
  double s[kSums + 1];
  for (std::size_t k = 0; k <= kSums; ++k) s[k] = state[k * step];
  for (std::size_t i = 0; i < count; ++i, w += kSums) {
    const double f = values[i * stride];
    for (std::size_t k = 0; k < kSums; ++k) s[k] = std::fma(w[k], f, s[k]);
    s[kSums] = f < s[kSums] ? f : s[kSums];
  }
  for (std::size_t k = 0; k <= kSums; ++k) state[k * step] = s[k];
}

// Columns [first, k) of rows [begin, begin + count), one at a time.
PDSPLIT_SUMS void add_columns(const double* w, TableView table, std::size_t begin,
                              std::size_t count, std::size_t first, double* state) {
  const std::size_t k = table.width() - 1;
  for (std::size_t c = first; c < k; ++c)
    add_points(w, count, table.row(begin) + 1 + c, table.width(),
               state + kGroup * (c / kLanes) + c % kLanes, kLanes);
}

#ifdef PDSPLIT_AVX2
// Four columns to a register and eight at a time, so that each point's
// weights, broadcast once, serve eight columns. Every column's sums are
// still added point after point, each by one fused multiply-add, and
// _mm256_min_pd(f, least) is `f < least ? f : least`: the numbers of
// add_points to the bit.
template <std::size_t R>
__attribute__((target("avx2,fma"), always_inline)) inline void add_groups(
    const double* w, std::size_t count, const double* values, std::size_t stride,
    double* state) {
  __m256d s[R][kSums + 1];
  for (std::size_t r = 0; r < R; ++r)
    for (std::size_t k = 0; k <= kSums; ++k)
      s[r][k] = _mm256_loadu_pd(state + kGroup * r + kLanes * k);
  for (std::size_t i = 0; i < count; ++i, values += stride, w += kSums) {
    __m256d f[R];
    for (std::size_t r = 0; r < R; ++r) f[r] = _mm256_loadu_pd(values + kLanes * r);
    for (std::size_t k = 0; k < kSums; ++k) {
      const __m256d wk = _mm256_broadcast_sd(w + k);
      for (std::size_t r = 0; r < R; ++r) s[r][k] = _mm256_fmadd_pd(wk, f[r], s[r][k]);
    }
    for (std::size_t r = 0; r < R; ++r) s[r][kSums] = _mm256_min_pd(f[r], s[r][kSums]);
  }
  for (std::size_t r = 0; r < R; ++r)
    for (std::size_t k = 0; k <= kSums; ++k)
      _mm256_storeu_pd(state + kGroup * r + kLanes * k, s[r][k]);
}

__attribute__((target("avx2,fma"))) void add_run_avx2(const double* w, TableView table,
                                                      std::size_t begin, std::size_t count,
                                                      double* state) {
  const std::size_t whole = (table.width() - 1) / kLanes, stride = table.width();
  const double* values = table.row(begin) + 1;
  std::size_t g = 0;
  for (; g + 2 <= whole; g += 2)
    add_groups<2>(w, count, values + kLanes * g, stride, state + kGroup * g);
  if (g < whole) add_groups<1>(w, count, values + kLanes * g, stride, state + kGroup * g);
  add_columns(w, table, begin, count, kLanes * whole, state);
}
#endif

void add_run_portable(const double* w, TableView table, std::size_t begin, std::size_t count,
                      double* state) {
  add_columns(w, table, begin, count, 0, state);
}

}  // namespace

TablePowerSums::TablePowerSums(TableView table, double efermi, NumberPath path)
    : table_(table), grid_(Grid::of(table, efermi)) {
#ifdef PDSPLIT_AVX2
  vector_ = path == NumberPath::Fastest && has_avx2();
#else
  (void)path;
#endif
  groups_ = (table.width() - 1 + kLanes - 1) / kLanes;
  state_.assign(kGroup * groups_, 0.0);
  for (std::size_t g = 0; g < groups_; ++g)
    std::fill_n(state_.begin() + static_cast<std::ptrdiff_t>(kGroup * g + kGroupRun), kLanes,
                std::numeric_limits<double>::infinity());
  runs_.assign(kGroupRun * groups_ * grid_.runs(), 0.0);
  facts_.weights.assign(grid_.runs(), 0.0);
  weights_.resize(kSums * kRun);
}

void TablePowerSums::add_rows(std::size_t end) {
  end = std::min(end, table_.rows());
  while (added_ < end) {
    // To the end of the run at most.
    const std::size_t run = added_ / kRun, run_end = grid_.run_end(run);
    const std::size_t begin = added_, count = std::min(end, run_end) - begin;
    run_weights(grid_, run, begin, count, weights_.data(), facts_);
#ifdef PDSPLIT_AVX2
    if (vector_)
      add_run_avx2(weights_.data(), table_, begin, count, state_.data());
    else
#endif
      add_run_portable(weights_.data(), table_, begin, count, state_.data());
    added_ = begin + count;
    if (added_ == run_end) {
      // The run's sums are put by, and the next run's start from 0.
      for (std::size_t g = 0; g < groups_; ++g) {
        double* sums = state_.data() + kGroup * g;
        std::copy_n(sums, kGroupRun, runs_.data() + kGroupRun * (run * groups_ + g));
        std::fill_n(sums, kGroupRun, 0.0);
      }
    }
  }
}

RunSums TablePowerSums::group(std::size_t g) const {
  return {runs_.data() + kGroupRun * g, kGroupRun * groups_, kLanes,
          state_.data() + kGroup * g + kGroupRun};
}

}  // namespace pdsplit
