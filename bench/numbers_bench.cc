// Micro-benchmarks of the number reading and writing that every run spends
// most of its time in: values per second for typical DOS values, tiny ones
// (below 1e-22, beyond the exact powers of ten) and three-digit exponents.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "input/field.h"
#include "output/format.h"

namespace {

// Doubles whose decimal exponents lie in [lowest, highest].
std::vector<double> values(int lowest, int highest) {
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> unit(1.0, 10.0);
  std::vector<double> out;
  for (int i = 0; i < 4096; ++i)
    out.push_back(unit(rng) * std::pow(10.0, lowest + static_cast<int>(rng() % (highest - lowest + 1))));
  return out;
}

// The same values as 12-column DOSCAR fields.
std::vector<std::string> fields(const std::vector<double>& xs) {
  std::vector<std::string> out;
  char buf[13];
  for (double x : xs) {
    pdsplit::format_value(x, buf);
    out.emplace_back(buf, 12);
  }
  return out;
}

void read_fields(benchmark::State& state, int lowest, int highest, bool fast) {
  std::vector<std::string> f = fields(values(lowest, highest));
  std::size_t i = 0;
  double v = 0;
  for (auto _ : state) {
    const std::string& s = f[i++ & 4095];
    if (!(fast && pdsplit::read_value_fast(s.data(), v))) pdsplit::read_real_field(s, 4, v);
    benchmark::DoNotOptimize(v);
  }
  state.SetItemsProcessed(state.iterations());
}

void write_values(benchmark::State& state, int lowest, int highest) {
  std::vector<double> xs = values(lowest, highest);
  std::size_t i = 0;
  char out[12];
  for (auto _ : state) {
    pdsplit::format_value(xs[i++ & 4095], out);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}

void write_energies(benchmark::State& state) {
  std::vector<double> xs = values(-1, 1);
  std::size_t i = 0;
  char out[11];
  for (auto _ : state) {
    pdsplit::format_energy(xs[i++ & 4095] - 5.3, out);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK_CAPTURE(read_fields, typical_fast, -12, 3, true);
BENCHMARK_CAPTURE(read_fields, typical_general, -12, 3, false);
BENCHMARK_CAPTURE(read_fields, tiny_fast, -60, -23, true);
BENCHMARK_CAPTURE(read_fields, tiny_general, -60, -23, false);
BENCHMARK_CAPTURE(read_fields, three_digit_exponent_fast, -300, -100, true);
BENCHMARK_CAPTURE(write_values, typical, -12, 3);
BENCHMARK_CAPTURE(write_values, tiny, -60, -23);
BENCHMARK_CAPTURE(write_values, three_digit_exponent, -300, -100);
BENCHMARK(write_energies);

BENCHMARK_MAIN();
