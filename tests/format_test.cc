// The number forms of the tables, the summary and the console: the samples
// users see, and printf at every rounding boundary of the value form and
// across the range of the fixed forms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "base/fixed_point.h"
#include "output/format.h"
#include "reference.h"

namespace {

using pdsplit::NumberPath;

std::string fixed(double x, std::size_t width, bool keep_sign = false) {
  std::string out(width, '?');
  (keep_sign ? pdsplit::format_fixed3_signed : pdsplit::format_fixed3)(x, width, out.data());
  return out;
}

TEST(ValueForm, WritesTheSamples) {
  // Finite values in between: the rounding-boundary test below.
  const struct { double x; const char* text; } cases[] = {
      {0, "  0.0000E+00"}, {-0.0, "  0.0000E+00"}, {-7.5e-120, " -0.7500-119"}, {0x1p-1074, "  0.4941-323"},
      {0x1.fffffffffffffp1023, "  0.1798+309"}, {INFINITY, "    Infinity"}, {-INFINITY, "   -Infinity"},
      {NAN, "         NaN"}};
  for (const auto& c : cases) {
    char one[12];
    pdsplit::format_value(c.x, one);
    EXPECT_EQ(std::string(one, 12), c.text) << c.x;
    for (auto path : {NumberPath::Fastest, NumberPath::Portable}) {
      std::vector<double> five(5, c.x);  // a group of four and one alone
      std::string out(60, '?');
      pdsplit::format_values(five.data(), 5, out.data(), path);
      EXPECT_EQ(out, std::string(c.text) + c.text + c.text + c.text + c.text) << c.x;
    }
  }
}

TEST(FixedForms, WriteTheSamples) {
  const struct { double x; std::size_t width; bool keep_sign; const char* text; } cases[] = {
      {-10.123, 11, false, "    -10.123"}, {-0.0004, 11, false, "      0.000"}, {-0.0, 11, false, "      0.000"},
      {0.0625, 11, false, "      0.062"}, {0.1875, 11, false, "      0.188"}, {9999999.9994, 11, false, "9999999.999"},
      {9999999.9995, 11, false, "***********"}, {-999999.9995, 11, false, "***********"},
      {INFINITY, 11, false, "   Infinity"}, {-INFINITY, 11, false, "  -Infinity"}, {NAN, 11, false, "        NaN"},
      {9999.9996, 8, false, "********"}, {-999.9994, 8, false, "-999.999"}, {-INFINITY, 8, false, "    -Inf"},
      {-0.0004, 8, true, "  -0.000"}, {-0.0, 8, true, "  -0.000"}, {0.0004, 8, true, "   0.000"},
      {-0.0005, 8, true, "  -0.001"}, {-1234.5678, 8, true, "********"}, {NAN, 8, true, "     NaN"}};
  for (const auto& c : cases) EXPECT_EQ(fixed(c.x, c.width, c.keep_sign), c.text) << c.x << " in " << c.width;
}

TEST(ValueForm, MatchesPrintfAtEveryRoundingBoundary) {
  // For every decimal exponent of the doubles and every four digits, the
  // double nearest to the tie between dddd and dddd + 1 and its neighbours
  // on either side, in runs of every length on both paths (the portable
  // path writes each alone).
  for (int e = -327; e <= 304; ++e) {
    // And where the exponent changes: a power of ten and the double below.
    std::vector<double> x{std::strtod(("1e" + std::to_string(e)).c_str(), nullptr)};
    x.push_back(std::nextafter(x[0], 0.0));
    for (int d = 1000; d <= 9999; ++d) {
      double t = std::strtod((std::to_string(d) + ".5e" + std::to_string(e)).c_str(), nullptr);
      x.insert(x.end(), {std::nextafter(t, 0.0), t, -std::nextafter(t, INFINITY)});
    }
    for (auto path : {NumberPath::Fastest, NumberPath::Portable}) {
      std::string out(12 * x.size(), '?');
      for (std::size_t first = 0, n = 1; first < x.size(); first += n, n = n % 9 + 1)
        pdsplit::format_values(x.data() + first, n = std::min(n, x.size() - first), out.data() + 12 * first, path);
      for (std::size_t i = 0; i < x.size(); ++i)
        ASSERT_EQ(out.substr(12 * i, 12), reference::value_field(x[i])) << std::hexfloat << x[i];
    }
  }
}

TEST(EnergyForm, MatchesPrintfAcrossTheRange) {
  // The 11-column table energy and the 8-column summary field that keeps
  // the sign: binary fractions, neighbours of half-thousandths, decimals.
  std::mt19937_64 rng(99);
  for (int i = 0; i < 2'000'000; ++i) {
    double k = static_cast<double>(rng() % 20'000'000) - 10'000'000.0, x = k / 1000.0;
    if (i % 3 == 0) x = std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 90) - 80);
    if (i % 3 == 1) x = std::nextafter((k + 0.5) / 1000.0, (rng() & 1) ? INFINITY : -INFINITY);
    if (rng() & 1) x = -x;
    ASSERT_EQ(fixed(x, 11), reference::energy_field(x)) << std::hexfloat << x;
    ASSERT_EQ(fixed(x, 8, true), reference::fixed8(x)) << std::hexfloat << x;
  }
}

}  // namespace
