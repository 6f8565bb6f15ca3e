#include "tables/shape.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>
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

std::vector<Group> groups_of(const ColumnLayout& layout, Grouping grouping) {
  int count = orbitals(layout);
  bool lm = layout.projection == Projection::LM;
  std::vector<Group> groups;
  switch (grouping) {
    case Grouping::Lm:
      for (int o = 0; o < count; ++o)
        groups.push_back({lm ? kLmNames[static_cast<std::size_t>(o)] : kLNames[static_cast<std::size_t>(o)], {o}});
      return groups;
    case Grouping::L:
      if (lm) {
        groups = {{"s", {kLmS}}, {"p", range_of(1, 4)}, {"d", range_of(4, 9)}};
        if (layout.f) groups.push_back({"f", range_of(9, 16)});
      } else {
        for (int o = 0; o < count; ++o) groups.push_back({kLNames[static_cast<std::size_t>(o)], {o}});
      }
      break;
    case Grouping::DSplit:
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
    case Grouping::Sum:
      break;
  }
  groups.push_back({"total", range_of(0, count)});
  return groups;
}

}  // namespace

int components(Spin spin) {
  switch (spin) {
    case Spin::None: return 1;
    case Spin::Polarised: return 2;
    case Spin::NonCollinear: return 4;
  }
  return 1;
}

int orbitals(const ColumnLayout& layout) {
  if (layout.projection == Projection::LM) return layout.f ? 16 : 9;
  return layout.f ? 4 : 3;
}

std::int32_t value_columns(const ColumnLayout& layout) {
  return orbitals(layout) * components(layout.spin);
}

std::optional<ColumnLayout> column_layout(std::int32_t npcol, std::int32_t ntcol,
                                          bool noncollinear) {
  ColumnLayout layout;
  if (noncollinear)
    layout.spin = Spin::NonCollinear;
  else if (ntcol == 4)
    layout.spin = Spin::Polarised;
  else if (ntcol == 2)
    layout.spin = Spin::None;
  else
    return std::nullopt;
  int per_orbital = components(layout.spin);
  if (npcol <= 0 || npcol % per_orbital != 0) return std::nullopt;
  switch (npcol / per_orbital) {
    case 3: layout.projection = Projection::L; layout.f = false; return layout;
    case 4: layout.projection = Projection::L; layout.f = true; return layout;
    case 9: layout.projection = Projection::LM; layout.f = false; return layout;
    case 16: layout.projection = Projection::LM; layout.f = true; return layout;
    default: return std::nullopt;
  }
}

std::optional<ColumnLayout> column_layout(const Header& header) {
  if (!header.projected) return std::nullopt;
  return column_layout(header.npcol, header.ntcol, header.noncollinear);
}

std::optional<Grouping> parse_grouping(std::string_view word) {
  if (word == "lm") return Grouping::Lm;
  if (word == "l") return Grouping::L;
  if (word == "d-split") return Grouping::DSplit;
  if (word == "sum") return Grouping::Sum;
  return std::nullopt;
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

ColumnPlan plan_columns(const ColumnLayout& layout, Grouping grouping) {
  int per_orbital = components(layout.spin);
  ColumnPlan plan;
  for (const Group& group : groups_of(layout, grouping)) {
    for (int c = 0; c < per_orbital; ++c) {
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

ColumnPlan total_dos_plan(std::int32_t ntcol) {
  if (ntcol == 2) return {{"DOS", Component::None, {1}, false}, {"IDOS", Component::None, {2}, false}};
  if (ntcol == 4)
    return {{"DOS", Component::Up, {1}, false},
            {"DOS", Component::Down, {2}, true},
            {"IDOS", Component::Up, {3}, false},
            {"IDOS", Component::Down, {4}, false}};
  throw stop_with_message("Error! A total-DOS table holds 2 or 4 values a line, not " +
                          std::to_string(ntcol));
}

Table shape_table(const ColumnPlan& plan, TableView table) {
  for (const PlannedColumn& column : plan) {
    if (column.inputs.empty()) throw std::invalid_argument("column " + column.name() + " adds nothing");
    for (std::int32_t input : column.inputs)
      if (input < 1 || input > table.k)
        throw std::invalid_argument("column " + column.name() + " adds column " +
                                    std::to_string(input) + " of a table of " +
                                    std::to_string(table.k));
  }
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
  if (static_cast<std::size_t>(extent(table.k)) != plan.size())
    throw std::invalid_argument("the table does not have the plan's columns");
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

std::string header_line(const ColumnLayout& layout, Grouping grouping, bool shifted) {
  return header_line(plan_columns(layout, grouping), shifted);
}

namespace {

// A finite number filling the whole of `text`, a leading '+' allowed.
std::optional<double> whole_number(std::string_view text) {
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

}  // namespace

std::optional<EnergyWindow> parse_window(std::string_view text) {
  std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos)
    return std::nullopt;
  EnergyWindow window;
  std::string_view low = text.substr(0, colon), high = text.substr(colon + 1);
  if (!low.empty()) {
    window.low = whole_number(low);
    if (!window.low) return std::nullopt;
  }
  if (!high.empty()) {
    window.high = whole_number(high);
    if (!window.high) return std::nullopt;
  }
  if (window.low && window.high && *window.low > *window.high) return std::nullopt;
  return window;
}

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

bool in_window(const EnergyWindow& window, double written) {
  if (window.low && !(written >= *window.low)) return false;
  if (window.high && !(written <= *window.high)) return false;
  return true;
}

std::vector<std::size_t> window_rows(TableView table, double shift, const EnergyWindow& window) {
  std::vector<std::size_t> rows;
  for (std::size_t i = 0; i < table.rows(); ++i)
    if (in_window(window, written_energy(table.energy(i), shift))) rows.push_back(i);
  return rows;
}

Table cut_to_window(TableView table, double shift, const EnergyWindow& window) {
  std::vector<std::size_t> rows = window_rows(table, shift, window);
  Table out(static_cast<std::int32_t>(rows.size()), table.k);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const double* in = table.row(rows[r]);
    std::copy(in, in + table.width(), out.row(r));
  }
  return out;
}

}  // namespace pdsplit
