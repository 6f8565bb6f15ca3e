// The fixed-point fields of the header summary, the processor-time line and
// the table energies, and the text helpers of the bottom layer.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "base/fixed_point.h"
#include "base/text.h"
#include "reference.h"

namespace {

std::string fixed(double x, std::size_t width, bool keep_sign) {
  std::string out(width, '?');
  if (keep_sign)
    pdsplit::format_fixed3_signed(x, width, out.data());
  else
    pdsplit::format_fixed3(x, width, out.data());
  return out;
}

TEST(FixedPoint, SummaryFieldsKeepTheSignOfNegativeValuesThatRoundToZero) {
  EXPECT_EQ(fixed(-0.0004, 8, true), "  -0.000");
  EXPECT_EQ(fixed(-0.0, 8, true), "  -0.000");
  EXPECT_EQ(fixed(0.0004, 8, true), "   0.000");
  EXPECT_EQ(fixed(0.0, 8, true), "   0.000");
  EXPECT_EQ(fixed(-0.0005, 8, true), "  -0.001");  // 0.0005 as a double lies above the tie
  EXPECT_EQ(fixed(-123.4567, 8, true), "-123.457");
  EXPECT_EQ(fixed(-1234.5678, 8, true), "********");
  EXPECT_EQ(fixed(-std::numeric_limits<double>::infinity(), 8, true), "    -Inf");
  EXPECT_EQ(fixed(std::numeric_limits<double>::quiet_NaN(), 8, true), "     NaN");
  // Table energies drop it: the table rule.
  EXPECT_EQ(fixed(-0.0004, 11, false), "      0.000");
  EXPECT_EQ(fixed(-0.0, 11, false), "      0.000");
}

TEST(FixedPoint, SignedFieldsAgreeWithPrintfEverywhere) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 200'000; ++i) {
    double x;
    switch (i % 4) {
      case 0: x = (static_cast<double>(rng() % 2'000'001) - 1'000'000.0) / 1e6; break;
      case 1: x = -static_cast<double>(rng() % 1000) / 1e6; break;  // rounds to -0.000 or -0.001
      case 2: x = (static_cast<double>(rng() % 20'000'000) - 10'000'000.0) / 1e3; break;
      default: x = std::ldexp(static_cast<double>(rng() % 1'000'000) - 500'000.0, -static_cast<int>(rng() % 30)); break;
    }
    ASSERT_EQ(fixed(x, 8, true), reference::fixed8(x)) << x;
  }
  // Too wide for the field, either sign.
  EXPECT_EQ(fixed(-99999.9, 8, true), "********");
  EXPECT_EQ(fixed(123456.0, 8, true), "********");
}

TEST(Text, FixedWidthBuffersAndPrintableTexts) {
  EXPECT_EQ(pdsplit::fixed_text("-s1", 5), "-s1  ");
  EXPECT_EQ(pdsplit::fixed_text("123456", 5), "12345");
  EXPECT_EQ(pdsplit::trim_trailing_blanks(" a b  "), " a b");
  EXPECT_EQ(pdsplit::trim_trailing_blanks("   "), "");
  EXPECT_EQ(pdsplit::printable(std::string("a\nb\tc\x7f\xc3\xa9 \0", 10)),
            "a\\x0ab\\x09c\\x7f\\xc3\\xa9 \\x00");
}

}  // namespace
