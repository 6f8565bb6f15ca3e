// Table shaping (src/modes/shape.cc): the column plans of every grouping on
// every kind of file, checked against sums written out here from the
// README's column order; header names; --down-negative; --window on the
// written 3-decimal energy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/failure.h"
#include "tables/shape.h"

namespace {

using namespace pdsplit;

// A table of `rows` rows of `k` random values of many magnitudes (so that
// adding them in another order changes the last bits), energies rising.
Table random_table(std::int32_t rows, std::int32_t k, unsigned seed) {
  Table t(rows, k);
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> decade(-4, 4);
  for (std::size_t i = 0; i < t.rows(); ++i) {
    t.row(i)[0] = -10.0 + 0.0731 * static_cast<double>(i);
    for (std::size_t c = 1; c < t.width(); ++c)
      t.row(i)[c] = unit(rng) * std::pow(10.0, decade(rng));
  }
  return t;
}

TEST(Table, StartsAtZeroAndClones) {
  Table t(1000, 32);  // large enough for huge pages where they are offered
  ASSERT_EQ(t.size(), 33000u);
  EXPECT_TRUE(std::ranges::all_of(t.values(), [](double x) { return x == 0.0; }));
  t.row(999)[32] = 4.5;
  t.row(0)[0] = -1.0;
  Table copy = t.clone();
  t.row(999)[32] = 0;
  EXPECT_EQ(copy.ngrid, 1000);
  EXPECT_EQ(copy.k, 32);
  EXPECT_EQ(copy.row(999)[32], 4.5);
  EXPECT_EQ(copy.view().energy(0), -1.0);
  EXPECT_EQ(copy.view().row(999), copy.data() + 999 * 33);
  Table empty(0, 5);
  EXPECT_EQ(empty.size(), 0u);
  EXPECT_EQ(empty.clone().size(), 0u);
}

// ---------------------------------------------------------------------------
// The README's column order, written out independently of the code.

const std::vector<std::string> kLmOrbitals = {"s",   "py",  "pz",  "px",  "dxy", "dyz",
                                              "dz2", "dxz", "dx2-y2"};
const std::vector<std::string> kFOrbitals = {"f-3", "f-2", "f-1", "f0", "f1", "f2", "f3"};
const std::vector<std::string> kLOrbitals = {"s", "p", "d"};

struct Kind {
  Spin spin;
  Projection projection;
  bool f;
  std::int32_t npcol;  // the values a DOSCAR line of this kind holds
  std::int32_t ntcol;  // its total-DOS lines
  bool noncollinear;
  std::string label;
};

const std::vector<Kind> kKinds = {
    {Spin::None, Projection::L, false, 3, 2, false, "no spin, s p d"},
    {Spin::None, Projection::L, true, 4, 2, false, "no spin, s p d f"},
    {Spin::None, Projection::LM, false, 9, 2, false, "no spin, l,m"},
    {Spin::None, Projection::LM, true, 16, 2, false, "no spin, l,m with f"},
    {Spin::Polarised, Projection::L, false, 6, 4, false, "spin, s p d"},
    {Spin::Polarised, Projection::L, true, 8, 4, false, "spin, s p d f"},
    {Spin::Polarised, Projection::LM, false, 18, 4, false, "spin, l,m"},
    {Spin::Polarised, Projection::LM, true, 32, 4, false, "spin, l,m with f"},
    {Spin::NonCollinear, Projection::L, false, 12, 2, true, "non-collinear, s p d"},
    {Spin::NonCollinear, Projection::L, true, 16, 2, true, "non-collinear, s p d f"},
    {Spin::NonCollinear, Projection::LM, false, 36, 2, true, "non-collinear, l,m"},
    {Spin::NonCollinear, Projection::LM, true, 64, 2, true, "non-collinear, l,m with f"},
};

ColumnLayout layout_of(const Kind& kind) { return {kind.spin, kind.projection, kind.f}; }

std::vector<std::string> orbital_names(const Kind& kind) {
  std::vector<std::string> names = kind.projection == Projection::LM ? kLmOrbitals : kLOrbitals;
  if (kind.f) {
    if (kind.projection == Projection::LM)
      names.insert(names.end(), kFOrbitals.begin(), kFOrbitals.end());
    else
      names.push_back("f");
  }
  return names;
}

// Suffixes of the values of one orbital, in the order DOSCAR holds them.
std::vector<std::string> suffixes(Spin spin) {
  if (spin == Spin::Polarised) return {"_up", "_down"};
  if (spin == Spin::NonCollinear) return {"", "_mx", "_my", "_mz"};
  return {""};
}

// Table column (1..K) of component c of the named orbital.
int column_of(const Kind& kind, const std::string& orbital, std::size_t c) {
  std::vector<std::string> names = orbital_names(kind);
  for (std::size_t o = 0; o < names.size(); ++o)
    if (names[o] == orbital) return static_cast<int>(1 + o * suffixes(kind.spin).size() + c);
  ADD_FAILURE() << "no orbital " << orbital;
  return 0;
}

struct ExpectedGroup {
  std::string name;
  std::vector<std::string> orbitals;  // added in this order
};

std::vector<ExpectedGroup> expected_groups(const Kind& kind, Grouping grouping) {
  std::vector<std::string> all = orbital_names(kind);
  std::vector<ExpectedGroup> groups;
  bool lm = kind.projection == Projection::LM;
  switch (grouping) {
    case Grouping::Lm:
      for (const std::string& o : all) groups.push_back({o, {o}});
      return groups;
    case Grouping::L:
      if (lm) {
        groups = {{"s", {"s"}}, {"p", {"py", "pz", "px"}}, {"d", {"dxy", "dyz", "dz2", "dxz", "dx2-y2"}}};
        if (kind.f) groups.push_back({"f", kFOrbitals});
      } else {
        for (const std::string& o : all) groups.push_back({o, {o}});
      }
      break;
    case Grouping::DSplit:
      groups = {{"s", {"s"}},
                {"p", {"py", "pz", "px"}},
                {"t2g", {"dxy", "dyz", "dxz"}},
                {"eg", {"dz2", "dx2-y2"}}};
      if (kind.f) groups.push_back({"f", kFOrbitals});
      break;
    case Grouping::Sum:
      break;
  }
  groups.push_back({"total", all});
  return groups;
}

const Grouping kGroupings[] = {Grouping::Lm, Grouping::L, Grouping::DSplit, Grouping::Sum};
const char* const kGroupingNames[] = {"lm", "l", "d-split", "sum"};

// ---------------------------------------------------------------------------

TEST(Shape, LayoutOfEveryKindOfFile) {
  for (const Kind& kind : kKinds) {
    std::optional<ColumnLayout> layout = column_layout(kind.npcol, kind.ntcol, kind.noncollinear);
    ASSERT_TRUE(layout) << kind.label;
    EXPECT_EQ(layout->spin, kind.spin) << kind.label;
    EXPECT_EQ(layout->projection, kind.projection) << kind.label;
    EXPECT_EQ(layout->f, kind.f) << kind.label;
    EXPECT_EQ(value_columns(*layout), kind.npcol) << kind.label;
    Header h;
    h.npcol = kind.npcol;
    h.ntcol = kind.ntcol;
    h.noncollinear = kind.noncollinear;
    EXPECT_TRUE(column_layout(h)) << kind.label;
    h.projected = false;
    EXPECT_FALSE(column_layout(h)) << kind.label;
  }
  EXPECT_FALSE(column_layout(5, 2, false));
  EXPECT_FALSE(column_layout(7, 4, false));
  EXPECT_FALSE(column_layout(9, 4, false));  // 4.5 orbitals
  EXPECT_FALSE(column_layout(20, 2, true));
  EXPECT_FALSE(column_layout(0, 2, false));
  EXPECT_FALSE(column_layout(9, 3, false));
}

TEST(Shape, GroupingWords) {
  for (std::size_t g = 0; g < 4; ++g) EXPECT_EQ(parse_grouping(kGroupingNames[g]), kGroupings[g]);
  EXPECT_FALSE(parse_grouping("LM"));
  EXPECT_FALSE(parse_grouping("dsplit"));
  EXPECT_FALSE(parse_grouping(""));
  EXPECT_FALSE(parse_grouping("l "));
}

TEST(Shape, EveryGroupingOnEveryKindAddsTheReadmeColumnsInFileOrder) {
  for (const Kind& kind : kKinds) {
    Table in = random_table(23, kind.npcol, static_cast<unsigned>(kind.npcol * 7 + kind.f));
    for (std::size_t g = 0; g < 4; ++g) {
      std::string where = kind.label + ", " + kGroupingNames[g];
      if (kGroupings[g] == Grouping::DSplit && kind.projection == Projection::L) {
        EXPECT_THROW(plan_columns(layout_of(kind), kGroupings[g]), Failure) << where;
        continue;
      }
      ColumnPlan plan = plan_columns(layout_of(kind), kGroupings[g]);
      Table out = shape_table(plan, in.view());
      std::vector<ExpectedGroup> groups = expected_groups(kind, kGroupings[g]);
      std::vector<std::string> sfx = suffixes(kind.spin);
      ASSERT_EQ(out.k, static_cast<std::int32_t>(groups.size() * sfx.size())) << where;
      ASSERT_EQ(out.ngrid, in.ngrid);
      std::size_t column = 1;
      for (const ExpectedGroup& group : groups) {
        for (std::size_t c = 0; c < sfx.size(); ++c, ++column) {
          ASSERT_EQ(plan[column - 1].name(), group.name + sfx[c]) << where;
          EXPECT_EQ(plan[column - 1].spin_down, sfx[c] == "_down") << where;
          for (std::size_t i = 0; i < in.rows(); ++i) {
            double sum = in.row(i)[column_of(kind, group.orbitals[0], c)];
            for (std::size_t o = 1; o < group.orbitals.size(); ++o)
              sum += in.row(i)[column_of(kind, group.orbitals[o], c)];
            ASSERT_EQ(out.row(i)[column], sum) << where << ", " << group.name + sfx[c] << ", row " << i;
            ASSERT_EQ(out.row(i)[0], in.row(i)[0]) << where;
          }
        }
      }
    }
  }
}

TEST(Shape, LmGroupingCopiesTheTableUnchanged) {
  for (const Kind& kind : kKinds) {
    Table in = random_table(11, kind.npcol, 3);
    in.row(4)[1] = -0.0;  // even the sign of a zero survives
    Table out = shape_table(plan_columns(layout_of(kind), Grouping::Lm), in.view());
    ASSERT_EQ(out.k, in.k);
    for (std::size_t i = 0; i < in.size(); ++i) EXPECT_EQ(out.data()[i], in.data()[i]);
    EXPECT_TRUE(std::signbit(out.row(4)[1]));
  }
}

// A few sums spelt out by table column, from the README's example: in a
// spin-polarised l,m-projected table, README column 2 (table column 1) is
// s up and README columns 10 to 19 (table columns 9 to 18) the d orbitals.
TEST(Shape, SumsSpeltOutByColumn) {
  Table spin_lm = random_table(17, 18, 11);
  auto value = [](const Table& t, std::size_t i, std::size_t c) { return t.row(i)[c]; };

  Table l = shape_table(plan_columns({Spin::Polarised, Projection::LM, false}, Grouping::L), spin_lm.view());
  Table d = shape_table(plan_columns({Spin::Polarised, Projection::LM, false}, Grouping::DSplit), spin_lm.view());
  Table s = shape_table(plan_columns({Spin::Polarised, Projection::LM, false}, Grouping::Sum), spin_lm.view());
  ASSERT_EQ(l.k, 8);
  ASSERT_EQ(d.k, 10);
  ASSERT_EQ(s.k, 2);
  for (std::size_t i = 0; i < spin_lm.rows(); ++i) {
    auto v = [&](std::size_t c) { return value(spin_lm, i, c); };
    EXPECT_EQ(value(l, i, 1), v(1));                                     // s_up
    EXPECT_EQ(value(l, i, 4), v(4) + v(6) + v(8));                       // p_down
    EXPECT_EQ(value(l, i, 5), v(9) + v(11) + v(13) + v(15) + v(17));     // d_up
    EXPECT_EQ(value(l, i, 6), v(10) + v(12) + v(14) + v(16) + v(18));    // d_down
    double up = v(1), down = v(2);
    for (std::size_t c = 3; c <= 17; c += 2) up += v(c);
    for (std::size_t c = 4; c <= 18; c += 2) down += v(c);
    EXPECT_EQ(value(l, i, 7), up);
    EXPECT_EQ(value(l, i, 8), down);
    EXPECT_EQ(value(d, i, 5), v(9) + v(11) + v(15));   // t2g_up: dxy dyz dxz
    EXPECT_EQ(value(d, i, 6), v(10) + v(12) + v(16));  // t2g_down
    EXPECT_EQ(value(d, i, 7), v(13) + v(17));          // eg_up: dz2 dx2-y2
    EXPECT_EQ(value(d, i, 8), v(14) + v(18));          // eg_down
    EXPECT_EQ(value(d, i, 9), up);
    EXPECT_EQ(value(s, i, 1), up);
    EXPECT_EQ(value(s, i, 2), down);
  }

  // Non-collinear, l,m with f (64 values): f_mz is component 4 of the f
  // orbitals, orbitals 10 to 16: table columns 40, 44, ..., 64.
  Table nc = random_table(9, 64, 12);
  Table ncl = shape_table(plan_columns({Spin::NonCollinear, Projection::LM, true}, Grouping::L), nc.view());
  ASSERT_EQ(ncl.k, 20);  // s p d f total, 4 components each
  for (std::size_t i = 0; i < nc.rows(); ++i) {
    auto v = [&](std::size_t c) { return value(nc, i, c); };
    EXPECT_EQ(value(ncl, i, 16), v(40) + v(44) + v(48) + v(52) + v(56) + v(60) + v(64));
    EXPECT_EQ(value(ncl, i, 5), v(5) + v(9) + v(13));  // p: py pz px, total component
    EXPECT_EQ(value(ncl, i, 7), v(7) + v(11) + v(15));  // p_my
  }

  // l-projected s p d f without spin: `l` adds only the total.
  Table lf = random_table(9, 4, 13);
  Table lfl = shape_table(plan_columns({Spin::None, Projection::L, true}, Grouping::L), lf.view());
  ASSERT_EQ(lfl.k, 5);
  for (std::size_t i = 0; i < lf.rows(); ++i) {
    for (std::size_t c = 1; c <= 4; ++c) EXPECT_EQ(value(lfl, i, c), value(lf, i, c));
    EXPECT_EQ(value(lfl, i, 5), value(lf, i, 1) + value(lf, i, 2) + value(lf, i, 3) + value(lf, i, 4));
  }
}

TEST(Shape, DSplitOfAnLProjectedFileIsAClearError) {
  try {
    plan_columns({Spin::Polarised, Projection::L, false}, Grouping::DSplit);
    FAIL() << "no error";
  } catch (const Failure& e) {
    EXPECT_EQ(e.status(), kExitFailure);
    EXPECT_NE(std::string(e.text()).find("l,m-projected"), std::string::npos) << e.text();
    EXPECT_NE(std::string(e.text()).find("d-split"), std::string::npos) << e.text();
  }
}

TEST(Shape, PlanThatNamesAMissingColumnIsRefused) {
  Table narrow = random_table(4, 17, 1);
  EXPECT_THROW(shape_table(plan_columns({Spin::Polarised, Projection::LM, false}, Grouping::L), narrow.view()),
               std::invalid_argument);
}

TEST(Shape, HeaderLines) {
  EXPECT_EQ(header_line({Spin::Polarised, Projection::LM, false}, Grouping::Lm, true),
            "# E-EF s_up s_down py_up py_down pz_up pz_down px_up px_down dxy_up dxy_down "
            "dyz_up dyz_down dz2_up dz2_down dxz_up dxz_down dx2-y2_up dx2-y2_down");
  EXPECT_EQ(header_line({Spin::Polarised, Projection::LM, false}, Grouping::L, true),
            "# E-EF s_up s_down p_up p_down d_up d_down total_up total_down");
  EXPECT_EQ(header_line({Spin::None, Projection::LM, true}, Grouping::DSplit, false),
            "# E s p t2g eg f total");
  EXPECT_EQ(header_line({Spin::None, Projection::LM, true}, Grouping::Lm, true),
            "# E-EF s py pz px dxy dyz dz2 dxz dx2-y2 f-3 f-2 f-1 f0 f1 f2 f3");
  EXPECT_EQ(header_line({Spin::NonCollinear, Projection::L, false}, Grouping::Lm, true),
            "# E-EF s s_mx s_my s_mz p p_mx p_my p_mz d d_mx d_my d_mz");
  EXPECT_EQ(header_line({Spin::NonCollinear, Projection::LM, false}, Grouping::Sum, false),
            "# E total total_mx total_my total_mz");
  EXPECT_EQ(header_line({Spin::Polarised, Projection::L, true}, Grouping::L, true),
            "# E-EF s_up s_down p_up p_down d_up d_down f_up f_down total_up total_down");
  EXPECT_EQ(header_line({Spin::None, Projection::L, false}, Grouping::Sum, true), "# E-EF total");
  EXPECT_EQ(header_line(total_dos_plan(2), true), "# E-EF DOS IDOS");
  EXPECT_EQ(header_line(total_dos_plan(4), false), "# E DOS_up DOS_down IDOS_up IDOS_down");
  EXPECT_THROW(total_dos_plan(3), Failure);
}

TEST(Shape, EveryHeaderNamesEveryColumnOnce) {
  for (const Kind& kind : kKinds)
    for (std::size_t g = 0; g < 4; ++g) {
      if (kGroupings[g] == Grouping::DSplit && kind.projection == Projection::L) continue;
      ColumnPlan plan = plan_columns(layout_of(kind), kGroupings[g]);
      std::string line = header_line(plan, true);
      std::vector<std::string> words;
      std::size_t start = 0;
      while (start <= line.size()) {
        std::size_t end = std::min(line.find(' ', start), line.size());
        words.push_back(line.substr(start, end - start));
        start = end + 1;
      }
      ASSERT_EQ(words.size(), plan.size() + 2) << line;
      EXPECT_EQ(words[0], "#");
      EXPECT_EQ(words[1], "E-EF");
      for (std::size_t a = 2; a < words.size(); ++a)
        for (std::size_t b = a + 1; b < words.size(); ++b) EXPECT_NE(words[a], words[b]) << line;
    }
}

TEST(Shape, DownNegativeFlipsOnlySpinDownDosColumns) {
  for (const Kind& kind : kKinds)
    for (std::size_t g = 0; g < 4; ++g) {
      if (kGroupings[g] == Grouping::DSplit && kind.projection == Projection::L) continue;
      ColumnPlan plan = plan_columns(layout_of(kind), kGroupings[g]);
      Table shaped = shape_table(plan, random_table(7, kind.npcol, 5).view());
      Table flipped = shaped.clone();
      negate_down_columns(plan, flipped);
      for (std::size_t i = 0; i < shaped.rows(); ++i) {
        EXPECT_EQ(flipped.row(i)[0], shaped.row(i)[0]);
        for (std::size_t c = 1; c < shaped.width(); ++c) {
          bool down = plan[c - 1].name().ends_with("_down");
          EXPECT_EQ(flipped.row(i)[c], down ? -shaped.row(i)[c] : shaped.row(i)[c])
              << kind.label << " " << plan[c - 1].name();
        }
      }
    }
  // Total DOS: DOS_down flipped, IDOS_down kept.
  Table total = random_table(5, 4, 8);
  Table flipped = total.clone();
  negate_down_columns(total_dos_plan(4), flipped);
  for (std::size_t i = 0; i < total.rows(); ++i) {
    EXPECT_EQ(flipped.row(i)[1], total.row(i)[1]);
    EXPECT_EQ(flipped.row(i)[2], -total.row(i)[2]);
    EXPECT_EQ(flipped.row(i)[3], total.row(i)[3]);
    EXPECT_EQ(flipped.row(i)[4], total.row(i)[4]);
  }
  Table unpolarised = random_table(5, 2, 9);
  Table same = unpolarised.clone();
  negate_down_columns(total_dos_plan(2), same);
  EXPECT_TRUE(std::ranges::equal(same.values(), unpolarised.values()));
}

// ---------------------------------------------------------------------------
// --window

TEST(Window, Words) {
  auto w = parse_window("-5:3.5");
  ASSERT_TRUE(w);
  EXPECT_EQ(w->low, -5.0);
  EXPECT_EQ(w->high, 3.5);
  w = parse_window("-2:");
  ASSERT_TRUE(w);
  EXPECT_EQ(w->low, -2.0);
  EXPECT_FALSE(w->high);
  w = parse_window(":1e1");
  ASSERT_TRUE(w);
  EXPECT_FALSE(w->low);
  EXPECT_EQ(w->high, 10.0);
  w = parse_window(":");
  ASSERT_TRUE(w);
  EXPECT_FALSE(w->low);
  EXPECT_FALSE(w->high);
  w = parse_window("+1:+1");
  ASSERT_TRUE(w);
  EXPECT_EQ(w->low, 1.0);
  EXPECT_EQ(w->high, 1.0);
  for (const char* bad : {"", "1", "3:1", "a:2", "1:b", "1:2:3", "inf:1", "0:nan", " 1:2", "1 :2",
                          "+-1:2", "++1:2", "1,5:2", "0x1:2", "--1:2"})
    EXPECT_FALSE(parse_window(bad)) << bad;
}

// The written energy read back, computed here through printf's "%.3f"
// (glibc rounds correctly, binary ties to even, like the writer), a
// negative zero taken as zero.
double printf_written(double energy, double shift) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", energy - shift);
  return std::strtod(text, nullptr) + 0.0;
}

