// Micro-benchmark of what --moments adds to each table: the moments of
// every column of one atom's table of 3001 points x 32 columns (spin
// polarised, l,m with f: 48 rows with the up+down pairs), on the fastest
// path and the one-column-at-a-time path; the same table over and over
// (in the cache) and 64 tables in turn (from memory, as -a meets them).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "tables/moments.h"
#include "tables/shape.h"

namespace {

using pdsplit::NumberPath;

// DOS-like columns: a Gaussian band of random centre and width in each,
// values rounded to 4 digits with tiny negative ones, as VASP writes them.
pdsplit::Table table(std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> centre(-15, 5), width(0.5, 4), noise(-1e-6, 1e-6);
  pdsplit::Table t(3001, 32);
  for (std::size_t c = 1; c < t.width(); ++c) {
    const double m = centre(rng), s = width(rng);
    for (std::size_t i = 0; i < t.rows(); ++i) {
      const double e = -20 + 35.0 * static_cast<double>(i) / 3000;
      t.row(i)[0] = e;
      const double v = std::exp(-0.5 * (e - m) * (e - m) / (s * s)) / s;
      t.row(i)[c] = std::round(v * 1e4) / 1e4 + (v < 1e-4 ? noise(rng) : 0);
    }
  }
  return t;
}

void moments_of_tables(benchmark::State& state, std::size_t count, NumberPath path) {
  std::vector<pdsplit::Table> tables;
  for (std::size_t i = 0; i < count; ++i) tables.push_back(table(i + 1));
  pdsplit::ColumnPlan plan = pdsplit::plan_columns(
      {pdsplit::Spin::Polarised, pdsplit::Projection::LM, true}, pdsplit::Orbitals::Lm);
  std::size_t next = 0;
  for (auto _ : state) {
    auto rows = pdsplit::table_moments(plan, tables[next].view(), 5.1, path);
    benchmark::DoNotOptimize(rows.data());
    next = (next + 1) % count;
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK_CAPTURE(moments_of_tables, in_cache_fastest, 1, NumberPath::Fastest);
BENCHMARK_CAPTURE(moments_of_tables, in_cache_portable, 1, NumberPath::Portable);
BENCHMARK_CAPTURE(moments_of_tables, from_memory_fastest, 64, NumberPath::Fastest);
BENCHMARK_CAPTURE(moments_of_tables, from_memory_portable, 64, NumberPath::Portable);

BENCHMARK_MAIN();
