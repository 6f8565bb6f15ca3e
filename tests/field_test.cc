// The fixed-column field reader, checked case by case and against strtod on
// millions of random fields of every shape VASP and hand-edited files give.
#include "doscar/columns.h"
#include "numbers/fast_fields.h"
#include "numbers/field.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using pdsplit::count_columns;
using pdsplit::read_int_field;
using pdsplit::read_real_field;

namespace {

struct RealCase {
  const char* text;
  int decimals;
  double value;
};

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(RealField, ReadsEveryWrittenForm) {
  const RealCase cases[] = {
      {"  0.1234E+02", 4, 12.34},
      {" -0.1104E-42", 4, -0.1104e-42},
      {"  0.4648-107", 4, 0.4648e-107},
      {"  0.7500+119", 4, 0.75e119},
      {"  0.1234e+02", 4, 12.34},
      {"  0.1234D+02", 4, 12.34},
      {"  0.1234d-02", 4, 0.1234e-2},
      {"     -28.827", 3, -28.827},
      {"     11.68109029", 8, 11.68109029},
      {"            ", 4, 0.0},
      {"", 4, 0.0},
      {"  1 2 . 5  ", 4, 12.5},   // blanks anywhere are ignored
      {"12345", 4, 1.2345},        // no point: the last 4 digits are the fraction
      {"12345", 3, 12.345},
      {"12345", 8, 0.00012345},
      {"12345E2", 4, 123.45},      // the implied fraction scales with an exponent
      {"-5", 3, -0.005},
      {"1.", 4, 1.0},
      {".5", 4, 0.5},
      {"+.5E1", 4, 5.0},
      {"1.5 E - 3", 4, 1.5e-3},
      {"0.1E400", 4, INFINITY},
      {"-0.1E400", 4, -INFINITY},
      {"0.1E-400", 4, 0.0},
      {"0.4941-323", 4, 4.941e-324},  // the smallest denormal
      {"0.2225-307", 4, 2.225e-308},
      {"0.1797+309", 4, 1.797e308},
  };
  for (const RealCase& c : cases) {
    double v = -1;
    ASSERT_TRUE(read_real_field(c.text, c.decimals, v)) << '"' << c.text << '"';
    EXPECT_TRUE(same_bits(v, c.value) || v == c.value)
        << '"' << c.text << "\" read as " << v << ", not " << c.value;
  }
}

TEST(RealField, ReadsInfinityAndNaNInAnyCase) {
  double v = 0;
  for (const char* t : {"Infinity", "  INF", "+inf", "infinity  ", " InFiNiTy"}) {
    ASSERT_TRUE(read_real_field(t, 4, v)) << t;
    EXPECT_EQ(v, INFINITY) << t;
  }
  for (const char* t : {"-Infinity", " -INF"}) {
    ASSERT_TRUE(read_real_field(t, 4, v)) << t;
    EXPECT_EQ(v, -INFINITY) << t;
  }
  for (const char* t : {"NaN", "  nan", "-NAN", "+NaN"}) {
    ASSERT_TRUE(read_real_field(t, 4, v)) << t;
    EXPECT_TRUE(std::isnan(v)) << t;
  }
}

TEST(RealField, RefusesWhatIsNoNumber) {
  for (const char* t : {"0.12x4E+02", "0.12.3E+02", "1E", "1E+", "--1", "E+05", "+",
                        "-", ".", "abc", "1.5E+0x", "1.5Q3", "0x10", "1,5", "Infinit",
                        "nana", "1.5+", "1.5 - ", "inf1", "1e5e5"}) {
    double v = 0;
    EXPECT_FALSE(read_real_field(t, 4, v)) << '"' << t << '"';
  }
  double v = 0;
  EXPECT_FALSE(read_real_field(std::string_view("1\0", 2), 4, v));
  EXPECT_FALSE(read_real_field("1\xc3\xa9", 4, v));
}

TEST(IntField, ReadsSignedIntegersWithBlanksIgnored) {
  std::int32_t v = -1;
  ASSERT_TRUE(read_int_field("  14", v));
  EXPECT_EQ(v, 14);
  ASSERT_TRUE(read_int_field("    ", v));
  EXPECT_EQ(v, 0);
  ASSERT_TRUE(read_int_field(" -12", v));
  EXPECT_EQ(v, -12);
  ASSERT_TRUE(read_int_field("+3 0", v));
  EXPECT_EQ(v, 30);
  ASSERT_TRUE(read_int_field("2147483647", v));
  EXPECT_EQ(v, 2147483647);
  ASSERT_TRUE(read_int_field("-2147483648", v));
  EXPECT_EQ(v, -2147483647 - 1);
  for (const char* t : {"1.5", "x", "1e3", "-", "+", "--1", "2147483648", "99999999999"})
    EXPECT_FALSE(read_int_field(t, v)) << t;
}

// A random field and the text strtod reads to the same decimal value.
struct Sample {
  std::string field;
  std::string canonical;
  int decimals;
};

Sample random_sample(std::mt19937_64& rng) {
  static const int kDecimals[] = {3, 4, 8};
  int decimals = kDecimals[rng() % 3];
  std::string sign = rng() % 3 == 0 ? "-" : (rng() % 5 == 0 ? "+" : "");
  int ndigits = 1 + static_cast<int>(rng() % 22);
  std::string digits;
  for (int i = 0; i < ndigits; ++i) digits += static_cast<char>('0' + rng() % 10);
  bool point = rng() % 4 != 0;
  std::string mantissa = digits;
  if (point) {
    std::size_t at = rng() % (digits.size() + 1);
    mantissa = digits.substr(0, at).append(".").append(digits, at);
  }
  long exponent = static_cast<long>(rng() % 701) - 350;
  char exp_text[32] = "";
  switch (rng() % 5) {
    case 0: exponent = 0; break;  // no exponent
    case 1: std::snprintf(exp_text, sizeof exp_text, "E%+ld", exponent); break;
    case 2: std::snprintf(exp_text, sizeof exp_text, "d%ld", exponent); break;
    case 3: std::snprintf(exp_text, sizeof exp_text, "%+ld", exponent); break;
    default: std::snprintf(exp_text, sizeof exp_text, "e%ld", exponent); break;
  }
  long scale = exponent - (point ? 0 : decimals);
  Sample s;
  s.decimals = decimals;
  char field[96], canonical[96];
  std::snprintf(field, sizeof field, "%s%s%s", sign.c_str(), mantissa.c_str(), exp_text);
  std::snprintf(canonical, sizeof canonical, "%s%se%ld", sign.c_str(), mantissa.c_str(), scale);
  s.field = field;
  s.canonical = canonical;
  // Blanks may stand anywhere in a fixed-column field.
  int blanks = static_cast<int>(rng() % 3);
  for (int i = 0; i < blanks; ++i) {
    std::size_t at = rng() % (s.field.size() + 1);
    s.field = s.field.substr(0, at).append(" ").append(s.field, at);
  }
  return s;
}

TEST(RealField, MatchesStrtodOnMillionsOfRandomFields) {
  std::mt19937_64 rng(20261206);
  for (int i = 0; i < 3'000'000; ++i) {
    Sample s = random_sample(rng);
    double got = 0;
    ASSERT_TRUE(read_real_field(s.field, s.decimals, got)) << '"' << s.field << '"';
    double want = std::strtod(s.canonical.c_str(), nullptr);
    ASSERT_TRUE(same_bits(got, want) || (got == 0 && want == 0 && std::signbit(got) == std::signbit(want)))
        << '"' << s.field << "\" (" << s.decimals << " implied) read as " << got
        << ", strtod(\"" << s.canonical << "\") gives " << want;
  }
}

TEST(RealField, MatchesStrtodOnTheValuesVaspWrites) {
  // Every double, written as VASP writes it (0.dddd with a two- or
  // three-digit exponent), reads back as strtod reads the same digits.
  std::mt19937_64 rng(7);
  for (int i = 0; i < 2'000'000; ++i) {
    std::uint64_t bits = rng();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x) || x == 0) continue;
    char sci[64];
    std::snprintf(sci, sizeof sci, "%.3e", std::fabs(x));
    int e10 = std::atoi(sci + 6) + 1;
    char field[64];
    if (std::abs(e10) < 100)
      std::snprintf(field, sizeof field, "%s0.%c%.3sE%+03d", x < 0 ? " -" : "  ", sci[0], sci + 2, e10);
    else
      std::snprintf(field, sizeof field, "%s0.%c%.3s%+04d", x < 0 ? " -" : "  ", sci[0], sci + 2, e10);
    char canonical[64];
    std::snprintf(canonical, sizeof canonical, "%s0.%c%.3se%d", x < 0 ? "-" : "", sci[0], sci + 2, e10);
    ASSERT_EQ(std::strlen(field), 12u) << field;
    double got = 0;
    ASSERT_TRUE(read_real_field(field, 4, got)) << field;
    double want = std::strtod(canonical, nullptr);
    ASSERT_TRUE(same_bits(got, want)) << field << " read as " << got << ", want " << want;
  }
}

