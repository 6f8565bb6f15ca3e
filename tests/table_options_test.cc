// End-to-end runs of the options that reshape the written tables, on
// DOSCARs made by the generator; every expectation is computed here from
// the DOSCAR text (reference.h's plain parser and printf formatting).
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "reference.h"
#include "generated_folder.h"
#include "support.h"

namespace {

using namespace testing_support;
using reference::Row;
using Args = std::vector<std::string>;

const Args kSpinLm = {"--natom", "2", "--ngrid", "40", "--npcol", "18", "--efermi", "1.25"};
const Args kPlain = {"--natom", "1", "--ngrid", "30", "--npcol", "9", "--efermi", "-0.5"};

using Case = GeneratedFolder;

// Rows with value columns made by `make` from each row.
template <class Make>
std::vector<Row> columns_of(const std::vector<Row>& rows, Make make) {
  std::vector<Row> out;
  for (const Row& row : rows) {
    Row r{row[0]};
    for (double v : make(row)) r.push_back(v);
    out.push_back(r);
  }
  return out;
}

// The sum of columns (1-based, in this order) of a row, from 0.
double sum(const Row& row, const std::vector<int>& columns) {
  double s = 0;
  for (int c : columns) s += row[static_cast<std::size_t>(c)];
  return s;
}

// Column of orbital o (0-based, DOSCAR order) and spin c (0 up, 1 down) in
// a spin-polarised l,m-projected row.
int col(int o, int c) { return 1 + 2 * o + c; }

std::vector<int> orbitals(const std::vector<int>& os, int c) {
  std::vector<int> out;
  for (int o : os) out.push_back(col(o, c));
  return out;
}

// A number as the table writer writes it, also with a three-digit exponent
// and no E ("0.4486-106").
double number(const std::string& field) {
  std::size_t e = field.find('E');
  if (e != std::string::npos) return std::strtod(field.c_str(), nullptr);
  std::size_t sign = field.find_first_of("+-", 1);
  if (sign == std::string::npos) return std::strtod(field.c_str(), nullptr);
  return std::strtod(field.substr(0, sign).c_str(), nullptr) *
         std::pow(10.0, std::strtod(field.substr(sign).c_str(), nullptr));
}

std::vector<std::vector<double>> numbers(const std::string& text) {
  std::vector<std::vector<double>> out;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("#")) continue;
    std::istringstream fields(line);
    std::vector<double> row;
    for (std::string f; fields >> f;) row.push_back(number(f));
    out.push_back(row);
  }
  return out;
}

double trapezoid(const std::vector<double>& e, const std::vector<double>& f) {
  double s = 0;
  for (std::size_t i = 0; i + 1 < e.size(); ++i) s += (e[i + 1] - e[i]) * (f[i] + f[i + 1]) / 2;
  return s;
}

// integral, filling, centre, width, skewness, kurtosis of rho over energies.
std::vector<double> moments_of(const std::vector<double>& energy, const std::vector<double>& rho,
                               double efermi) {
  std::vector<double> E;
  for (double x : energy) E.push_back(x - efermi);
  double n = trapezoid(energy, rho);
  double below = 0;
  for (std::size_t i = 0; i + 1 < E.size(); ++i)
    if (E[i] < 0 && E[i + 1] < 0) below += (energy[i + 1] - energy[i]) * (rho[i] + rho[i + 1]) / 2;
  auto weighted = [&](auto g) {
    std::vector<double> f;
    for (std::size_t i = 0; i < E.size(); ++i) f.push_back(g(E[i]) * rho[i]);
    return trapezoid(energy, f) / n;
  };
  double c = weighted([](double x) { return x; });
  double w = std::sqrt(weighted([&](double x) { return (x - c) * (x - c); }));
  double s = weighted([&](double x) { return std::pow(x - c, 3); }) / std::pow(w, 3);
  double k = weighted([&](double x) { return std::pow(x - c, 4); }) / std::pow(w, 4);
  return {n, below / n, c, w, s, k};
}

std::vector<double> column(const std::vector<Row>& rows, int c) {
  std::vector<double> out;
  for (const Row& r : rows) out.push_back(r[static_cast<std::size_t>(c)]);
  return out;
}

