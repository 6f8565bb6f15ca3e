#include "modes/table_options.h"

#include <cstring>
#include <optional>
#include <utility>

#include "base/failure.h"
#include "modes/broadening.h"
#include "modes/moments.h"
#include "modes/shape.h"
#include "output/writedos.h"

namespace pdsplit {

namespace {

Grouping grouping_of(std::optional<Orbitals> orbitals) {
  switch (orbitals.value_or(Orbitals::Lm)) {
    case Orbitals::Lm: return Grouping::Lm;
    case Orbitals::L: return Grouping::L;
    case Orbitals::DSplit: return Grouping::DSplit;
    case Orbitals::Sum: return Grouping::Sum;
  }
  return Grouping::Lm;
}

// Every column as it is, for files whose columns have no known meaning and
// options that need none.
ColumnPlan identity_plan(std::int32_t k) {
  ColumnPlan plan;
  for (std::int32_t j = 1; j <= k; ++j) {
    PlannedColumn column;
    column.group = std::string(1, 'c').append(std::to_string(j));
    column.inputs = {j};
    plan.push_back(std::move(column));
  }
  return plan;
}

bool is_dos(const PlannedColumn& column) { return column.group == "DOS"; }

class TableOptions : public TableTransform {
 public:
  TableOptions(const Settings& settings, const Header& h, bool shifted, bool total,
               Console& console)
      : settings_(settings), efermi_(h.efermi), shifted_(shifted), total_(total),
        console_(console) {
    if (!total) layout_ = column_layout(h);
  }

  std::vector<TableFile> files(const std::string& FILENAME, double shift, const double* data,
                               std::int32_t ngrid, std::int32_t k) override {
    TableView raw{data, ngrid, k};
    ColumnPlan plan = plan_for(k);
    // Which of the raw and the shaped columns the broadening, integration
    // and moments take (for -t only the DOS columns; the plan keeps them
    // in place).
    auto keeps = [&](std::int32_t j) { return total_ && !is_dos(plan[j - 1]); };

    // (1) broadening over the whole grid.
    Table work;
    if (settings_.gaussian) {
      work = broaden_table(raw, *settings_.gaussian);
      restore(work, raw, keeps);
      raw = work.view();
    }
    // (2) grouping.
    Table shaped = shape_table(plan, raw);
    // (4, checked first) the window's rows.
    Table cut;
    TableView rows = shaped.view();
    if (settings_.window_min || settings_.window_max) {
      EnergyWindow window{settings_.window_min, settings_.window_max};
      cut = cut_to_window(rows, shift, window);
      if (cut.ngrid < 2)
        throw Failure(Failure::Report::StderrLine, kExitUsage,
                      "Error! --window leaves fewer than 2 rows of the table " + FILENAME);
      rows = cut.view();
    }
    std::vector<TableFile> made(1);
    made[0].name = FILENAME;
    // (3) moments over the window's rows.
    if (settings_.moments) made.push_back(moments_file(FILENAME, plan, rows));
    // (5) running integral.
    Table out;
    if (settings_.cumulative) {
      out = running_integral(rows);
      restore(out, rows, keeps);
    } else {
      out = copy_of(rows);
    }
    // (6) spin-down below zero, in the written table only.
    if (settings_.down_negative) negate_down_columns(plan, out);
    // (7) the text.
    std::string& text = made[0].text;
    if (settings_.header) text = header_line(plan, shifted_) + '\n';
    std::size_t head = text.size();
    text.resize(head + table_text_size(out.ngrid, out.k));
    format_table(shift, out.data(), out.ngrid, out.k, text.data() + head);
    return made;
  }

 private:
  ColumnPlan plan_for(std::int32_t k) const {
    if (total_) return total_dos_plan(k);
    bool meaning = settings_.orbitals || settings_.header || settings_.down_negative ||
                   settings_.moments;
    if (!layout_ || value_columns(*layout_) != k) {
      if (meaning)
        throw stop_with_message("Error! The columns of DOSCAR's projected lines are of no "
                                "known kind: --orbitals, --header, --down-negative and "
                                "--moments cannot name them");
      return identity_plan(k);
    }
    return plan_columns(*layout_, grouping_of(settings_.orbitals));
  }

  // Puts back in `table` the columns `keeps` names, as `from` holds them.
  template <class Keeps>
  static void restore(Table& table, TableView from, Keeps keeps) {
    for (std::int32_t j = 1; j <= table.k; ++j)
      if (keeps(j))
        for (std::size_t i = 0; i < table.rows(); ++i) table.row(i)[j] = from.row(i)[j];
  }

  static Table copy_of(TableView view) {
    Table copy(view.ngrid, view.k);
    if (view.size() != 0) std::memcpy(copy.data(), view.data, view.size() * sizeof(double));
    return copy;
  }

  TableFile moments_file(const std::string& FILENAME, const ColumnPlan& plan, TableView rows) {
    std::vector<NamedMoments> moments;
    if (total_) {
      // The DOS columns alone, each a column of a table of its own.
      ColumnPlan dos;
      for (std::size_t j = 0; j < plan.size(); ++j)
        if (is_dos(plan[j])) {
          dos.push_back(plan[j]);
          dos.back().inputs = {static_cast<std::int32_t>(j + 1)};
        }
      Table only = shape_table(dos, rows);
      moments = table_moments(dos, only.view(), efermi_);
    } else {
      moments = table_moments(plan, rows, efermi_);
    }
    TableFile file{FILENAME + ".moments", moments_header() + '\n'};
    console_.line("Moments of " + FILENAME + ":");
    console_.line(moments_header());
    for (const NamedMoments& m : moments) {
      std::string row = format_moments_row(m.name, m.moments);
      console_.line(row);
      file.text += row + '\n';
    }
    return file;
  }

  Settings settings_;
  double efermi_;
  bool shifted_;
  bool total_;
  Console& console_;
  std::optional<ColumnLayout> layout_;
};

}  // namespace

std::unique_ptr<TableTransform> table_options(const Settings& settings, const Header& h,
                                              bool shifted, bool total,
                                              Console& console) {
  bool any = settings.orbitals || settings.header || settings.down_negative ||
             settings.window_min || settings.window_max || settings.moments ||
             settings.gaussian || settings.cumulative;
  if (!any) return nullptr;
  return std::make_unique<TableOptions>(settings, h, shifted, total, console);
}

}  // namespace pdsplit
