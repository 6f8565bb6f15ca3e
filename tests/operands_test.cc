// Atom numbers from command-line operands, read as the 5-character buffer
// holds them.
#include "modes/operands.h"

#include <gtest/gtest.h>

#include "base/failure.h"
#include "output/names.h"

namespace {

using pdsplit::AtomRead;

struct Case {
  const char* operand;
  AtomRead outcome;
  int value;  // meaningful for AtomRead::Value
};

TEST(AtomNumber, FreeFormReadingOfTheFirstFiveCharacters) {
  const Case cases[] = {
      {"3", AtomRead::Value, 3},       {"003", AtomRead::Value, 3},
      {"+3", AtomRead::Value, 3},      {"-3", AtomRead::Value, -3},
      {"3,7", AtomRead::Value, 3},     {"3 7", AtomRead::Value, 3},
      {"3/x", AtomRead::Value, 3},     {"  42", AtomRead::Value, 42},
      {"123456", AtomRead::Value, 12345}, {"12345abc", AtomRead::Value, 12345},
      {"3,out", AtomRead::Value, 3},   {"2a", AtomRead::Error, 0},
      {"2.5", AtomRead::Error, 0},     {"x", AtomRead::Error, 0},
      {"Fe", AtomRead::Error, 0},      {"12abc", AtomRead::Error, 0},
      {"+", AtomRead::Error, 0},       {"- 3", AtomRead::Error, 0},
      {"", AtomRead::NoValue, 0},      {"     ", AtomRead::NoValue, 0},
      {",3", AtomRead::NoValue, 0},    {"/tmp/x", AtomRead::NoValue, 0},
      {"  ,", AtomRead::NoValue, 0},   {"\t3", AtomRead::Error, 0},
  };
  for (const Case& c : cases) {
    std::int32_t v = 0;
    std::string ARGV = pdsplit::fixed_text(c.operand, pdsplit::kOperandWidth);
    AtomRead got = pdsplit::read_atom_number(ARGV, v);
    EXPECT_EQ(got, c.outcome) << '"' << c.operand << '"';
    if (c.outcome != AtomRead::Error) {
      EXPECT_EQ(v, c.value) << '"' << c.operand << '"';
    }
  }
}

TEST(Names, AtomSuffixGrowsOnlyAbove999) {
  EXPECT_EQ(pdsplit::atom_suffix(2), "002");
  EXPECT_EQ(pdsplit::atom_suffix(15), "015");
  EXPECT_EQ(pdsplit::atom_suffix(123), "123");
  EXPECT_EQ(pdsplit::atom_suffix(999), "999");
  EXPECT_EQ(pdsplit::atom_suffix(1000), "1000");
  EXPECT_EQ(pdsplit::atom_suffix(9999), "9999");
}

TEST(Names, GivenNameKeepsEverythingButTrailingBlanks) {
  EXPECT_EQ(pdsplit::given_name("LDOS2  "), "LDOS2");
  EXPECT_EQ(pdsplit::given_name(" a b "), " a b");
  std::string longname(60, 'x');
  EXPECT_EQ(pdsplit::given_name(longname), longname);
  EXPECT_THROW(pdsplit::given_name(""), pdsplit::Failure);
  EXPECT_THROW(pdsplit::given_name("   "), pdsplit::Failure);
}

}  // namespace
