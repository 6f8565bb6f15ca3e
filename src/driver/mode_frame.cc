#include "driver/mode_frame.h"

#include <array>
#include <memory>

#include "base/array.h"
#include "driver/cpu_time.h"
#include "base/failure.h"
#include "base/messages.h"
#include "structure/beside_doscar.h"
#include "doscar/header.h"
#include "blocks/read_atoms.h"
#include "doscar/readtdos.h"
#include "modes/modes.h"
#include "tables/table_options.h"
#include "output/format.h"
#include "output/names.h"

namespace pdsplit {

namespace {

struct OptionRow {
  std::array<std::string_view, 3> texts;
  Mode mode;
  std::string_view heading;
};

constexpr std::array<OptionRow, 6> kDispatch = {{
    {{"-t", "-ft", "-tf"}, Mode::Total, text::kHeadingTotal},
    {{"-a", "-fa", "-af"}, Mode::AllAtoms, text::kHeadingAllAtoms},
    {{"-p", "-fp", "-pf"}, Mode::Atom, text::kHeadingAtom},
    {{"-s1", "-fs1", "-s1f"}, Mode::RangeSum, text::kHeadingRange},
    {{"-s2", "-fs2", "-s2f"}, Mode::ListSum, text::kHeadingList},
    {{"-e", "-fe", "-ef"}, Mode::Elements, text::kHeadingElements},
}};

constexpr std::size_t kOptionWidth = 5;

std::string_view heading_of(Mode mode) {
  for (const OptionRow& row : kDispatch)
    if (row.mode == mode) return row.heading;
  return {};
}

Array allocate(std::initializer_list<std::int64_t> extents,
               std::string_view failure) {
  Array array(extents);
  if (array.get() == nullptr) throw stop_with_message(std::string(failure));
  return array;
}

// Whether the option asks for energies as they stand.
bool unshifted(std::string_view ARGV) {
  return trim_trailing_blanks(ARGV).find('f') != std::string_view::npos;
}

// The shift the writer subtracts: the Fermi energy, unless the option
// asks for energies as they stand.
double shift_of(std::string_view ARGV, double efermi) { return unshifted(ARGV) ? 0 : efermi; }

// shift_of, and the console line that tells it.
double choose_shift(std::string_view ARGV, double efermi, Console& console) {
  console.line(unshifted(ARGV) ? text::kNotShifted : text::kShifted);
  return shift_of(ARGV, efermi);
}

void print_cpu_time(double seconds, Console& console) {
  char field[8];
  format_fixed3(seconds, sizeof field, field);
  console.raw(std::string(text::kCpuTimeLabel) + std::string(field, sizeof field));
}

}  // namespace

bool mode_of_option(std::string_view option, Mode& mode) {
  std::string_view ARGV = trim_trailing_blanks(option.substr(0, kOptionWidth));
  for (const OptionRow& row : kDispatch)
    for (std::string_view t : row.texts)
      if (ARGV == t) {
        mode = row.mode;
        return true;
      }
  return false;
}

bool table_to_standard_output(std::span<const std::string> args) {
  Mode mode;
  if (args.empty() || args.back() != kStandardOutput || !mode_of_option(args[0], mode)) return false;
  switch (mode) {
    case Mode::Total: return args.size() == 2;
    case Mode::Atom: return args.size() == 3;
    case Mode::RangeSum: return args.size() == 4;
    case Mode::ListSum: return args.size() >= 3;
    case Mode::AllAtoms:
    case Mode::Elements: break;
  }
  return false;
}

void run_mode(Mode mode, std::span<const std::string> args, const Settings& settings,
              Console& console, DoscarFiles& files, Output& output, const ReadPlan& plan) {
  console.line(heading_of(mode));
  double start = cpu_time();
  Header h = read_checked(files, [&] { return read_header(console, files, settings); });
  // The element sums need the elements; a file without projected DOS is
  // refused below as by every projected mode, whatever the files beside it.
  bool elements = mode == Mode::Elements && h.projected;
  Beside beside = settle_header(h, settings, needs_of(settings, elements), files.plain());
  read_checked(files, [&] { print_summary(console, h, beside.notes); });
  output.reading(files.identity(kDoscarPath));
  std::string ARGV = fixed_text(args[0], kOptionWidth);

  if (mode == Mode::Total) {
    auto TDOS = allocate({h.ngrid, std::int64_t{h.ntcol} + 1}, text::kAllocInput);
    read_checked(files, [&] { readtdos(TDOS.get(), h.ngrid, h.ntcol, console, files); });
    double shift = choose_shift(ARGV, h.efermi, console);
    output.transform(table_options(settings, h, ARGV.find('f') == std::string::npos,
                                   mode == Mode::Total, console));
    output.report_to(&console, table_text_size(h.ngrid, h.ntcol));
    total_dos(args, shift, TDOS.get(), h.ngrid, h.ntcol, console, output);
  } else {
    if (!h.projected) throw stop_with_message(std::string(text::kNoProjectedDos));
    // The mode is made before reading and takes the atom blocks it needs
    // as they are read; its operands are reported after reading.
    Projected blocks{h.natom, h.ngrid, h.npcol, output.threads()};
    double shift = shift_of(ARGV, h.efermi);
    // What the options make of each table is known before the first is
    // made: -a makes its tables while reading.
    output.transform(table_options(settings, h, ARGV.find('f') == std::string::npos,
                                   false, console));
    std::unique_ptr<ProjectedMode> work;
    switch (mode) {
      case Mode::AllAtoms: work = all_atoms(args, shift, blocks, output); break;
      case Mode::Atom: work = single_atom(args, shift, blocks); break;
      case Mode::RangeSum: work = range_sum(args, shift, blocks); break;
      case Mode::ListSum: work = list_sum(args, shift, blocks); break;
      case Mode::Elements: work = element_sums(args, shift, blocks, *beside.structure); break;
      case Mode::Total: break;
    }
    read_checked(files, [&] {
      read_atoms(h.natom, h.ngrid, h.npcol, h.wrapped, *work, console, files,
                 output.threads(), plan);
    });
    choose_shift(ARGV, h.efermi, console);
    std::uint64_t tables = mode == Mode::AllAtoms ? std::max<std::uint64_t>(extent(h.natom), 1)
                           : mode == Mode::Elements ? beside.structure->elements.size()
                                                    : 1;
    output.report_to(&console, tables * table_text_size(h.ngrid, h.npcol));
    work->finish(console, output);
  }
  print_cpu_time(cpu_time() - start, console);
}

}  // namespace pdsplit
