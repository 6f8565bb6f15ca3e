// Micro-benchmarks of the number reading and writing that every run spends
// most of its time in: values per second for typical DOS values, tiny ones
// (below 1e-22, beyond the exact powers of ten) and three-digit exponents,
// read and written as a table line holds them (runs of 32) on the fastest
// path this processor has and on the one-at-a-time path, and one field at
// a time on the general path.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "numbers/fast_fields.h"
#include "numbers/field.h"
#include "output/format.h"

namespace {

constexpr std::size_t kLines = 128;
constexpr std::size_t kPerLine = 32;

// Values whose decimal exponents lie in [lowest, highest], a quarter of
// them zero as in a DOS, of either sign.
std::vector<double> values(int lowest, int highest) {
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> unit(1.0, 10.0);
  std::vector<double> out;
  for (std::size_t i = 0; i < kLines * kPerLine; ++i) {
    double v = unit(rng) * std::pow(10.0, lowest + static_cast<int>(rng() % (highest - lowest + 1)));
    if (rng() % 4 == 0) v = 0;
    out.push_back(rng() & 1 ? -v : v);
  }
  return out;
}

// The same values as 12-column DOSCAR fields, 32 to a line.
std::string fields(const std::vector<double>& xs) {
  std::string out(12 * xs.size(), ' ');
  pdsplit::format_values(xs.data(), xs.size(), out.data());
  return out;
}

void read_fields(benchmark::State& state, int lowest, int highest, pdsplit::NumberPath path) {
  std::string text = fields(values(lowest, highest));
  std::vector<double> out(kLines * kPerLine);
  std::size_t line = 0;
  for (auto _ : state) {
    std::size_t at = (line++ % kLines) * kPerLine;
    std::size_t done = 0;
    while (done < kPerLine) {
      done += pdsplit::read_value_fields(text.data() + 12 * (at + done), kPerLine - done,
                                         out.data() + at + done, path);
      if (done < kPerLine) {
        pdsplit::read_real_field(std::string_view(text).substr(12 * (at + done), 12), 4,
                                 out[at + done]);
        ++done;
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPerLine));
}

void read_fields_general(benchmark::State& state, int lowest, int highest) {
  std::string text = fields(values(lowest, highest));
  std::size_t i = 0;
  double v = 0;
  for (auto _ : state) {
    pdsplit::read_real_field(std::string_view(text).substr(12 * (i++ % (kLines * kPerLine)), 12), 4, v);
    benchmark::DoNotOptimize(v);
  }
  state.SetItemsProcessed(state.iterations());
}

void write_values(benchmark::State& state, int lowest, int highest, pdsplit::NumberPath path) {
  std::vector<double> xs = values(lowest, highest);
  std::string out(12 * kPerLine, ' ');
  std::size_t line = 0;
  for (auto _ : state) {
    pdsplit::format_values(xs.data() + (line++ % kLines) * kPerLine, kPerLine, out.data(), path);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPerLine));
}

void write_energies(benchmark::State& state) {
  std::vector<double> xs = values(-1, 1);
  std::size_t i = 0;
  char out[11];
  for (auto _ : state) {
    pdsplit::format_energy(xs[i++ % xs.size()] - 5.3, out);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}

using pdsplit::NumberPath;

}  // namespace

BENCHMARK_CAPTURE(read_fields, typical_fastest, -12, 3, NumberPath::Fastest);
BENCHMARK_CAPTURE(read_fields, typical_portable, -12, 3, NumberPath::Portable);
BENCHMARK_CAPTURE(read_fields_general, typical, -12, 3);
BENCHMARK_CAPTURE(read_fields, tiny_fastest, -60, -23, NumberPath::Fastest);
BENCHMARK_CAPTURE(read_fields, tiny_portable, -60, -23, NumberPath::Portable);
BENCHMARK_CAPTURE(read_fields_general, tiny, -60, -23);
BENCHMARK_CAPTURE(read_fields, three_digit_exponent_fastest, -300, -100, NumberPath::Fastest);
BENCHMARK_CAPTURE(read_fields, three_digit_exponent_portable, -300, -100, NumberPath::Portable);
BENCHMARK_CAPTURE(write_values, typical_fastest, -12, 3, NumberPath::Fastest);
BENCHMARK_CAPTURE(write_values, typical_portable, -12, 3, NumberPath::Portable);
BENCHMARK_CAPTURE(write_values, tiny_fastest, -60, -23, NumberPath::Fastest);
BENCHMARK_CAPTURE(write_values, tiny_portable, -60, -23, NumberPath::Portable);
BENCHMARK_CAPTURE(write_values, three_digit_exponent_fastest, -300, -100, NumberPath::Fastest);
BENCHMARK_CAPTURE(write_values, three_digit_exponent_portable, -300, -100, NumberPath::Portable);
BENCHMARK(write_energies);

BENCHMARK_MAIN();
