#include "modes/moments.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace pdsplit {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The trapezoid over one segment: the one expression every integral here
// adds, so that the running integral's last row is the moments' N.
inline double trapezoid(double e0, double e1, double f0, double f1) {
  return 0.5 * (e1 - e0) * (f0 + f1);
}

// The moments over n points: energy(i) as read, rho(i) the column.
template <class Energy, class Rho>
Moments moments_of(std::size_t n, const Energy& energy, const Rho& rho, double efermi) {
  Moments m;
  if (n < 2) {
    m.integral = 0;
    m.filling = m.centre = m.width = m.skewness = m.kurtosis = kNaN;
    return m;
  }
  // First pass: N, the part below the Fermi level, the first moment.
  double integral = 0, below = 0, first = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    double e0 = energy(i), e1 = energy(i + 1);
    double x0 = e0 - efermi, x1 = e1 - efermi;
    double f0 = rho(i), f1 = rho(i + 1);
    double area = trapezoid(e0, e1, f0, f1);
    integral += area;
    if (x0 < 0 && x1 < 0) below += area;
    first += trapezoid(e0, e1, x0 * f0, x1 * f1);
  }
  m.integral = integral;
  if (!(integral > 0)) {
    m.filling = m.centre = m.width = m.skewness = m.kurtosis = kNaN;
    return m;
  }
  m.filling = below / integral;
  m.centre = first / integral;
  // Second pass: the central moments about the centre.
  double second = 0, third = 0, fourth = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    double e0 = energy(i), e1 = energy(i + 1);
    double d0 = e0 - efermi - m.centre, d1 = e1 - efermi - m.centre;
    double f0 = rho(i), f1 = rho(i + 1);
    double s0 = d0 * d0 * f0, s1 = d1 * d1 * f1;
    second += trapezoid(e0, e1, s0, s1);
    third += trapezoid(e0, e1, d0 * s0, d1 * s1);
    fourth += trapezoid(e0, e1, d0 * d0 * s0, d1 * d1 * s1);
  }
  double variance = second / integral;
  m.width = variance >= 0 ? std::sqrt(variance) : kNaN;
  if (!(m.width > 0)) {
    m.skewness = m.kurtosis = kNaN;
    return m;
  }
  double w2 = m.width * m.width;
  m.skewness = third / integral / (w2 * m.width);
  m.kurtosis = fourth / integral / (w2 * w2);
  return m;
}

}  // namespace

Moments moments(std::span<const double> energies, std::span<const double> rho, double efermi) {
  if (energies.size() != rho.size())
    throw std::invalid_argument("moments: energies and values differ in length");
  return moments_of(
      energies.size(), [&](std::size_t i) { return energies[i]; },
      [&](std::size_t i) { return rho[i]; }, efermi);
}

Moments column_moments(TableView table, std::int32_t column, double efermi) {
  if (column < 1 || column > table.k)
    throw std::invalid_argument("moments: no column " + std::to_string(column));
  return moments_of(
      table.rows(), [&](std::size_t i) { return table.energy(i); },
      [&](std::size_t i) { return table.row(i)[column]; }, efermi);
}

namespace {

// The moments of many columns at once: every value column of a table
// (1..K) and the sums row[a] + row[b] of some pairs of them (the up+down
// columns), K + P "lanes", in two sweeps over the rows in order. Each row
// is read once per sweep, however many columns the table has (a column at
// a time, the table would be read twice per column, from memory rather
// than the cache once it outgrows it), and the lanes of a row are worked
// on together, in the vector unit.
//
// Every lane's sums take the very operations moments_of takes, in the same
// order, so the numbers are the same to the bit; only the products that
// moments_of computes twice, once for each segment a point ends (x f in
// the first sweep; (d d) f, d (d d) f and (d d)(d d) f in the second, d =
// x - centre), are computed once per point here and kept for the next
// segment, which gives the same values.
struct Lanes {
  TableView table;
  const std::vector<std::pair<std::size_t, std::size_t>>& pairs;
  double efermi;
  std::size_t k, count;  // value columns, lanes