TEST(Window, WrittenEnergyIsTheThreeDecimalText) {
  EXPECT_EQ(written_energy(-2.0004, 0), -2.0);
  EXPECT_EQ(written_energy(-2.0006, 0), -2.001);
  EXPECT_EQ(written_energy(0.0004, 0), 0.0);
  EXPECT_EQ(written_energy(-0.0004, 0), 0.0);
  EXPECT_FALSE(std::signbit(written_energy(-0.0004, 0)));
  EXPECT_EQ(written_energy(4.5, 6.5), -2.0);
  EXPECT_EQ(written_energy(1e9, 0), 1e9);  // too wide for the field: unrounded
  EXPECT_TRUE(std::isnan(written_energy(std::numeric_limits<double>::quiet_NaN(), 0)));
  std::mt19937_64 rng(4);
  std::uniform_real_distribution<double> energy(-60.0, 40.0), shift(-10.0, 10.0);
  for (int n = 0; n < 200000; ++n) {
    double e = energy(rng), s = shift(rng);
    if (n % 4 == 0) e = std::round(e * 2000.0) / 2000.0;  // near the ties
    if (n % 8 == 0) s = 0;                                 // on them, as binary allows
    ASSERT_EQ(written_energy(e, s), printf_written(e, s)) << e << " - " << s;
  }
}