TEST(TableOptions, WithoutOptionsTablesAreUnchanged) {
  Case c(kSpinLm);
  ASSERT_EQ(c.run({"-p", "2"}).status, 0);
  EXPECT_EQ(c.file("iLDOS002"), reference::table(c.d.atoms[1], c.d.efermi));
  ASSERT_EQ(c.run({"--orbitals=lm", "-p", "2", "lm"}).status, 0);
  EXPECT_EQ(c.file("lm002"), c.file("iLDOS002"));
  ASSERT_EQ(c.run({"-t"}).status, 0);
  EXPECT_EQ(c.file("iDOS"), reference::table(c.d.total, c.d.efermi));
}

TEST(TableOptions, OrbitalsLSumsTheMComponentsAndAddsTheTotal) {
  Case c(kSpinLm);
  RunResult r = c.run({"--orbitals=l", "--header", "-p", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto rows = columns_of(c.d.atoms[0], [](const Row& row) {
    std::vector<double> v;
    for (int s = 0; s < 2; ++s) v.push_back(row[static_cast<std::size_t>(col(0, s))]);
    for (int s = 0; s < 2; ++s) v.push_back(sum(row, orbitals({1, 2, 3}, s)));
    for (int s = 0; s < 2; ++s) v.push_back(sum(row, orbitals({4, 5, 6, 7, 8}, s)));
    for (int s = 0; s < 2; ++s) v.push_back(sum(row, orbitals({0, 1, 2, 3, 4, 5, 6, 7, 8}, s)));
    return v;
  });
  EXPECT_EQ(c.file("iLDOS001"),
            "# E-EF s_up s_down p_up p_down d_up d_down total_up total_down\n" +
                reference::table(rows, c.d.efermi));
}

TEST(TableOptions, DSplitGroupsT2gAndEgAndTheFOptionDropsTheShift) {
  Case c(kSpinLm);
  RunResult r = c.run({"--orbitals=d-split", "--header", "-fs1", "1", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto summed = reference::sum_atoms(c.d, {1, 2});
  auto rows = columns_of(summed, [](const Row& row) {
    std::vector<double> v;
    for (int s = 0; s < 2; ++s) v.push_back(row[static_cast<std::size_t>(col(0, s))]);
    for (int s = 0; s < 2; ++s) v.push_back(sum(row, orbitals({1, 2, 3}, s)));
    for (int s = 0; s < 2; ++s) v.push_back(sum(row, orbitals({4, 5, 7}, s)));
    for (int s = 0; s < 2; ++s) v.push_back(sum(row, orbitals({6, 8}, s)));
    for (int s = 0; s < 2; ++s) v.push_back(sum(row, orbitals({0, 1, 2, 3, 4, 5, 6, 7, 8}, s)));
    return v;
  });
  EXPECT_EQ(c.file("iSUMDOS"),
            "# E s_up s_down p_up p_down t2g_up t2g_down eg_up eg_down total_up total_down\n" +
                reference::table(rows, 0));
}

TEST(TableOptions, SumWithDownNegativeFlipsOnlySpinDown) {
  Case c(kSpinLm);
  RunResult r = c.run({"--orbitals=sum", "--down-negative", "-p", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto rows = columns_of(c.d.atoms[0], [](const Row& row) {
    std::vector<double> v{sum(row, orbitals({0, 1, 2, 3, 4, 5, 6, 7, 8}, 0)),
                          sum(row, orbitals({0, 1, 2, 3, 4, 5, 6, 7, 8}, 1))};
    v[1] = -v[1];
    return v;
  });
  EXPECT_EQ(c.file("iLDOS001"), reference::table(rows, c.d.efermi));
}

TEST(TableOptions, TotalDosHeaderAndDownNegativeKeepIntegratedColumns) {
  Case c(kSpinLm);
  RunResult r = c.run({"--header", "--down-negative", "-t"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto rows = c.d.total;
  for (Row& row : rows) row[2] = -row[2];
  EXPECT_EQ(c.file("iDOS"),
            "# E-EF DOS_up DOS_down IDOS_up IDOS_down\n" + reference::table(rows, c.d.efermi));
}

TEST(TableOptions, WindowKeepsTheRowsWhoseWrittenEnergyIsInside) {
  Case c(kSpinLm);
  RunResult r = c.run({"--window=-6:4.5", "-a"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (int atom = 0; atom < 2; ++atom) {
    std::vector<Row> rows;
    for (const Row& row : c.d.atoms[static_cast<std::size_t>(atom)]) {
      double written = std::stod(reference::energy_field(row[0] - c.d.efermi));
      if (written >= -6 && written <= 4.5) rows.push_back(row);
    }
    ASSERT_GE(rows.size(), 2u);
    ASSERT_LT(rows.size(), c.d.atoms[0].size());
    EXPECT_EQ(c.file(atom == 0 ? "iLDOS001" : "iLDOS002"), reference::table(rows, c.d.efermi));
  }
}

TEST(TableOptions, AWindowWithFewerThanTwoRowsWritesNothing) {
  Case c(kSpinLm);
  RunResult r = c.run({"--window=500:600", "--moments", "-p", "1"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--window"), std::string::npos);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
  EXPECT_EQ(c.dir.entries(), std::vector<std::string>{"DOSCAR"});
}

TEST(TableOptions, CumulativeIntegratesTheWindowsRows) {
  Case c(kPlain);
  RunResult r = c.run({"--cumulative", "--window=-3:", "-p", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<Row> rows;
  for (const Row& row : c.d.atoms[0])
    if (std::stod(reference::energy_field(row[0] - c.d.efermi)) >= -3) rows.push_back(row);
  std::vector<Row> integral = rows;
  for (std::size_t j = 1; j < rows[0].size(); ++j) {
    integral[0][j] = 0;
    for (std::size_t i = 1; i < rows.size(); ++i)
      integral[i][j] = integral[i - 1][j] +
                       (rows[i][0] - rows[i - 1][0]) * (rows[i - 1][j] + rows[i][j]) / 2;
  }
  EXPECT_EQ(c.file("iLDOS001"), reference::table(integral, c.d.efermi));
  // -t: the DOS column integrated, IDOS as it is.
  ASSERT_EQ(c.run({"--cumulative", "-t"}).status, 0);
  auto total = c.d.total;
  double running = 0;
  for (std::size_t i = 0; i < total.size(); ++i) {
    if (i > 0)
      running += (c.d.total[i][0] - c.d.total[i - 1][0]) * (c.d.total[i - 1][1] + c.d.total[i][1]) / 2;
    total[i][1] = running;
  }
  EXPECT_EQ(c.file("iDOS"), reference::table(total, c.d.efermi));
}

TEST(TableOptions, GaussianBroadensEveryColumnWithReflectedEnds) {
  Case c(kPlain);
  double s = 2.0;
  RunResult r = c.run({"--gaussian=2", "-p", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto& in = c.d.atoms[0];
  std::size_t n = in.size();
  double step = (in[n - 1][0] - in[0][0]) / static_cast<double>(n - 1);
  double sigma = s / step;
  long radius = static_cast<long>(std::floor(4 * sigma + 0.5));
  ASSERT_LT(radius, static_cast<long>(n));
  std::vector<double> w;
  double total = 0;
  for (long k = -radius; k <= radius; ++k) {
    w.push_back(std::exp(-double(k * k) / (2 * sigma * sigma)));
    total += w.back();
  }
  auto got = numbers(c.file("iLDOS001"));
  ASSERT_EQ(got.size(), n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 1; j < in[0].size(); ++j) {
      double x = 0;
      for (long k = -radius; k <= radius; ++k) {
        long at = static_cast<long>(i) + k;
        if (at < 0) at = -at - 1;
        if (at >= static_cast<long>(n)) at = 2 * static_cast<long>(n) - at - 1;
        x += w[static_cast<std::size_t>(k + radius)] / total * in[static_cast<std::size_t>(at)][j];
      }
      EXPECT_NEAR(got[i][j], x, 1e-3 * std::fabs(x) + 1e-12) << "row " << i << " column " << j;
    }
}

void expect_moments(const std::string& text, const std::vector<std::string>& names,
                    const std::vector<std::vector<double>>& expected) {
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "# column integral filling centre width skewness kurtosis");
  for (std::size_t r = 0; r < names.size(); ++r) {
    ASSERT_TRUE(std::getline(lines, line));
    std::istringstream fields(line);
    std::string name;
    fields >> name;
    EXPECT_EQ(name, names[r]);
    for (double want : expected[r]) {
      double got = 0;
      fields >> got;
      EXPECT_NEAR(got, want, 1e-6 + 1e-9 * std::fabs(want)) << line;
    }
  }
  EXPECT_FALSE(std::getline(lines, line)) << line;
}

TEST(TableOptions, MomentsOfTheShapedColumnsOverTheWindow) {
  Case c(kSpinLm);
  RunResult r = c.run({"--orbitals=sum", "--moments", "--efermi=0.5", "--window=-8:6", "-fp", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<Row> rows;  // -f: written energies are as read
  for (const Row& row : c.d.atoms[1]) {
    double written = std::stod(reference::energy_field(row[0]));
    if (written >= -8 && written <= 6) rows.push_back(row);
  }
  auto totals = columns_of(rows, [](const Row& row) {
    double up = sum(row, orbitals({0, 1, 2, 3, 4, 5, 6, 7, 8}, 0));
    double down = sum(row, orbitals({0, 1, 2, 3, 4, 5, 6, 7, 8}, 1));
    return std::vector<double>{up, down, up + down};
  });
  auto energy = column(totals, 0);
  std::vector<std::vector<double>> expected;
  for (int j = 1; j <= 3; ++j) expected.push_back(moments_of(energy, column(totals, j), 0.5));
  std::string file = c.file("iLDOS002.moments");
  expect_moments(file, {"total_up", "total_down", "total_up+down"}, expected);
  EXPECT_NE(r.out.find("Moments of iLDOS002:"), std::string::npos);
  // The rows are printed too, and nothing is with --quiet.
  std::istringstream lines(file);
  std::string line;
  std::getline(lines, line);
  std::getline(lines, line);
  EXPECT_NE(r.out.find(line), std::string::npos);
  RunResult quiet = c.run({"--quiet", "--moments", "-p", "1"});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "");
  EXPECT_TRUE(exists(c.dir.file("iLDOS001.moments")));
}

// -a and -e take the moments of each table as its rows are formatted, a
// run of rows at a time; -p takes them at once. Both must give the same
// files and lines, whatever the options before the moments, on a grid of
// several runs (300 points) with a Fermi level inside it.
TEST(TableOptions, MomentsTakenAsTheRowsAreFormattedAreThoseTakenAtOnce) {
  Case c({"--natom", "3", "--ngrid", "300", "--npcol", "18", "--efermi", "1.25"});
  for (Args options : {Args{"--moments"}, Args{"--orbitals=l", "--moments"},
                       Args{"--window=-3:2", "--gaussian=0.3", "--moments"},
                       Args{"--orbitals=d-split", "--header", "--moments"}}) {
    Args all = options;
    all.push_back("-a");
    RunResult a = c.run(all);
    ASSERT_EQ(a.status, 0) << a.err;
    std::vector<std::string> files;
    for (int atom = 1; atom <= 3; ++atom) files.push_back(c.file("iLDOS00" + std::to_string(atom) + ".moments"));
    for (int atom = 1; atom <= 3; ++atom) {
      Args one = options;
      one.insert(one.end(), {"-p", std::to_string(atom)});
      RunResult p = c.run(one);
      ASSERT_EQ(p.status, 0) << p.err;
      std::string name = "iLDOS00" + std::to_string(atom);
      std::string file = c.file(name + ".moments");
      EXPECT_EQ(files[static_cast<std::size_t>(atom - 1)], file) << name << " " << options.back();
      // The console block of the atom, from its first line to the blank
      // line or the end.
      std::size_t at = p.out.find("Moments of " + name + ":");
      ASSERT_NE(at, std::string::npos);
      std::size_t lines = 2 + static_cast<std::size_t>(std::count(file.begin(), file.end(), '\n')) - 1;
      std::size_t end = at;
      for (std::size_t i = 0; i < lines; ++i) end = p.out.find('\n', end) + 1;
      EXPECT_NE(a.out.find(p.out.substr(at, end - at)), std::string::npos) << name;
    }
  }
}

// At the low end of a generated grid the tails leave columns with a single
// nonzero value among a window's rows: all their states on one point, so
// width 0 and no skewness or kurtosis, whether the moments are taken at
// once (-p) or as the rows are formatted (-a). Which columns these are is
// read from the DOSCAR text.
TEST(TableOptions, MomentsOfAColumnNonzeroOnOneRowOfTheWindow) {
  Case c({"--natom", "2", "--ngrid", "129", "--npcol", "18", "--seed", "12918", "--efermi", "1.234",
          "--emin", "-20", "--emax", "15"});
  const double lo = -21.234, hi = -20.5;
  std::vector<Row> rows;
  for (const Row& row : c.d.atoms[1]) {
    double written = std::stod(reference::energy_field(row[0] - c.d.efermi));
    if (written >= lo && written <= hi) rows.push_back(row);
  }
  ASSERT_GE(rows.size(), 2u);
  // Per orbital: up, down, up + down; whether each is zero on every row
  // but one, where it is above zero (N > 0).
  std::vector<bool> one_point;
  for (int o = 0; o < 9; ++o) {
    int nonzero[3] = {0, 0, 0}, positive[3] = {0, 0, 0};
    for (const Row& row : rows) {
      double up = row[static_cast<std::size_t>(col(o, 0))], down = row[static_cast<std::size_t>(col(o, 1))];
      const double values[3] = {up, down, up + down};
      for (int k = 0; k < 3; ++k) {
        nonzero[k] += values[k] != 0;
        positive[k] += values[k] > 0;
      }
    }
    for (int k = 0; k < 3; ++k) one_point.push_back(nonzero[k] == 1 && positive[k] == 1);
  }
  ASSERT_GT(std::count(one_point.begin(), one_point.end(), true), 0);
  for (const Args& mode : {Args{"-p", "2"}, Args{"-a"}}) {
    Args args = {"--window=-21.234:-20.5", "--moments"};
    args.insert(args.end(), mode.begin(), mode.end());
    RunResult r = c.run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(c.file("iLDOS002.moments"));
    std::string line;
    std::getline(lines, line);
    for (std::size_t k = 0; k < one_point.size(); ++k) {
      ASSERT_TRUE(std::getline(lines, line));
      if (one_point[k]) {
        EXPECT_TRUE(line.ends_with(" 0.000000 nan nan")) << mode[0] << ": " << line;
      }
    }
  }
}

// The plan of the columns is made once for all tables; one that cannot be
// made still fails where a table error does, once the file is read (-p),
// with nothing written.
TEST(TableOptions, DSplitOfAnLProjectedFileFailsOnceTheFileIsRead) {
  Case c({"--natom", "2", "--ngrid", "30", "--npcol", "3", "--efermi", "0.5"});
  RunResult r = c.run({"--orbitals=d-split", "--moments", "-p", "2"});
  EXPECT_EQ(r.status, 1);
  const std::string all = r.out + r.err;
  std::size_t closing = all.find(" Closing DOSCAR file...");
  std::size_t error = all.find("Error! --orbitals=d-split needs an l,m-projected DOSCAR");
  ASSERT_NE(closing, std::string::npos) << all;
  ASSERT_NE(error, std::string::npos) << all;
  EXPECT_LT(closing, error);
  EXPECT_FALSE(exists(c.dir.file("iLDOS002")));
  EXPECT_FALSE(exists(c.dir.file("iLDOS002.moments")));
}

TEST(TableOptions, TotalMomentsTakeTheDosColumnsOnly) {
  Case c(kSpinLm);
  RunResult r = c.run({"--moments", "-t"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto energy = column(c.d.total, 0);
  auto up = column(c.d.total, 1), down = column(c.d.total, 2);
  std::vector<double> both;
  for (std::size_t i = 0; i < up.size(); ++i) both.push_back(up[i] + down[i]);
  expect_moments(c.file("iDOS.moments"), {"DOS_up", "DOS_down", "DOS_up+down"},
                 {moments_of(energy, up, c.d.efermi), moments_of(energy, down, c.d.efermi),
                  moments_of(energy, both, c.d.efermi)});
  EXPECT_EQ(c.file("iDOS"), reference::table(c.d.total, c.d.efermi));
}

// A non-collinear file (total, mx, my, mz per orbital): one row per
// orbital group of its total component, none for mx, my and mz.
TEST(TableOptions, NonCollinearMomentsTakeTheTotalComponentOnly) {
  Case c({"--natom", "2", "--ngrid", "60", "--npcol", "36", "--noncollinear", "--efermi", "0.75"});
  ASSERT_TRUE(c.d.noncollinear);
  RunResult r = c.run({"--orbitals=l", "--moments", "-p", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  // Orbital o's total component is column 1 + 4 o.
  auto total_of = [](const std::vector<int>& os) {
    std::vector<int> columns;
    for (int o : os) columns.push_back(1 + 4 * o);
    return columns;
  };
  auto groups = columns_of(c.d.atoms[1], [&](const Row& row) {
    return std::vector<double>{sum(row, total_of({0})), sum(row, total_of({1, 2, 3})),
                               sum(row, total_of({4, 5, 6, 7, 8})),
                               sum(row, total_of({0, 1, 2, 3, 4, 5, 6, 7, 8}))};
  });
  auto energy = column(groups, 0);
  std::vector<std::vector<double>> expected;
  for (int j = 1; j <= 4; ++j) expected.push_back(moments_of(energy, column(groups, j), c.d.efermi));
  expect_moments(c.file("iLDOS002.moments"), {"s", "p", "d", "total"}, expected);
  EXPECT_EQ(r.out.find("_mx "), std::string::npos) << r.out;
}

}  // namespace