  // The pair lanes' values at row i, into f[0, P).
  void pair_values(std::size_t i, double* f) const {
    const double* row = table.row(i);
    for (std::size_t q = 0; q < pairs.size(); ++q)
      f[q] = row[pairs[q].first] + row[pairs[q].second];
  }
  double x(std::size_t i) const { return table.energy(i) - efermi; }
};

// The loops over lanes. Their arrays never overlap (__restrict): the loops
// are taken in the vector unit as they stand.
#define PDSPLIT_LANES __attribute__((always_inline)) inline
using In = const double* __restrict;
using Out = double* __restrict;

// The first sweep's state of `count` lanes: rho and x rho at the last
// point, and the sums N, the part below the Fermi level and the first
// moment.
struct FirstSweep {
  double *f, *g, *integral, *below, *first;
};

PDSPLIT_LANES void first_start(std::size_t count, double x, In f, Out f_kept, Out g_kept) {
  for (std::size_t s = 0; s < count; ++s) {
    f_kept[s] = f[s];
    g_kept[s] = x * f[s];
  }
}

// The segment from the last point to the next, of energy x and values f;
// `half` is half the grid step between them.
PDSPLIT_LANES void first_segment(std::size_t count, double half, double x, In f, Out f0, Out g0,
                                 Out integral, Out first) {
  for (std::size_t s = 0; s < count; ++s) {
    double f1 = f[s], g1 = x * f1;
    integral[s] += half * (f0[s] + f1);
    first[s] += half * (g0[s] + g1);
    f0[s] = f1;
    g0[s] = g1;
  }
}
PDSPLIT_LANES void first_segment_below(std::size_t count, double half, double x, In f, Out f0,
                                       Out g0, Out integral, Out below, Out first) {
  for (std::size_t s = 0; s < count; ++s) {
    double f1 = f[s], g1 = x * f1;
    double area = half * (f0[s] + f1);
    integral[s] += area;
    below[s] += area;
    first[s] += half * (g0[s] + g1);
    f0[s] = f1;
    g0[s] = g1;
  }
}

// The second sweep's state: at the last point, with d = x - centre,
// a = (d d) f, b = d a, c = (d d) a; and the sums of each.
struct SecondSweep {
  const double* centre;
  double *a, *b, *c, *second, *third, *fourth;
};

PDSPLIT_LANES void second_start(std::size_t count, double x, In centre, In f, Out a, Out b,
                                Out c) {
  for (std::size_t s = 0; s < count; ++s) {
    double d = x - centre[s];
    double dd = d * d;
    double w = dd * f[s];
    a[s] = w;
    b[s] = d * w;
    c[s] = dd * w;
  }
}

PDSPLIT_LANES void second_segment(std::size_t count, double half, double x, In centre, In f,
                                  Out a, Out b, Out c, Out second, Out third, Out fourth) {
  for (std::size_t s = 0; s < count; ++s) {
    double d = x - centre[s];
    double dd = d * d;
    double w = dd * f[s];
    double dw = d * w, ddw = dd * w;
    second[s] += half * (a[s] + w);
    third[s] += half * (b[s] + dw);
    fourth[s] += half * (c[s] + ddw);
    a[s] = w;
    b[s] = dw;
    c[s] = ddw;
  }
}

// Four segments at once, from the last point to the next four (energies
// x[r], values f[r], half steps h[r]): the same operations, in the same
// order for each lane, as four calls of the one-segment loops, with the
// sums and the values carried kept in registers from one segment to the
// next. For the first sweep, all four segments lie below the Fermi level
// or none does (`below`).
struct FourPoints {
  double h[4], x[4];
  const double* f[4];
};

PDSPLIT_LANES void first_step(double h, double x, double f1, double& f0, double& g0,
                              double& integral, double& first) {
  double g1 = x * f1;
  integral += h * (f0 + f1);
  first += h * (g0 + g1);
  f0 = f1;
  g0 = g1;
}
PDSPLIT_LANES void first_step_below(double h, double x, double f1, double& f0, double& g0,
                                    double& integral, double& below, double& first) {
  double g1 = x * f1;
  double area = h * (f0 + f1);
  integral += area;
  below += area;
  first += h * (g0 + g1);
  f0 = f1;
  g0 = g1;
}

PDSPLIT_LANES void first_segments4(std::size_t count, const FourPoints& q, bool below_all,
                                   In p0, In p1, In p2, In p3, Out f0, Out g0, Out integral,
                                   Out below, Out first) {
  const double h0 = q.h[0], h1 = q.h[1], h2 = q.h[2], h3 = q.h[3];
  const double x0 = q.x[0], x1 = q.x[1], x2 = q.x[2], x3 = q.x[3];
  if (below_all) {
    for (std::size_t s = 0; s < count; ++s) {
      double f = f0[s], g = g0[s], n = integral[s], b = below[s], m = first[s];
      first_step_below(h0, x0, p0[s], f, g, n, b, m);
      first_step_below(h1, x1, p1[s], f, g, n, b, m);
      first_step_below(h2, x2, p2[s], f, g, n, b, m);
      first_step_below(h3, x3, p3[s], f, g, n, b, m);
      f0[s] = f;
      g0[s] = g;
      integral[s] = n;
      below[s] = b;
      first[s] = m;
    }
  } else {
    for (std::size_t s = 0; s < count; ++s) {
      double f = f0[s], g = g0[s], n = integral[s], m = first[s];
      first_step(h0, x0, p0[s], f, g, n, m);
      first_step(h1, x1, p1[s], f, g, n, m);
      first_step(h2, x2, p2[s], f, g, n, m);
      first_step(h3, x3, p3[s], f, g, n, m);
      f0[s] = f;
      g0[s] = g;
      integral[s] = n;
      first[s] = m;
    }
  }
}

PDSPLIT_LANES void second_step(double h, double x, double centre, double f, double& a,
                               double& b, double& c, double& second, double& third,
                               double& fourth) {
  double d = x - centre;
  double dd = d * d;
  double w = dd * f;
  double dw = d * w, ddw = dd * w;
  second += h * (a + w);
  third += h * (b + dw);
  fourth += h * (c + ddw);
  a = w;
  b = dw;
  c = ddw;
}

PDSPLIT_LANES void second_segments4(std::size_t count, const FourPoints& q, In centre, In p0,
                                    In p1, In p2, In p3, Out a, Out b, Out c, Out second,
                                    Out third, Out fourth) {
  const double h0 = q.h[0], h1 = q.h[1], h2 = q.h[2], h3 = q.h[3];
  const double x0 = q.x[0], x1 = q.x[1], x2 = q.x[2], x3 = q.x[3];
  for (std::size_t s = 0; s < count; ++s) {
    const double m = centre[s];
    double as = a[s], bs = b[s], cs = c[s], s2 = second[s], s3 = third[s], s4 = fourth[s];
    second_step(h0, x0, m, p0[s], as, bs, cs, s2, s3, s4);
    second_step(h1, x1, m, p1[s], as, bs, cs, s2, s3, s4);
    second_step(h2, x2, m, p2[s], as, bs, cs, s2, s3, s4);
    second_step(h3, x3, m, p3[s], as, bs, cs, s2, s3, s4);
    a[s] = as;
    b[s] = bs;
    c[s] = cs;
    second[s] = s2;
    third[s] = s3;
    fourth[s] = s4;
  }
}

// The two sweeps, each lane's state at offset l of the arrays (the table's
// columns at 0, the pairs at K); `pairs` holds P doubles.
PDSPLIT_LANES void first_sweep(const Lanes& lanes, const FirstSweep& m, double* pairs) {
  const std::size_t k = lanes.k, p = lanes.count - k, n = lanes.table.rows();
  auto at = [&](double* a, std::size_t l) { return a + l; };
  lanes.pair_values(0, pairs);
  first_start(k, lanes.x(0), lanes.table.row(0) + 1, m.f, m.g);
  first_start(p, lanes.x(0), pairs, at(m.f, k), at(m.g, k));
  std::size_t i = 0;
  // Four segments at a time while they share their place below the Fermi
  // level or above it.
  while (i + 4 < n) {
    FourPoints q;
    bool below[4];
    for (std::size_t r = 0; r < 4; ++r) {
      const double e0 = lanes.table.energy(i + r), e1 = lanes.table.energy(i + r + 1);
      const double x0 = e0 - lanes.efermi, x1 = e1 - lanes.efermi;
      q.h[r] = 0.5 * (e1 - e0);
      q.x[r] = x1;
      q.f[r] = lanes.table.row(i + r + 1) + 1;
      below[r] = x0 < 0 && x1 < 0;
    }
    if (below[0] != below[1] || below[0] != below[2] || below[0] != below[3]) break;
    first_segments4(k, q, below[0], q.f[0], q.f[1], q.f[2], q.f[3], m.f, m.g, m.integral,
                    m.below, m.first);
    for (std::size_t r = 0; r < 4; ++r) lanes.pair_values(i + r + 1, pairs + r * p);
    first_segments4(p, q, below[0], pairs, pairs + p, pairs + 2 * p, pairs + 3 * p, at(m.f, k),
                    at(m.g, k), at(m.integral, k), at(m.below, k), at(m.first, k));
    i += 4;
  }
  // Then one at a time, and four at a time again once past the segment
  // that crosses the Fermi level.
  for (; i + 1 < n; ++i) {
    const double e0 = lanes.table.energy(i), e1 = lanes.table.energy(i + 1);
    const double x0 = e0 - lanes.efermi, x1 = e1 - lanes.efermi;
    const double half = 0.5 * (e1 - e0);
    const double* row = lanes.table.row(i + 1) + 1;
    lanes.pair_values(i + 1, pairs);
    if (x0 < 0 && x1 < 0) {
      first_segment_below(k, half, x1, row, m.f, m.g, m.integral, m.below, m.first);
      first_segment_below(p, half, x1, pairs, at(m.f, k), at(m.g, k), at(m.integral, k),
                          at(m.below, k), at(m.first, k));
    } else {
      first_segment(k, half, x1, row, m.f, m.g, m.integral, m.first);
      first_segment(p, half, x1, pairs, at(m.f, k), at(m.g, k), at(m.integral, k),
                    at(m.first, k));
      // Above the Fermi level from here on as the energies rise: four at a
      // time for the rest while it lasts.
      while (i + 5 < n) {
        FourPoints q;
        bool above = true;
        for (std::size_t r = 0; r < 4; ++r) {
          const double e0r = lanes.table.energy(i + r + 1), e1r = lanes.table.energy(i + r + 2);
          const double x0r = e0r - lanes.efermi, x1r = e1r - lanes.efermi;
          q.h[r] = 0.5 * (e1r - e0r);
          q.x[r] = x1r;
          q.f[r] = lanes.table.row(i + r + 2) + 1;
          if (x0r < 0 && x1r < 0) above = false;
        }
        if (!above) break;
        first_segments4(k, q, false, q.f[0], q.f[1], q.f[2], q.f[3], m.f, m.g, m.integral,
                        m.below, m.first);
        for (std::size_t r = 0; r < 4; ++r) lanes.pair_values(i + r + 2, pairs + r * p);
        first_segments4(p, q, false, pairs, pairs + p, pairs + 2 * p, pairs + 3 * p,
                        at(m.f, k), at(m.g, k), at(m.integral, k), at(m.below, k),
                        at(m.first, k));
        i += 4;
      }
    }
  }
}

PDSPLIT_LANES void second_sweep(const Lanes& lanes, const SecondSweep& m, double* pairs) {
  const std::size_t k = lanes.k, p = lanes.count - k, n = lanes.table.rows();
  auto at = [&](double* a, std::size_t l) { return a + l; };
  lanes.pair_values(0, pairs);
  second_start(k, lanes.x(0), m.centre, lanes.table.row(0) + 1, m.a, m.b, m.c);
  second_start(p, lanes.x(0), m.centre + k, pairs, at(m.a, k), at(m.b, k), at(m.c, k));
  std::size_t i = 0;
  for (; i + 4 < n; i += 4) {
    FourPoints q;
    for (std::size_t r = 0; r < 4; ++r) {
      q.h[r] = 0.5 * (lanes.table.energy(i + r + 1) - lanes.table.energy(i + r));
      q.x[r] = lanes.x(i + r + 1);
      q.f[r] = lanes.table.row(i + r + 1) + 1;
      lanes.pair_values(i + r + 1, pairs + r * p);
    }
    second_segments4(k, q, m.centre, q.f[0], q.f[1], q.f[2], q.f[3], m.a, m.b, m.c, m.second,
                     m.third, m.fourth);
    second_segments4(p, q, m.centre + k, pairs, pairs + p, pairs + 2 * p, pairs + 3 * p,
                     at(m.a, k), at(m.b, k), at(m.c, k), at(m.second, k), at(m.third, k),
                     at(m.fourth, k));
  }
  for (; i + 1 < n; ++i) {
    const double half = 0.5 * (lanes.table.energy(i + 1) - lanes.table.energy(i));
    const double x = lanes.x(i + 1);
    lanes.pair_values(i + 1, pairs);
    second_segment(k, half, x, m.centre, lanes.table.row(i + 1) + 1, m.a, m.b, m.c, m.second,
                   m.third, m.fourth);
    second_segment(p, half, x, m.centre + k, pairs, at(m.a, k), at(m.b, k), at(m.c, k),
                   at(m.second, k), at(m.third, k), at(m.fourth, k));
  }
}

#undef PDSPLIT_LANES

void first_sweep_portable(const Lanes& lanes, const FirstSweep& m, double* pairs) {
  first_sweep(lanes, m, pairs);
}
void second_sweep_portable(const Lanes& lanes, const SecondSweep& m, double* pairs) {
  second_sweep(lanes, m, pairs);
}

#ifdef PDSPLIT_AVX2
// The same compiled for AVX2: four lanes at a time instead of two. AVX2
// alone, without FMA, so that no multiplication and addition are fused
// into one rounding.
__attribute__((target("avx2"))) void first_sweep_avx2(const Lanes& lanes, const FirstSweep& m,
                                                      double* pairs) {
  first_sweep(lanes, m, pairs);
}
__attribute__((target("avx2"))) void second_sweep_avx2(const Lanes& lanes, const SecondSweep& m,
                                                       double* pairs) {
  second_sweep(lanes, m, pairs);
}
#endif

std::vector<Moments> all_moments(TableView table,
                                 const std::vector<std::pair<std::size_t, std::size_t>>& pairs,
                                 double efermi, NumberPath path) {
  std::size_t k = static_cast<std::size_t>(extent(table.k)), n = table.rows();
  Lanes lanes{table, pairs, efermi, k, k + pairs.size()};
  std::size_t count = lanes.count;
  std::vector<Moments> out(count);
  if (n < 2) {
    for (Moments& m : out) {
      m.integral = 0;
      m.filling = m.centre = m.width = m.skewness = m.kurtosis = kNaN;
    }
    return out;
  }
  bool avx2 = false;
#ifdef PDSPLIT_AVX2
  avx2 = path == NumberPath::Fastest && has_avx2();
#endif
  std::vector<double> memory(12 * count + 4 * pairs.size(), 0.0);
  double* next = memory.data();
  auto take = [&] {
    double* a = next;
    next += count;
    return a;
  };
  FirstSweep first{take(), take(), take(), take(), take()};
  SecondSweep second{nullptr, take(), take(), take(), take(), take(), take()};
  double* centre = take();
  second.centre = centre;
  double* pair_row = next;
#ifdef PDSPLIT_AVX2
  if (avx2)
    first_sweep_avx2(lanes, first, pair_row);
  else
#endif
    first_sweep_portable(lanes, first, pair_row);
  for (std::size_t s = 0; s < count; ++s) {
    Moments& m = out[s];
    double integral = first.integral[s];
    m.integral = integral;
    if (!(integral > 0)) {
      m.filling = m.centre = m.width = m.skewness = m.kurtosis = kNaN;
      continue;
    }
    m.filling = first.below[s] / integral;
    m.centre = first.first[s] / integral;
    centre[s] = m.centre;
  }
#ifdef PDSPLIT_AVX2
  if (avx2)
    second_sweep_avx2(lanes, second, pair_row);
  else
#endif
    second_sweep_portable(lanes, second, pair_row);
  for (std::size_t s = 0; s < count; ++s) {
    Moments& m = out[s];
    if (!(m.integral > 0)) continue;
    double variance = second.second[s] / m.integral;
    m.width = variance >= 0 ? std::sqrt(variance) : kNaN;
    if (!(m.width > 0)) {
      m.skewness = m.kurtosis = kNaN;
      continue;
    }
    double w2 = m.width * m.width;
    m.skewness = second.third[s] / m.integral / (w2 * m.width);
    m.kurtosis = second.fourth[s] / m.integral / (w2 * w2);
  }
  return out;
}

}  // namespace