TEST(CountColumns, CountsUpperCaseEOnly) {
  EXPECT_EQ(count_columns("     -3.440 -0.1104E-42 -0.2099E-42"), 2);
  EXPECT_EQ(count_columns("     -3.440 -0.1104e-42 -0.2099e-42"), 0);
  EXPECT_EQ(count_columns("ENERGY"), 2);
  EXPECT_EQ(count_columns(""), 0);
}

TEST(CountColumns, CountsValuesWrittenWithoutTheLetter) {
  // The first line of a block is where the DOS tails are tiniest.
  EXPECT_EQ(count_columns("    -20.000  0.2065-101  0.2962E-61  0.3803-101  0.5457E-61"), 4);
  EXPECT_EQ(count_columns("    -20.000  0.2065-101  0.2962+101"), 2);
  // A field cut short by the end of the line is not a value of that form.
  EXPECT_EQ(count_columns("    -20.000  0.2065-10"), 0);
}

TEST(CountColumns, SeesOnlyTheFirst395Columns) {
  std::string line(11, ' ');
  for (int i = 0; i < 40; ++i) line += "  0.1000E+01";
  EXPECT_EQ(count_columns(line), 32);
  std::string tiny(11, ' ');
  for (int i = 0; i < 40; ++i) tiny += "  0.1000-101";
  EXPECT_EQ(count_columns(tiny), 32);
}

}  // namespace

