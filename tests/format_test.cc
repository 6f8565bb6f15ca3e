// The number forms of the tables, checked against the samples users see and
// against printf over millions of doubles of every magnitude and sign.
#include "output/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "reference.h"

namespace {

std::string value(double x) {
  char out[12];
  pdsplit::format_value(x, out);
  return std::string(out, 12);
}

std::string energy(double x) {
  char out[11];
  pdsplit::format_energy(x, out);
  return std::string(out, 11);
}

std::string fixed(double x, std::size_t width) {
  char out[32];
  pdsplit::format_fixed3(x, width, out);
  return std::string(out, width);
}

TEST(ValueForm, WritesTheSamples) {
  EXPECT_EQ(value(0), "  0.0000E+00");
  EXPECT_EQ(value(1), "  0.1000E+01");
  EXPECT_EQ(value(12.34), "  0.1234E+02");
  EXPECT_EQ(value(1234.56), "  0.1235E+04");
  EXPECT_EQ(value(0.0123456), "  0.1235E-01");
  EXPECT_EQ(value(-0.000123), " -0.1230E-03");
  EXPECT_EQ(value(0.99996), "  0.1000E+01");
  EXPECT_EQ(value(7.5e-120), "  0.7500-119");
  EXPECT_EQ(value(-7.5e-120), " -0.7500-119");
  EXPECT_EQ(value(1e300), "  0.1000+301");
  EXPECT_EQ(value(9.9995e-5), "  0.9999E-04");  // 9.9995e-5 lies just below the tie
  EXPECT_EQ(value(0.99995), "  0.1000E+01");    // and 0.99995 just above
  EXPECT_EQ(value(12345), "  0.1234E+05");      // an exact tie rounds to even
  EXPECT_EQ(value(12355), "  0.1236E+05");
  EXPECT_EQ(value(std::numeric_limits<double>::denorm_min()), "  0.4941-323");
  EXPECT_EQ(value(std::numeric_limits<double>::max()), "  0.1798+309");
  EXPECT_EQ(value(1e-99), "  0.1000E-98");
  EXPECT_EQ(value(9.9996e-100), "  0.1000E-98");  // rounding carries into two digits
  EXPECT_EQ(value(9.9994e-100), "  0.9999E-99");
  EXPECT_EQ(value(9.9994e-101), "  0.9999-100");
}

TEST(ValueForm, ZeroAndSpecialValues) {
  EXPECT_EQ(value(-0.0), "  0.0000E+00");
  EXPECT_EQ(value(INFINITY), "    Infinity");
  EXPECT_EQ(value(-INFINITY), "   -Infinity");
  EXPECT_EQ(value(NAN), "         NaN");
}

TEST(EnergyForm, WritesTheSamples) {
  EXPECT_EQ(energy(-10.123), "    -10.123");
  EXPECT_EQ(energy(-0.5), "     -0.500");
  EXPECT_EQ(energy(-0.0004), "      0.000");
  EXPECT_EQ(energy(-0.0), "      0.000");
  EXPECT_EQ(energy(0), "      0.000");
  EXPECT_EQ(energy(3.25), "      3.250");
  EXPECT_EQ(energy(0.0625), "      0.062");  // exact tie to even
  EXPECT_EQ(energy(0.1875), "      0.188");
  EXPECT_EQ(energy(9999999.9994), "9999999.999");
  EXPECT_EQ(energy(9999999.9995), "***********");
  EXPECT_EQ(energy(-999999.9994), "-999999.999");
  EXPECT_EQ(energy(-999999.9995), "***********");
  EXPECT_EQ(energy(1e300), "***********");
  EXPECT_EQ(energy(INFINITY), "   Infinity");
  EXPECT_EQ(energy(-INFINITY), "  -Infinity");
  EXPECT_EQ(energy(NAN), "        NaN");
}

TEST(FixedForm, EightColumnsForTheSummary) {
  EXPECT_EQ(fixed(0.5, 8), "   0.500");
  EXPECT_EQ(fixed(-0.5, 8), "  -0.500");
  EXPECT_EQ(fixed(9999.999, 8), "9999.999");
  EXPECT_EQ(fixed(9999.9996, 8), "********");
  EXPECT_EQ(fixed(-999.9994, 8), "-999.999");
  EXPECT_EQ(fixed(-999.9995, 8), "********");
  EXPECT_EQ(fixed(0.012, 8), "   0.012");
  EXPECT_EQ(fixed(INFINITY, 8), "Infinity");
  EXPECT_EQ(fixed(-INFINITY, 8), "    -Inf");
}

TEST(ValueForm, MatchesPrintfOnEveryKindOfDouble) {
  std::mt19937_64 rng(12345);
  std::uniform_real_distribution<double> unit(1.0, 10.0);
  for (int i = 0; i < 3'000'000; ++i) {
    double x;
    if (i % 2 == 0) {
      std::uint64_t bits = rng();  // every magnitude, denormals included
      std::memcpy(&x, &bits, sizeof x);
      if (!std::isfinite(x)) continue;
    } else {
      // Typical DOS values, and values one ulp beside a rounding boundary.
      x = unit(rng) * std::pow(10.0, static_cast<int>(rng() % 120) - 100);
      if (i % 6 == 1) {
        double tie = (std::floor(x / std::pow(10.0, std::floor(std::log10(x)) - 3)) + 0.5) *
                     std::pow(10.0, std::floor(std::log10(x)) - 3);
        x = std::nextafter(tie, (rng() & 1) ? INFINITY : 0.0);
      }
      if (rng() & 1) x = -x;
    }
    ASSERT_EQ(value(x), reference::value_field(x)) << std::hexfloat << x;
  }
}

TEST(ValueForm, RunsOfValuesMatchPrintfOnEveryPath) {
  // Runs of values as a table line holds them (four at a time where the
  // processor can): every kind of double, zeros and special values among
  // them, exact ties and carries into the next power.
  std::mt19937_64 rng(777);
  std::uniform_real_distribution<double> unit(1.0, 10.0);
  const double specials[] = {0.0, -0.0, INFINITY, -INFINITY, NAN, 1234.5, 9999.5, -0.99995,
                             1e-280, 1e280, 4.9e-324, 1.7976931348623157e308, 2.5e-300};
  std::vector<double> x;
  for (int i = 0; i < 400'000; ++i) {
    double v;
    switch (rng() % 4) {
      case 0: {
        std::uint64_t bits = rng();
        std::memcpy(&v, &bits, sizeof v);
        break;
      }
      case 1: v = specials[rng() % std::size(specials)]; break;
      default: v = unit(rng) * std::pow(10.0, static_cast<int>(rng() % 120) - 100); break;
    }
    x.push_back(rng() & 1 ? -v : v);
  }
  for (auto path : {pdsplit::NumberPath::Fastest, pdsplit::NumberPath::Portable}) {
    for (std::size_t first = 0; first < x.size();) {
      std::size_t count = std::min<std::size_t>(1 + rng() % 40, x.size() - first);
      std::string out(12 * count, '?');
      pdsplit::format_values(x.data() + first, count, out.data(), path);
      for (std::size_t i = 0; i < count; ++i) {
        double v = x[first + i];
        std::string want = std::isfinite(v) ? reference::value_field(v)
                           : std::isnan(v)  ? "         NaN"
                           : v > 0          ? "    Infinity"
                                            : "   -Infinity";
        ASSERT_EQ(out.substr(12 * i, 12), want) << std::hexfloat << v;
      }
      first += count;
    }
  }
}

TEST(FastPaths, ValuesInRunsAgreeWithPrintf) {
  // As many doubles as the benchmark run asks for (10^7 by default), in
  // table-line runs of 32 on the fastest path this processor has; half of
  // them of the magnitudes a DOS holds, half any finite double.
  const char* asked = std::getenv("PDSPLIT_FIELD_SAMPLES");
  long count = asked != nullptr ? std::atol(asked) : 10'000'000;
  std::mt19937_64 rng(4242);
  std::uniform_real_distribution<double> unit(1.0, 10.0);
  double x[32];
  char out[12 * 32];
  for (long done = 0; done < count; done += 32) {
    for (double& v : x) {
      if (rng() & 1) {
        std::uint64_t bits = rng();
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v)) v = 0;
      } else {
        v = unit(rng) * std::pow(10.0, static_cast<int>(rng() % 120) - 100);
        if (rng() & 1) v = -v;
      }
    }
    pdsplit::format_values(x, 32, out);
    for (int i = 0; i < 32; ++i)
      ASSERT_EQ(std::string(out + 12 * i, 12), reference::value_field(x[i])) << std::hexfloat << x[i];
  }
}

TEST(EnergyForm, MatchesPrintfAcrossTheRange) {
  std::mt19937_64 rng(99);
  for (int i = 0; i < 2'000'000; ++i) {
    double x;
    switch (i % 3) {
      case 0: x = std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 90) - 80); break;
      case 1: {
        // One ulp beside a half-thousandth, where the rounding turns.
        double k = static_cast<double>(rng() % 20'000'000) - 10'000'000.0;
        x = std::nextafter((k + 0.5) / 1000.0, (rng() & 1) ? INFINITY : -INFINITY);
        break;
      }
      default: x = static_cast<double>(rng() % 2'000'000) / 1000.0 - 1000.0; break;
    }
    if (rng() & 1) x = -x;
    ASSERT_EQ(energy(x), reference::energy_field(x)) << std::hexfloat << x;
  }
}

}  // namespace