std::vector<NamedMoments> table_moments(const ColumnPlan& plan, TableView table, double efermi,
                                        NumberPath path) {
  if (static_cast<std::size_t>(extent(table.k)) != plan.size())
    throw std::invalid_argument("moments: the table does not have the plan's columns");
  // Which results make the rows, in order: column j + 1 is result j, the
  // q-th up+down pair result K + q.
  std::vector<std::string> names;
  std::vector<std::size_t> results;
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t j = 0; j < plan.size(); ++j) {
    Component component = plan[j].component;
    bool magnetisation =
        component == Component::Mx || component == Component::My || component == Component::Mz;
    if (magnetisation) continue;
    names.push_back(plan[j].name());
    results.push_back(j);
    bool pair = j > 0 && component == Component::Down &&
                plan[j - 1].component == Component::Up && plan[j - 1].group == plan[j].group;
    if (pair) {
      names.push_back(plan[j - 1].group + "_up+down");
      results.push_back(plan.size() + pairs.size());
      pairs.push_back({j, j + 1});
    }
  }
  std::vector<Moments> moments = all_moments(table, pairs, efermi, path);
  std::vector<NamedMoments> rows;
  for (std::size_t r = 0; r < names.size(); ++r)
    rows.push_back({std::move(names[r]), moments[results[r]]});
  return rows;
}

