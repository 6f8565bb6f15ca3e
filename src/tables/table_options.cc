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

Table copy_of(TableView view) {
  Table copy(view.ngrid, view.k);
  if (view.size() != 0) std::memcpy(copy.data(), view.data, view.size() * sizeof(double));
  return copy;
}

// The options applied to each table, one step after the other in this
// order, each step doing nothing unless its option is given:
//   broaden       --gaussian, over the whole grid
//   group         --orbitals and --spin: one column per planned column
//   cut           --window: the rows whose written energy is inside
//   take_moments  --moments of the grouped columns over those rows
//   integrate     --cumulative
//   negate_down   --down-negative, in the written table only
//   name_columns  --header
// The plan of the columns is made before them all, so that one that
// cannot be made fails before any work. In a total-DOS table (-t) the
// integrated columns are taken as read by broaden and integrate, and
// take_moments gives moments of the DOS columns alone.
class TableOptions : public TableTransform {
 public:
  TableOptions(const Settings& settings, const Header& h, bool shifted, bool total,
               Console& console)
      : settings_(settings), efermi_(h.efermi), shifted_(shifted), total_(total),
        console_(console) {
    if (settings.gaussian) broadening_.emplace(*settings.gaussian);
    if (!total) layout_ = column_layout(h);
    // The plan of a projected table of the header's layout, made once: -a
    // asks for it for every atom. One that cannot be made (d-split of an
    // l-projected file) fails at the first table, as before the plan was
    // kept, once the file has been read.
    if (layout_) {
      try {
        projected_ = plan_columns(*layout_, grouping(), settings_.spin);
      } catch (const Failure&) {
        projected_.clear();
      }
    }
  }

  TransformedTable transform(const std::string& FILENAME, double shift, const double* data,
                             std::int32_t ngrid, std::int32_t k,
                             std::vector<std::string>* lines) const override {
    Pass pass(FILENAME, shift, lines);
    pass.plan = &plan_for(k, pass.other);
    pass.rows = {data, ngrid, k};
    broaden(pass);
    group(pass);
    cut(pass);
    take_moments(pass);
    integrate(pass);
    negate_down(pass);
    name_columns(pass);
    pass.made.table = pass.rows.data;
    pass.made.ngrid = pass.rows.ngrid;
    pass.made.k = pass.rows.k;
    pass.made.kept = std::move(pass.tables);
    return std::move(pass.made);
  }

  std::vector<std::string> names_beside(const std::string& FILENAME) const override {
    if (!settings_.moments) return {};
    return {FILENAME + ".moments"};
  }

  void print(const std::vector<std::string>& lines) const override {
    for (const std::string& line : lines) console_.line(line);
  }

 private:
  // The tables the steps make, kept while the table written is.
  struct Tables {
    Table broadened, shaped, cut, out;
  };

  // One table on its way through the steps.
  struct Pass {
    Pass(const std::string& FILENAME, double shift, std::vector<std::string>* lines)
        : FILENAME(FILENAME), shift(shift), lines(lines) {}
    const std::string& FILENAME;
    double shift;
    std::vector<std::string>* lines;
    const ColumnPlan* plan = nullptr;  // the layout's, or `other`
    ColumnPlan other;
    TableView rows;  // the table as the steps so far have made it
    std::shared_ptr<Tables> tables = std::make_shared<Tables>();
    TransformedTable made;
  };

  Orbitals grouping() const { return settings_.orbitals.value_or(Orbitals::Lm); }

  // The plan of a table of k value columns: the one made for the layout,
  // or one made in `other`. The header reader refuses a file whose
  // projected lines are of no known kind, so a projected table has the
  // layout's columns.
  const ColumnPlan& plan_for(std::int32_t k, ColumnPlan& other) const {
    if (total_) return other = total_dos_plan(k, settings_.spin);
    if (projected_.empty()) return other = plan_columns(*layout_, grouping(), settings_.spin);
    return projected_;
  }

  // Puts back in `table` the columns that are taken as read (the
  // integrated columns of a total-DOS table), as `from` holds them.
  void keep_integrated(Table& table, TableView from, const ColumnPlan& plan) const {
    if (!total_) return;
    for (std::int32_t j = 1; j <= table.k; ++j)
      if (!is_dos(plan[static_cast<std::size_t>(j - 1)]))
        for (std::size_t i = 0; i < table.rows(); ++i) table.row(i)[j] = from.row(i)[j];
  }

  void broaden(Pass& p) const {
    if (!broadening_) return;
    p.tables->broadened = broadening_->apply(p.rows);
    // The columns as read, before --spin chooses among them.
    if (total_) keep_integrated(p.tables->broadened, p.rows, total_dos_plan(p.rows.k));
    p.rows = p.tables->broadened.view();
  }

  // A plan that takes every column as it is needs no copy.
  void group(Pass& p) const {
    if (takes_columns_as_they_are(*p.plan, p.rows.k)) return;
    p.tables->shaped = shape_table(*p.plan, p.rows);
    p.rows = p.tables->shaped.view();
  }

  void cut(Pass& p) const {
    if (!settings_.window_min && !settings_.window_max) return;
    EnergyWindow window{settings_.window_min, settings_.window_max};
    p.tables->cut = cut_to_window(p.rows, p.shift, window);
    if (p.tables->cut.ngrid < 2)
      throw Failure(Failure::Report::StderrLine, kExitUsage,
                    "Error! --window leaves fewer than 2 rows of the table " + p.FILENAME);
    p.rows = p.tables->cut.view();
  }

  // When the rows are written as they are, their moments are taken as the
  // writer formats them (see MomentsFollower); otherwise at once.
  void take_moments(Pass& p) const {
    if (!settings_.moments) return;
    if (!total_ && !settings_.cumulative && !settings_.down_negative)
      p.made.follower = std::make_unique<MomentsFollower>(*this, p.FILENAME, *p.plan, p.rows);
    else
      p.made.beside.push_back(moments_file(p.FILENAME, *p.plan, p.rows, p.lines));
  }

  void integrate(Pass& p) const {
    if (!settings_.cumulative) return;
    p.tables->out = running_integral(p.rows);
    keep_integrated(p.tables->out, p.rows, *p.plan);
    p.rows = p.tables->out.view();
  }

  // On a table of its own: the rows may be the table given.
  void negate_down(Pass& p) const {
    if (!settings_.down_negative) return;
    if (!settings_.cumulative) p.tables->out = copy_of(p.rows);
    negate_down_columns(*p.plan, p.tables->out);
    p.rows = p.tables->out.view();
  }

  void name_columns(Pass& p) const {
    if (settings_.header) p.made.head = header_line(*p.plan, shifted_) + '\n';
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
  // --gaussian: its weights made once for every table of the run.
  std::optional<Broadening> broadening_;
  std::optional<ColumnLayout> layout_;
  ColumnPlan projected_;
};

}  // namespace

std::unique_ptr<TableTransform> table_options(const Settings& settings, const Header& h,
                                              bool shifted, bool total,
                                              Console& console) {
  bool any = settings.orbitals || settings.header || settings.down_negative ||
             settings.window_min || settings.window_max || settings.moments ||
             settings.gaussian || settings.cumulative || settings.spin;
  if (!any) return nullptr;
  return std::make_unique<TableOptions>(settings, h, shifted, total, console);
}

}  // namespace pdsplit
