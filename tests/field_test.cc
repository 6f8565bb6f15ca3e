// The field readers and their powers of ten, checked case by case and
// against strtod: on every value field of VASP's shapes, on random fields
// of every other shape, and on damaged ones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "doscar/columns.h"
#include "numbers/fast_fields.h"
#include "numbers/field.h"
#include "numbers/powers_of_ten.h"

namespace {

using pdsplit::NumberPath, pdsplit::read_real_field;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool same(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(RealField, ReadsEveryFormAndRefusesWhatIsNoNumber) {
  const struct { std::string_view text; int decimals; double value; } cases[] = {
      {"  0.1234E+02", 4, 12.34}, {" -0.1104E-42", 4, -0.1104e-42}, {"  0.4648-107", 4, 0.4648e-107},
      {"  0.7500+119", 4, 0.75e119}, {"  0.1234d-02", 4, 0.1234e-2}, {"  0.1234D+02", 4, 12.34},
      {"     -28.827", 3, -28.827}, {"            ", 4, 0.0}, {"", 4, 0.0}, {"  1 2 . 5  ", 4, 12.5},
      {"12345", 4, 1.2345}, {"12345", 8, 0.00012345}, {"12345E2", 4, 123.45}, {"-5", 3, -0.005},
      {"+.5E1", 4, 5.0}, {"1.5 E - 3", 4, 1.5e-3}, {"-0.0", 4, -0.0}, {"0.1E400", 4, INFINITY},
      {"-0.1E400", 4, -INFINITY}, {"0.1E-400", 4, 0.0}, {"0.4941-323", 4, 4.941e-324},
      {"0.1797+309", 4, 1.797e308}, {" InFiNiTy", 4, INFINITY}, {" -INF", 4, -INFINITY}, {"+NaN", 4, NAN},
      {"  nan", 4, NAN}};
  for (const auto& c : cases) {
    double v = -1;
    ASSERT_TRUE(read_real_field(c.text, c.decimals, v)) << '"' << c.text << '"';
    EXPECT_TRUE(same_bits(v, c.value) || (std::isnan(c.value) && std::isnan(v))) << c.text << ": " << v;
  }
  double v = 0;
  for (std::string_view t : std::initializer_list<std::string_view>{"0.12x4E+02", "0.12.3E+02", "1E", "1E+", "--1", "E+05", "-", ".", "1.5Q3",
                             "0x10", "1,5", "Infinit", "nana", "1.5+", "inf1", "1e5e5", "nan(1)",
                             "1\xc3\xa9", std::string_view("1\0", 2)})
    EXPECT_FALSE(read_real_field(t, 4, v)) << t;
}

TEST(IntField, ReadsSignedIntegersWithBlanksIgnored) {
  const struct { const char* text; bool ok; std::int32_t value; } cases[] = {
      {"  14", true, 14}, {"    ", true, 0}, {" -12", true, -12}, {"+3 0", true, 30}, {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1}, {"1.5", false, -1}, {"1e3", false, -1}, {"-", false, -1},
      {"--1", false, -1}, {"2147483648", false, -1}, {"99999999999", false, -1}};
  for (const auto& c : cases) {
    std::int32_t v = -1;
    EXPECT_TRUE(pdsplit::read_int_field(c.text, v) == c.ok && v == c.value) << c.text << ": " << v;
  }
}

TEST(CountColumns, CountsValueFieldsOfTheFirst395Columns) {
  std::string many(11, ' '), tiny(11, ' ');
  for (int i = 0; i < 40; ++i) many += "  0.1000E+01", tiny += "  0.1000-101";
  const struct { std::string line; int columns; } cases[] = {
      {"     -3.440 -0.1104E-42 -0.2099E-42", 2}, {"     -3.440 -0.1104e-42 -0.2099e-42", 0},
      {"ENERGY", 2}, {"", 0}, {"    -20.000  0.2065-101  0.2962E-61  0.3803-101  0.5457E-61", 4},
      {"    -20.000  0.2065-101  0.2962+101", 2}, {"    -20.000  0.2065-10", 0}, {many, 32}, {tiny, 32}};
  for (const auto& c : cases) EXPECT_EQ(pdsplit::count_columns(c.line), c.columns) << c.line;
}

TEST(Powers, EachIsTheNearestDoublePlusTheRest) {
  __extension__ typedef __float128 Quad;
  for (int q = pdsplit::kMinPower; q <= pdsplit::kMaxPower; ++q) {
    const pdsplit::PowerOfTen& p = pdsplit::power_of_ten(q);
    std::string text = "1e" + std::to_string(q);
    Quad want = 1;  // exact up to 10^48, then 2^-113 a step
    for (int i = 0; i < std::abs(q); ++i) want = q < 0 ? want / 10 : want * 10;
    EXPECT_EQ(p.high, std::strtod(text.c_str(), nullptr)) << text;
    EXPECT_LE(std::fabs(p.low), std::ldexp(1.0, std::ilogb(p.high) - 53)) << text;
    EXPECT_LT(std::fabs(static_cast<double>((static_cast<Quad>(p.high) + p.low - want) / want)), 0x1p-100) << text;
  }
}

// Value fields read as the line reader reads them: runs on `path`, each field
// that stops one on the general path (no number: the line's length).
std::vector<double> read_line(const std::string& line, NumberPath path) {
  std::size_t count = line.size() / 12, i = 0;
  std::vector<double> out(count);
  while (i < count) {
    i += pdsplit::read_value_fields(line.data() + 12 * i, count - i, out.data() + i, path);
    if (i < count && !read_real_field(std::string_view(line).substr(12 * i, 12), 4, out[i]))
      out[i] = static_cast<double>(line.size());
    ++i;
  }
  return out;
}

TEST(FastPaths, EveryFourDigitValueAtEveryExponent) {
  // Every mantissa 0000-9999 at every exponent from -999 to 999 (two digits
  // after E, three in its place), alone on each path and in lines on both
  // run paths; and every energy below 19990 (odd thousandths negative).
  for (int e = -999; e <= 999; ++e) {
    std::string line;
    std::vector<double> want;
    for (unsigned m = 0; m <= 9999; ++m) {
      char field[16], canonical[32], energy[16];
      bool negative = (m + static_cast<unsigned>(e)) % 7 == 0;
      std::snprintf(field, sizeof field, std::abs(e) < 100 ? "%s0.%04uE%+03d" : "%s0.%04u%+04d",
                    negative ? " -" : "  ", m, e);
      std::snprintf(canonical, sizeof canonical, "%s0.%04ue%d", negative ? "-" : "", m, e);
      line += field;
      want.push_back(std::strtod(canonical, nullptr));
      double general = 0, quick = 0, milli = (m % 2 ? -1 : 1) * (m + 10000.0 * (e + 999));
      std::snprintf(energy, sizeof energy, "%11.3f", milli / 1000);
      ASSERT_TRUE(pdsplit::read_energy_fast(energy, quick) && same_bits(quick, std::strtod(energy, 0))) << energy;
      ASSERT_TRUE(read_real_field(field, 4, general) && same_bits(general, want.back())) << field;
      ASSERT_TRUE(!pdsplit::read_value_fast(field, quick) || same_bits(quick, want.back())) << field;
    }
    ASSERT_TRUE(same(read_line(line, NumberPath::Fastest), want)) << "exponent " << e;
    ASSERT_TRUE(same(read_line(line, NumberPath::Portable), want)) << "exponent " << e;
  }
  double v = 0;
  for (const char* other : {"    -20.00 ", "    -2x.000", "  1.5E+01  ", "           ", "   -  0.000"})
    EXPECT_FALSE(pdsplit::read_energy_fast(other, v)) << other;
}

TEST(FastPaths, RunsOfFieldsAgreeOnDamagedFields) {
  // Bytes changed to anything: each run path reads what the general path does.
  std::mt19937_64 rng(99);
  const char kBytes[] = " -+.0123456789EeDd\x00\xff/:";
  for (int trial = 0; trial < 20000; ++trial) {
    std::string line;
    for (int i = 0; i < 24; ++i)
      line += std::string(rng() % 2 ? " -0." : "  0.") + std::to_string(1000 + rng() % 9000) + "E" +
              (rng() % 2 ? "-" : "+") + std::to_string(10 + rng() % 90);
    for (int k = 0; k < 3; ++k) line[rng() % line.size()] = kBytes[rng() % (sizeof kBytes - 1)];
    std::vector<double> general(24);
    for (std::size_t i = 0; i < 24; ++i)
      if (!read_real_field(line.substr(12 * i, 12), 4, general[i])) general[i] = static_cast<double>(line.size());
    ASSERT_TRUE(same(read_line(line, NumberPath::Portable), general)) << "portable: " << line;
    ASSERT_TRUE(same(read_line(line, NumberPath::Fastest), general)) << "fastest: " << line;
  }
}

// A random field of any shape (digits, point, exponent letter or none,
// blanks anywhere) and the text strtod reads to the same decimal value.
TEST(RealField, MatchesStrtodOnRandomFieldsOfEveryShape) {
  std::mt19937_64 rng(20261206);
  const char* kExponents[] = {"", "E%+ld", "d%ld", "%+ld", "e%ld"};
  const int kDecimals[] = {3, 4, 8};
  for (int i = 0; i < 3'000'000; ++i) {
    int decimals = kDecimals[rng() % 3];
    std::string sign = rng() % 3 == 0 ? "-" : (rng() % 5 == 0 ? "+" : ""), digits;
    for (int n = 1 + static_cast<int>(rng() % 22); n > 0; --n) digits += static_cast<char>('0' + rng() % 10);
    bool point = rng() % 4 != 0;
    if (point) digits.insert(rng() % (digits.size() + 1), 1, '.');
    int shape = static_cast<int>(rng() % 5);
    long exponent = shape == 0 ? 0 : static_cast<long>(rng() % 701) - 350;
    char exp_text[32], canonical[96];
    std::snprintf(exp_text, sizeof exp_text, kExponents[shape], exponent);
    std::snprintf(canonical, sizeof canonical, "%s%se%ld", sign.c_str(), digits.c_str(), exponent - (point ? 0 : decimals));
    std::string field = sign + digits + exp_text;
    for (int b = static_cast<int>(rng() % 3); b > 0; --b) field.insert(rng() % (field.size() + 1), 1, ' ');
    double got = 0, want = std::strtod(canonical, nullptr);
    ASSERT_TRUE(read_real_field(field, decimals, got)) << '"' << field << '"';
    ASSERT_TRUE(same_bits(got, want)) << '"' << field << "\" read as " << got << ", not as " << canonical;
  }
}

}  // namespace