std::string format_moment(double x) {
  if (std::isnan(x)) return "nan";
  // Enough for "%.6f" of any double: 309 integer digits, sign, point, 6 decimals.
  char buffer[330];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, 6);
  if (error != std::errc()) throw std::logic_error("format_moment: buffer too small");
  return std::string(buffer, end);
}

std::string format_moments_row(std::string_view name, const Moments& m) {
  std::string line(name);
  for (double x : {m.integral, m.filling, m.centre, m.width, m.skewness, m.kurtosis}) {
    line += ' ';
    line += format_moment(x);
  }
  return line;
}

std::string moments_header() { return "# column integral filling centre width skewness kurtosis"; }

Table running_integral(TableView table) {
  Table out(table.ngrid, table.k);
  std::size_t width = table.width();
  for (std::size_t i = 0; i < table.rows(); ++i) {
    const double* in = table.row(i);
    double* row = out.row(i);
    row[0] = in[0];
    if (i == 0) {
      for (std::size_t c = 1; c < width; ++c) row[c] = 0;
      continue;
    }
    const double* previous_in = table.row(i - 1);
    const double* previous = out.row(i - 1);
    for (std::size_t c = 1; c < width; ++c)
      row[c] = previous[c] + trapezoid(previous_in[0], in[0], previous_in[c], in[c]);
  }
  return out;
}

}  // namespace pdsplit
