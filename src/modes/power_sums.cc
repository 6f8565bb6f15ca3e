#include "modes/power_sums.h"

#include <algorithm>
#include <cmath>
#include <limits>

#ifdef PDSPLIT_AVX2
#include <immintrin.h>
#endif

namespace pdsplit {

namespace {

// Adds point i (weights w) to the facts of its grid.
void add_to_facts(const Grid& grid, std::size_t i, const double* w, GridFacts& facts) {
  if (i + 1 < grid.points && !(grid.e(i + 1) - grid.e(i) >= 0)) facts.rising = false;
  facts.total += w[0];
  facts.total_fourth += w[5];
}

// The sums of a column are kept as seven doubles `step` apart: the six
// sums, then the least value. Four columns share a group of 28 doubles,
// the same sum of the four side by side, as a vector register holds them.
constexpr std::size_t kGroup = 4 * (kWeights + 1);

#define PDSPLIT_SUMS __attribute__((always_inline)) inline

// Adds `count` points (weights w, kWeights per point; values
// values[i * stride]) to one column's sums. Compiled for AVX2 and FMA,
// std::fma is the one instruction; elsewhere, the library's exactly
// rounded function: the same numbers either way.
PDSPLIT_SUMS void add_points(const double* w, std::size_t count, const double* values,
                             std::size_t stride, double* state, std::size_t step) {
  double s[kWeights + 1];
  for (std::size_t k = 0; k <= kWeights; ++k) s[k] = state[k * step];
  for (std::size_t i = 0; i < count; ++i, w += kWeights) {
    const double f = values[i * stride];
    for (std::size_t k = 0; k < kWeights; ++k) s[k] = std::fma(w[k], f, s[k]);
    s[kWeights] = f < s[kWeights] ? f : s[kWeights];
  }
  for (std::size_t k = 0; k <= kWeights; ++k) state[k * step] = s[k];
}

// Columns [first, k) of rows [begin, begin + count), one at a time.
PDSPLIT_SUMS void add_columns(const double* w, TableView table, std::size_t begin,
                              std::size_t count, std::size_t first, double* state) {
  const std::size_t k = table.width() - 1;
  for (std::size_t c = first; c < k; ++c)
    add_points(w, count, table.row(begin) + 1 + c, table.width(),
               state + kGroup * (c / 4) + c % 4, 4);
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
  __m256d s[R][kWeights + 1];
  for (std::size_t r = 0; r < R; ++r)
    for (std::size_t k = 0; k <= kWeights; ++k)
      s[r][k] = _mm256_loadu_pd(state + kGroup * r + 4 * k);
  for (std::size_t i = 0; i < count; ++i, values += stride, w += kWeights) {
    __m256d f[R];
    for (std::size_t r = 0; r < R; ++r) f[r] = _mm256_loadu_pd(values + 4 * r);
    for (std::size_t k = 0; k < kWeights; ++k) {
      const __m256d wk = _mm256_broadcast_sd(w + k);
      for (std::size_t r = 0; r < R; ++r) s[r][k] = _mm256_fmadd_pd(wk, f[r], s[r][k]);
    }
    for (std::size_t r = 0; r < R; ++r) s[r][kWeights] = _mm256_min_pd(f[r], s[r][kWeights]);
  }
  for (std::size_t r = 0; r < R; ++r)
    for (std::size_t k = 0; k <= kWeights; ++k)
      _mm256_storeu_pd(state + kGroup * r + 4 * k, s[r][k]);
}

__attribute__((target("avx2,fma"))) void add_run_avx2(const double* w, TableView table,
                                                      std::size_t begin, std::size_t count,
                                                      double* state) {
  const std::size_t groups = (table.width() - 1) / 4, stride = table.width();
  const double* values = table.row(begin) + 1;
  std::size_t g = 0;
  for (; g + 2 <= groups; g += 2)
    add_groups<2>(w, count, values + 4 * g, stride, state + kGroup * g);
  if (g < groups) add_groups<1>(w, count, values + 4 * g, stride, state + kGroup * g);
  add_columns(w, table, begin, count, 4 * groups, state);
}
#endif

void add_run_portable(const double* w, TableView table, std::size_t begin, std::size_t count,
                      double* state) {
  add_columns(w, table, begin, count, 0, state);
}

// Rows of a run: some 17 KB of a table of 32 columns, read into the cache
// once for all its columns, with their weights.
constexpr std::size_t kRun = 64;

}  // namespace

PowerSums operator+(const PowerSums& a, const PowerSums& b) {
  return {a.integral + b.integral, a.below + b.below,   a.first + b.first,
          a.second + b.second,     a.third + b.third,   a.fourth + b.fourth,
          a.least < b.least ? a.least : b.least};
}

PowerSums column_power_sums(const Grid& grid, const double* values, std::size_t stride) {
  double state[kWeights + 1] = {};
  state[kWeights] = std::numeric_limits<double>::infinity();
  double w[kWeights];
  for (std::size_t i = 0; i < grid.points; ++i) {
    grid.weights(i, w);
    add_points(w, 1, values + i * stride, stride, state, 1);
  }
  return {state[0], state[1], state[2], state[3], state[4], state[5], state[6]};
}

GridFacts grid_facts(const Grid& grid) {
  GridFacts facts;
  double w[kWeights];
  for (std::size_t i = 0; i < grid.points; ++i) {
    grid.weights(i, w);
    add_to_facts(grid, i, w, facts);
  }
  return facts;
}

TablePowerSums::TablePowerSums(TableView table, double efermi, NumberPath path)
    : table_(table), grid_(Grid::of(table, efermi)) {
#ifdef PDSPLIT_AVX2
  vector_ = path == NumberPath::Fastest && has_avx2();
#else
  (void)path;
#endif
  const std::size_t groups = (table.width() - 1 + 3) / 4;
  state_.assign(kGroup * groups, 0.0);
  for (std::size_t g = 0; g < groups; ++g)
    std::fill_n(state_.begin() + static_cast<std::ptrdiff_t>(kGroup * g + 4 * kWeights), 4,
                std::numeric_limits<double>::infinity());
  weights_.resize(kWeights * kRun);
}

void TablePowerSums::add_rows(std::size_t end) {
  end = std::min(end, table_.rows());
  while (added_ < end) {
    const std::size_t begin = added_, count = std::min(end - begin, kRun);
    for (std::size_t i = 0; i < count; ++i) {
      double* w = weights_.data() + kWeights * i;
      grid_.weights(begin + i, w);
      add_to_facts(grid_, begin + i, w, facts_);
    }
#ifdef PDSPLIT_AVX2
    if (vector_)
      add_run_avx2(weights_.data(), table_, begin, count, state_.data());
    else
#endif
      add_run_portable(weights_.data(), table_, begin, count, state_.data());
    added_ = begin + count;
  }
}

std::vector<PowerSums> TablePowerSums::sums() const {
  std::vector<PowerSums> out;
  for (std::size_t c = 0; c + 1 < table_.width(); ++c) {
    const double* s = state_.data() + kGroup * (c / 4) + c % 4;
    out.push_back({s[0], s[4], s[8], s[12], s[16], s[20], s[24]});
  }
  return out;
}

}  // namespace pdsplit
