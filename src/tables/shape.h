// Table shaping: which columns a projected table has, how the options
// --orbitals, --spin, --header, --down-negative and --window change its columns
// and rows.
//
// A file's columns are described by a ColumnLayout (spin, projection, f
// orbitals); a grouping turns it into a ColumnPlan, one PlannedColumn per
// output column (its name, the input columns added to make it, whether it
// is a spin-down DOS column); shape_table applies a plan to a table.
//
// Column names: the orbital or group ("s", "py", "dx2-y2", "f-3", "p",
// "t2g", "eg", "total"), then the component: "_up" and "_down" in
// spin-polarised files; in non-collinear files the total component has no
// suffix ("s") and the magnetisation components "_mx", "_my", "_mz"
// ("s_mx"). Files without spin have no suffix. The sum over all orbitals is
// called "total". Total-DOS tables: "DOS IDOS", or "DOS_up DOS_down IDOS_up
// IDOS_down".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/settings.h"
#include "doscar/header.h"
#include "tables/table_view.h"

namespace pdsplit {

enum class Spin { None, Polarised, NonCollinear };
enum class Projection { L, LM };  // l-projected (s p d [f]) or l,m-projected

struct ColumnLayout {
  Spin spin = Spin::None;
  Projection projection = Projection::LM;
  bool f = false;  // f orbitals present
};

// The layout of the projected lines of a file of this header, as the
// header reader judged it from the values of its projected and total-DOS
// lines; nothing for a file without projections.
std::optional<ColumnLayout> column_layout(const Header& header);

// What an output column holds of its orbitals' values: no spin (None), one
// spin channel (Up, Down), or one non-collinear component (Total, Mx, My,
// Mz).
enum class Component { None, Up, Down, Total, Mx, My, Mz };
// "", "_up", "_down", "" (Total), "_mx", "_my", "_mz".
std::string_view component_suffix(Component component);

struct PlannedColumn {
  std::string group;            // "s", "dxy", "t2g", "total", "DOS", ...
  Component component = Component::None;
  std::vector<std::int32_t> inputs;  // table columns (1..K) added, in this order
  bool spin_down = false;       // a spin-down DOS column (--down-negative flips it)

  std::string name() const { return group + std::string(component_suffix(component)); }
};

using ColumnPlan = std::vector<PlannedColumn>;

// The output columns of a projected table of `layout` grouped as --orbitals
// asks, in order: for each orbital or group, its components in DOSCAR's
// order.
//   Lm:     every column as it is.
//   L:      s p d [f] (the m-components of each l summed), then total;
//           for l-projected files the columns as they are, then total.
//   DSplit: s p t2g (dxy dyz dxz) eg (dz2 dx2-y2) [f] total; l,m-projected
//           files only: a Failure for an l-projected one.
//   Sum:    total alone.
// With `spin` (spin-polarised layouts), each orbital or group has one
// column instead of its two: the sum of both channels (no suffix), or the
// one channel chosen.
// Every sum adds its inputs in the file's column order.
ColumnPlan plan_columns(const ColumnLayout& layout, Orbitals grouping,
                        std::optional<SpinChannels> spin = std::nullopt);

// The columns of a total-DOS table (-t) of `ntcol` values (2 or 4, as the
// header reader takes them): DOS IDOS, or DOS_up DOS_down IDOS_up IDOS_down, of
// which only DOS_down is a spin-down DOS column (integrated DOS keeps its
// sign); with `spin` (4 values), DOS IDOS of both channels summed, or the
// DOS and IDOS of the one channel chosen.
ColumnPlan total_dos_plan(std::int32_t ntcol, std::optional<SpinChannels> spin = std::nullopt);

// A new table of the same energies and one value column per planned
// column: the sum of its inputs, in double precision, from the first input
// on in the plan's order (a plan made for a table of these columns).
Table shape_table(const ColumnPlan& plan, TableView table);

// --down-negative: flips the sign of every spin-down DOS column of `table`
// (which has one value column per planned column). Made for the written
// table only: moments and broadening take the values as they are.
void negate_down_columns(const ColumnPlan& plan, Table& table);

// --header: "# E-EF name1 name2 ...", or "# E ..." when energies are not
// shifted; names separated by one blank, no line end.
std::string header_line(const ColumnPlan& plan, bool shifted);

// --window=EMIN:EMAX; either end may be absent.
struct EnergyWindow {
  std::optional<double> low, high;
};

// The table cut to the rows, in order, whose written energy lies in the
// window: the energy lowered by `shift` as the table writer writes it (3
// decimals, correctly rounded, "-0.000" written as 0.000), read back, in
// [low, high], both ends inclusive, an absent end unbounded; an energy too
// wide for the writer's field is taken unrounded. Fewer than 2 rows
// inside is for the caller to report (check the result's ngrid).
Table cut_to_window(TableView table, double shift, const EnergyWindow& window);

}  // namespace pdsplit