namespace {

long samples_from_environment(long fallback) {
  // The benchmark run sets a far larger count once; CI keeps the default.
  const char* text = std::getenv("PDSPLIT_FIELD_SAMPLES");
  return text != nullptr ? std::atol(text) : fallback;
}

TEST(FastPaths, ValueFieldsAgreeWithStrtod) {
  long count = samples_from_environment(10'000'000);
  std::mt19937_64 rng(2026);
  long misses = 0;
  for (long i = 0; i < count; ++i) {
    std::uint64_t bits = rng();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x)) continue;
    if (i % 4 == 0) x = std::ldexp(x, -std::ilogb(x) + static_cast<int>(rng() % 200) - 150);
    char sci[64], field[64], canonical[64];
    std::snprintf(sci, sizeof sci, "%.3e", std::fabs(x));
    int e10 = std::atoi(sci + 6) + 1;
    const char* sign = std::signbit(x) ? " -" : "  ";
    if (x == 0) {
      std::snprintf(field, sizeof field, "%s0.0000E+00", sign);
      std::snprintf(canonical, sizeof canonical, "%s0", std::signbit(x) ? "-" : "");
    } else {
      if (std::abs(e10) < 100)
        std::snprintf(field, sizeof field, "%s0.%c%.3sE%+03d", sign, sci[0], sci + 2, e10);
      else
        std::snprintf(field, sizeof field, "%s0.%c%.3s%+04d", sign, sci[0], sci + 2, e10);
      std::snprintf(canonical, sizeof canonical, "%s0.%c%.3se%d", std::signbit(x) ? "-" : "",
                    sci[0], sci + 2, e10);
    }
    double fast = 0;
    if (!pdsplit::read_value_fast(field, fast)) {
      ++misses;
      continue;
    }
    double want = std::strtod(canonical, nullptr);
    ASSERT_TRUE(same_bits(fast, want)) << field << " read as " << fast << ", want " << want;
  }
  // Only subnormals, overflow and values within a hair of a tie go the long way.
  EXPECT_LT(misses, count / 100);
}

// Reads the whole line of value fields as the line reader does: runs of
// fields on `path`, each field that stops a run on the general path. A
// field that is no number reads as the string's length (no value here is
// that), so that it shows in a comparison.
std::vector<double> read_run_of_fields(const std::string& line, pdsplit::NumberPath path) {
  std::size_t count = line.size() / 12, i = 0;
  std::vector<double> out(count);
  while (i < count) {
    i += pdsplit::read_value_fields(line.data() + 12 * i, count - i, out.data() + i, path);
    if (i < count) {
      if (!pdsplit::read_real_field(std::string_view(line).substr(12 * i, 12), 4, out[i]))
        out[i] = static_cast<double>(line.size());
      ++i;
    }
  }
  return out;
}

// The same line read field by field on the general path alone.
std::vector<double> read_field_by_field(const std::string& line) {
  std::vector<double> out(line.size() / 12);
  for (std::size_t i = 0; i < out.size(); ++i)
    if (!pdsplit::read_real_field(std::string_view(line).substr(12 * i, 12), 4, out[i]))
      out[i] = static_cast<double>(line.size());
  return out;
}

