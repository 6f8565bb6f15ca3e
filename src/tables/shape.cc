#include "tables/shape.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

#include "base/failure.h"
#include "output/format.h"

namespace pdsplit {

namespace {

// Orbital names in DOSCAR's column order.
constexpr std::array<std::string_view, 16> kLmNames = {
    "s", "py", "pz", "px", "dxy", "dyz", "dz2", "dxz", "dx2-y2",
    "f-3", "f-2", "f-1", "f0", "f1", "f2", "f3"};
constexpr std::array<std::string_view, 4> kLNames = {"s", "p", "d", "f"};

// Orbital indices (0-based, DOSCAR's order) of the l,m-projected groups.
constexpr int kLmS = 0, kLmDxy = 4, kLmDyz = 5, kLmDz2 = 6, kLmDxz = 7, kLmDx2y2 = 8;

struct Group {
  std::string_view name;
  std::vector<int> orbitals;  // in DOSCAR's order
};

std::vector<int> range_of(int first, int last) {  // [first, last)
  std::vector<int> v;
  for (int o = first; o < last; ++o) v.push_back(o);
  return v;
}

// Values per orbital: 1 without spin, 2 (up, down), 4 (total, mx, my, mz).
int components(Spin spin) {
  switch (spin) {
    case Spin::None: return 1;
    case Spin::Polarised: return 2;
    case Spin::NonCollinear: return 4;
  }
  return 1;
}

// Orbitals per grid point: 3 or 4 (l), 9 or 16 (l,m).
int orbitals(const ColumnLayout& layout) {
  if (layout.projection == Projection::LM) return layout.f ? 16 : 9;
  return layout.f ? 4 : 3;
}

Component component_at(Spin spin, int c) {
  switch (spin) {
    case Spin::None: return Component::None;
    case Spin::Polarised: return c == 0 ? Component::Up : Component::Down;
    case Spin::NonCollinear: break;
  }
  constexpr std::array<Component, 4> kNonCollinear = {Component::Total, Component::Mx,
                                                      Component::My, Component::Mz};
  return kNonCollinear[static_cast<std::size_t>(c)];
}

std::vector<Group> groups_of(const ColumnLayout& layout, Orbitals grouping) {
  int count = orbitals(layout);
  bool lm = layout.projection == Projection::LM;
  std::vector<Group> groups;
  switch (grouping) {
    case Orbitals::Lm:
      for (int o = 0; o < count; ++o)
        groups.push_back({lm ? kLmNames[static_cast<std::size_t>(o)] : kLNames[static_cast<std::size_t>(o)], {o}});
      return groups;
    case Orbitals::L:
      if (lm) {
        groups = {{"s", {kLmS}}, {"p", range_of(1, 4)}, {"d", range_of(4, 9)}};
        if (layout.f) groups.push_back({"f", range_of(9, 16)});
      } else {
        for (int o = 0; o < count; ++o) groups.push_back({kLNames[static_cast<std::size_t>(o)], {o}});
      }
      break;
    case Orbitals::DSplit:
      if (!lm)
        throw stop_with_message(
            "Error! --orbitals=d-split needs an l,m-projected DOSCAR (LORBIT = 11); "
            "this one is l-projected");
      groups = {{"s", {kLmS}},
                {"p", range_of(1, 4)},
                {"t2g", {kLmDxy, kLmDyz, kLmDxz}},
                {"eg", {kLmDz2, kLmDx2y2}}};
      if (layout.f) groups.push_back({"f", range_of(9, 16)});
      break;
    case Orbitals::Sum:
      break;
  }
  groups.push_back({"total", range_of(0, count)});
  return groups;
}

}  // namespace

std::optional<ColumnLayout> column_layout(const Header& header) {
  if (!header.projected) return std::nullopt;
  ColumnLayout layout;
  layout.spin = header.noncollinear ? Spin::NonCollinear
                : header.ntcol == 4 ? Spin::Polarised
                                    : Spin::None;
  layout.projection = header.lm ? Projection::LM : Projection::L;
  layout.f = header.f;
  return layout;
}

std::string_view component_suffix(Component component) {
  switch (component) {
    case Component::None: return "";
    case Component::Up: return "_up";
    case Component::Down: return "_down";
    case Component::Total: return "";
    case Component::Mx: return "_mx";
    case Component::My: return "_my";
    case Component::Mz: return "_mz";
  }
  return "";
}

ColumnPlan plan_columns(const ColumnLayout& layout, Orbitals grouping,
                        std::optional<SpinChannels> spin) {
  int per_orbital = components(layout.spin);
  // Channels are chosen in spin-polarised layouts only.
  bool polarised = layout.spin == Spin::Polarised && spin.has_value();
  bool sum = polarised && *spin == SpinChannels::Sum;
  int only = !polarised || sum ? -1 : *spin == SpinChannels::Up ? 0 : 1;
  ColumnPlan plan;
  for (const Group& group : groups_of(layout, grouping)) {
    if (sum) {
      // Both channels of every orbital, in the file's column order.
      PlannedColumn column{std::string(group.name), Component::None, {}, false};
      for (int o : group.orbitals) column.inputs.insert(column.inputs.end(), {1 + 2 * o, 2 + 2 * o});
      plan.push_back(std::move(column));
      continue;
    }
    for (int c = 0; c < per_orbital; ++c) {
      if (only >= 0 && c != only) continue;
      PlannedColumn column;
      column.group = std::string(group.name);
      column.component = component_at(layout.spin, c);
      column.spin_down = column.component == Component::Down;
      for (int o : group.orbitals) column.inputs.push_back(1 + o * per_orbital + c);
      plan.push_back(std::move(column));
    }
  }
  return plan;
}

ColumnPlan total_dos_plan(std::int32_t ntcol, std::optional<SpinChannels> spin) {
  if (ntcol == 2) return {{"DOS", Component::None, {1}, false}, {"IDOS", Component::None, {2}, false}};
  if (spin == SpinChannels::Sum)
    return {{"DOS", Component::None, {1, 2}, false}, {"IDOS", Component::None, {3, 4}, false}};
  if (spin == SpinChannels::Up) return {{"DOS", Component::Up, {1}, false}, {"IDOS", Component::Up, {3}, false}};
  if (spin == SpinChannels::Down)
    return {{"DOS", Component::Down, {2}, true}, {"IDOS", Component::Down, {4}, false}};
  return {{"DOS", Component::Up, {1}, false},
          {"DOS", Component::Down, {2}, true},
          {"IDOS", Component::Up, {3}, false},
          {"IDOS", Component::Down, {4}, false}};
}

Table shape_table(const ColumnPlan& plan, TableView table) {
  Table out(table.ngrid, static_cast<std::int32_t>(plan.size()));
  for (std::size_t i = 0; i < table.rows(); ++i) {
    const double* in = table.row(i);
    double* row = out.row(i);
    row[0] = in[0];
    for (std::size_t c = 0; c < plan.size(); ++c) {
      const std::vector<std::int32_t>& inputs = plan[c].inputs;
      double sum = in[inputs[0]];
      for (std::size_t n = 1; n < inputs.size(); ++n) sum += in[inputs[n]];
      row[c + 1] = sum;
    }
  }
  return out;
}

void negate_down_columns(const ColumnPlan& plan, Table& table) {
  for (std::size_t i = 0; i < table.rows(); ++i) {
    double* row = table.row(i);
    for (std::size_t c = 0; c < plan.size(); ++c)
      if (plan[c].spin_down) row[c + 1] = -row[c + 1];
  }
}

std::string header_line(const ColumnPlan& plan, bool shifted) {
  std::string line = shifted ? "# E-EF" : "# E";
  for (const PlannedColumn& column : plan) {
    line += ' ';
    line += column.name();
  }
  return line;
}

namespace {

// The energy the table writer writes for `energy` lowered by `shift`, read
// back as a double; energies too wide for the writer's field, infinite or
// NaN come back unrounded.
double written_energy(double energy, double shift) {
  double x = energy - shift;
  if (!std::isfinite(x)) return x;
  char field[kEnergyWidth];
  format_energy(x, field);
  std::string_view text(field, kEnergyWidth);
  text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return x;
  return value;
}

// Whether a written energy lies in the window. NaN lies only in the window
// with no ends.
bool in_window(const EnergyWindow& window, double written) {
  if (window.low && !(written >= *window.low)) return false;
  if (window.high && !(written <= *window.high)) return false;
  return true;
}

}  // namespace

Table cut_to_window(TableView table, double shift, const EnergyWindow& window) {
  std::vector<std::size_t> rows;
  for (std::size_t i = 0; i < table.rows(); ++i)
    if (in_window(window, written_energy(table.energy(i), shift))) rows.push_back(i);
  Table out(static_cast<std::int32_t>(rows.size()), table.k);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const double* in = table.row(rows[r]);
    std::copy(in, in + table.width(), out.row(r));
  }
  return out;
}

}  // namespace pdsplit
