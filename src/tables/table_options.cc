#include "tables/table_options.h"

#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/failure.h"
#include "tables/broadening.h"
#include "tables/moments.h"
#include "tables/shape.h"
#include "output/writedos.h"

namespace pdsplit {

namespace {

bool is_dos(const PlannedColumn& column) { return column.group == "DOS"; }

// Whether value column j + 1 of the shaped table is column j + 1 of a
// table of `k` value columns, for every j: shaping would copy the table.
bool takes_columns_as_they_are(const ColumnPlan& plan, std::int32_t k) {
  if (plan.size() != static_cast<std::size_t>(extent(k))) return false;
  for (std::size_t j = 0; j < plan.size(); ++j)
    if (plan[j].inputs != std::vector<std::int32_t>{static_cast<std::int32_t>(j + 1)}) return false;
  return true;
}

class TableOptions : public TableTransform {
 public:
  TableOptions(const Settings& settings, const Header& h, bool shifted, bool total,
               Console& console)
      : settings_(settings), efermi_(h.efermi), shifted_(shifted), total_(total),
        console_(console) {
    if (!total) layout_ = column_layout(h);
    // The plan of a projected table of the header's layout, made once: -a
    // asks for it for every atom. One that cannot be made (d-split of an
    // l-projected file) fails at the first table, as before the plan was
    // kept, once the file has been read.
    if (layout_) {
      try {
        projected_ = plan_columns(*layout_, settings_.orbitals.value_or(Orbitals::Lm));
      } catch (const Failure&) {
        projected_.clear();
      }
    }
  }

  TransformedTable transform(const std::string& FILENAME, double shift, const double* data,
                             std::int32_t ngrid, std::int32_t k,
                             std::vector<std::string>* lines) const override {
    TableView raw{data, ngrid, k};
    ColumnPlan other;
    const ColumnPlan& plan = plan_for(k, other);
    // Which of the raw and the shaped columns the broadening, integration
    // and moments take (for -t only the DOS columns; the plan keeps them
    // in place).
    auto keeps = [&](std::int32_t j) { return total_ && !is_dos(plan[j - 1]); };
    // The tables made here, kept with the one written (which may be any
    // of them, or the table given).
    auto tables = std::make_shared<Tables>();

    // (1) broadening over the whole grid.
    if (settings_.gaussian) {
      tables->broadened = broaden_table(raw, *settings_.gaussian);
      restore(tables->broadened, raw, keeps);
      raw = tables->broadened.view();
    }
    // (2) grouping; a plan that takes every column as it is needs no copy.
    TableView rows = raw;
    if (!takes_columns_as_they_are(plan, raw.k)) {
      tables->shaped = shape_table(plan, raw);
      rows = tables->shaped.view();
    }
    // (4, checked first) the window's rows.
    if (settings_.window_min || settings_.window_max) {
      EnergyWindow window{settings_.window_min, settings_.window_max};
      tables->cut = cut_to_window(rows, shift, window);
      if (tables->cut.ngrid < 2)
        throw Failure(Failure::Report::StderrLine, kExitUsage,
                      "Error! --window leaves fewer than 2 rows of the table " + FILENAME);
      rows = tables->cut.view();
    }
    TransformedTable made;
    // (3) moments over the window's rows; when those are the rows written,
    // taken as the writer formats them (see MomentsFollower).
    if (settings_.moments) {
      if (!total_ && !settings_.cumulative && !settings_.down_negative)
        made.follower = std::make_unique<MomentsFollower>(*this, FILENAME, plan, rows);
      else
        made.beside.push_back(moments_file(FILENAME, plan, rows, lines));
    }
    // (5) running integral.
    TableView written = rows;
    Table& out = tables->out;
    if (settings_.cumulative) {
      out = running_integral(rows);
      restore(out, rows, keeps);
      written = out.view();
    }
    // (6) spin-down below zero, in the written table only.
    if (settings_.down_negative) {
      if (!settings_.cumulative) out = copy_of(rows);
      negate_down_columns(plan, out);
      written = out.view();
    }
    // (7) the header line; the writer formats the table.
    if (settings_.header) made.head = header_line(plan, shifted_) + '\n';
    made.table = written.data;
    made.ngrid = written.ngrid;
    made.k = written.k;
    made.kept = std::move(tables);
    return made;
  }

  void print(const std::vector<std::string>& lines) const override {
    for (const std::string& line : lines) console_.line(line);
  }

 private:
  // The tables a transform makes, kept while the table written is.
  struct Tables {
    Table broadened, shaped, cut, out;
  };

  // The plan of a table of k value columns: the one made for the layout,
  // or one made in `other`. The header reader refuses a file whose
  // projected lines are of no known kind, so a projected table has the
  // layout's columns.
  const ColumnPlan& plan_for(std::int32_t k, ColumnPlan& other) const {
    if (total_) return other = total_dos_plan(k);
    if (projected_.empty())
      return other = plan_columns(*layout_, settings_.orbitals.value_or(Orbitals::Lm));
    return projected_;
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

  TableFile moments_file(const std::string& FILENAME, const ColumnPlan& plan, TableView rows,
                         std::vector<std::string>* lines) const {
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
    return moments_text(FILENAME, moments, lines);
  }

  // The moments file of `moments`, and their console lines, printed or
  // added to `lines`.
  TableFile moments_text(const std::string& FILENAME, const std::vector<NamedMoments>& moments,
                         std::vector<std::string>* lines) const {
    TableFile file{FILENAME + ".moments", moments_header() + '\n'};
    auto line = [&](std::string text) {
      if (lines == nullptr)
        console_.line(text);
      else
        lines->push_back(std::move(text));
    };
    line("Moments of " + FILENAME + ":");
    line(moments_header());
    file.text.reserve(file.text.size() + 96 * moments.size());
    for (const NamedMoments& m : moments) {
      std::string row = format_moments_row(m.name, m.moments);
      file.text += row;
      file.text += '\n';
      line(std::move(row));
    }
    return file;
  }

  // The moments of a table that is written as it is: its rows taken as
  // the writer formats them, which reads each row from memory once for
  // both. On a table of a few MB (-a), that is what the moments cost.
  class MomentsFollower : public RowFollower {
   public:
    MomentsFollower(const TableOptions& options, std::string FILENAME, const ColumnPlan& plan,
                    TableView rows)
        : options_(options), FILENAME_(std::move(FILENAME)),
          moments_(plan, rows, options.efermi_) {}
    void rows(std::size_t end) override { moments_.add_rows(end); }
    std::vector<TableFile> finish(std::vector<std::string>* lines) override {
      return {options_.moments_text(FILENAME_, moments_.finish(), lines)};
    }

   private:
    const TableOptions& options_;
    std::string FILENAME_;
    TableMoments moments_;
  };

  Settings settings_;
  double efermi_;
  bool shifted_;
  bool total_;
  Console& console_;
  std::optional<ColumnLayout> layout_;
  ColumnPlan projected_;
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