bool same_values(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(FastPaths, EveryFourDigitValueAtEveryExponent) {
  // The fast value paths take four digits and an exponent, so the whole of
  // their domain can be tried: every mantissa 0000-9999 with every exponent
  // from -999 to +999 (the two-digit form with E, the three-digit form
  // without). Each field alone is read as strtod reads it or left to the
  // general path; a line of them, read in runs (four fields at a time where
  // the processor can, and one at a time), gives strtod's doubles.
  long fast_reads = 0, tried = 0;  // of the normal doubles
  for (int e = -999; e <= 999; ++e) {
    bool normal = e >= -303 && e <= 308;
    std::string line;
    std::vector<double> want;
    for (unsigned m = 0; m <= 9999; ++m) {
      char field[16], canonical[32];
      bool negative = (m + static_cast<unsigned>(e)) % 7 == 0;
      if (std::abs(e) < 100)
        std::snprintf(field, sizeof field, "%s0.%04uE%+03d", negative ? " -" : "  ", m, e);
      else
        std::snprintf(field, sizeof field, "%s0.%04u%+04d", negative ? " -" : "  ", m, e);
      line += field;
      std::snprintf(canonical, sizeof canonical, "%s0.%04ue%d", negative ? "-" : "", m, e);
      want.push_back(std::strtod(canonical, nullptr));
      tried += normal;
      double fast = 0;
      if (!pdsplit::read_value_fast(field, fast)) continue;
      fast_reads += normal;
      ASSERT_TRUE(same_bits(fast, want.back())) << field << " read as " << fast << ", want " << want.back();
    }
    ASSERT_TRUE(same_values(read_run_of_fields(line, pdsplit::NumberPath::Fastest), want)) << "exponent " << e;
    ASSERT_TRUE(same_values(read_run_of_fields(line, pdsplit::NumberPath::Portable), want)) << "exponent " << e;
  }
  // Beyond the normal doubles the general path decides, and within a hair
  // of a tie: about 2 in 1000.
  EXPECT_GT(fast_reads, tried * 995 / 1000);
}

TEST(FastPaths, RunsOfFieldsAgreeOnDamagedFields) {
  // Value fields with a byte changed anywhere to anything: every path reads
  // the same numbers and refuses the same fields. Each run path is
  // compared with the general path alone: where the processor has no AVX2
  // the fastest path is the portable one, and comparing those two would
  // compare a function with itself.
  std::mt19937_64 rng(99);
  const char kBytes[] = " -+.0123456789EeDd\x00\xff/:";
  for (int trial = 0; trial < 20000; ++trial) {
    std::string line;
    char field[16];
    for (int i = 0; i < 24; ++i) {
      std::snprintf(field, sizeof field, "%s0.%04uE%c%02u", rng() % 2 ? " -" : "  ",
                    static_cast<unsigned>(rng() % 10000), rng() % 2 ? '-' : '+',
                    static_cast<unsigned>(rng() % 100));
      line += field;
    }
    for (int k = 0; k < 3; ++k)
      line[rng() % line.size()] = kBytes[rng() % (sizeof kBytes - 1)];
    std::vector<double> general = read_field_by_field(line);
    std::vector<double> fastest = read_run_of_fields(line, pdsplit::NumberPath::Fastest);
    std::vector<double> portable = read_run_of_fields(line, pdsplit::NumberPath::Portable);
    ASSERT_TRUE(same_values(portable, general)) << "portable path: " << line;
    ASSERT_TRUE(same_values(fastest, general)) << "fastest path: " << line;
  }
}

TEST(FastPaths, EnergyFieldsAgreeWithStrtod) {
  long count = samples_from_environment(10'000'000) / 4;
  std::mt19937_64 rng(11);
  for (long i = 0; i < count; ++i) {
    long long milli = static_cast<long long>(rng() % 20'000'000'000ULL) - 10'000'000'000LL;
    if (i % 2) milli /= static_cast<long long>(1 + rng() % 100000);
    char field[32];
    int len = std::snprintf(field, sizeof field, "%11.3f", static_cast<double>(milli) / 1000.0);
    if (len != 11) continue;
    double fast = 0;
    ASSERT_TRUE(pdsplit::read_energy_fast(field, fast)) << field;
    double want = std::strtod(field, nullptr);
    ASSERT_TRUE(same_bits(fast, want) || (fast == 0 && want == 0)) << field;
  }
  double v = 0;
  for (const char* other : {"    -20.00 ", "    -2x.000", "  1.5E+01  ", "           ", "   -  0.000"})
    EXPECT_FALSE(pdsplit::read_energy_fast(other, v)) << other;
}

}  // namespace