TEST(Window, BoundsAreInclusiveOnTheWrittenEnergy) {
  EnergyWindow w = *parse_window("-2:0");
  EXPECT_TRUE(in_window(w, written_energy(-2.0004, 0)));
  EXPECT_FALSE(in_window(w, written_energy(-2.0005000001, 0)));
  EXPECT_TRUE(in_window(w, written_energy(0.0004, 0)));
  EXPECT_FALSE(in_window(w, written_energy(0.0006, 0)));
  EXPECT_TRUE(in_window(w, written_energy(-1.0, 0)));
  EXPECT_FALSE(in_window(w, std::numeric_limits<double>::quiet_NaN()));
  EXPECT_TRUE(in_window(*parse_window(":"), std::numeric_limits<double>::quiet_NaN()));
  EXPECT_TRUE(in_window(*parse_window("-2:"), 1e300));
  EXPECT_TRUE(in_window(*parse_window(":0"), -1e300));
  EXPECT_FALSE(in_window(*parse_window(":0"), 0.001));
}

TEST(Window, CutKeepsTheRowsInsideWithAllTheirColumns) {
  // Energies -3.0004 + 0.25 i read; shift 1: written -4.000, -3.750, ...
  Table t = random_table(40, 5, 21);
  for (std::size_t i = 0; i < t.rows(); ++i) t.row(i)[0] = -3.0004 + 0.25 * static_cast<double>(i);
  double shift = 1.0;
  EnergyWindow w = *parse_window("-3.5:0.75");
  std::vector<std::size_t> expected;
  for (std::size_t i = 0; i < t.rows(); ++i) {
    double written = printf_written(t.row(i)[0], shift);
    if (written >= -3.5 && written <= 0.75) expected.push_back(i);
  }
  // -4.000 + 0.25 i in [-3.5, 0.75]: i = 2 .. 19.
  ASSERT_EQ(expected.size(), 18u);
  EXPECT_EQ(expected.front(), 2u);
  EXPECT_EQ(window_rows(t.view(), shift, w), expected);
  Table cut = cut_to_window(t.view(), shift, w);
  ASSERT_EQ(cut.ngrid, 18);
  ASSERT_EQ(cut.k, 5);
  for (std::size_t r = 0; r < expected.size(); ++r)
    for (std::size_t c = 0; c < t.width(); ++c) EXPECT_EQ(cut.row(r)[c], t.row(expected[r])[c]);

  EXPECT_TRUE(std::ranges::equal(cut_to_window(t.view(), shift, *parse_window(":")).values(), t.values()));
  EXPECT_EQ(cut_to_window(t.view(), shift, *parse_window("-4:-4")).ngrid, 1);  // the caller's error
  EXPECT_EQ(cut_to_window(t.view(), shift, *parse_window("100:")).ngrid, 0);
  EXPECT_EQ(cut_to_window(t.view(), shift, *parse_window(":-3.751")).ngrid, 1);
  EXPECT_EQ(cut_to_window(t.view(), shift, *parse_window(":-3.75")).ngrid, 2);
}

}  // namespace
