#include "doscar/header.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>

#include "base/failure.h"
#include "base/messages.h"
#include "doscar/columns.h"
#include "doscar/doscar_reader.h"
#include "numbers/field.h"
#include "doscar/value_line.h"
#include "base/fixed_point.h"
#include "base/text.h"
#include "doscar/doscar_layout.h"

namespace pdsplit {

namespace {

constexpr int kHeaderRealDecimals = 8;

std::int32_t read_int(std::string_view line, std::int64_t line_number,
                      std::size_t first, std::size_t width) {
  std::string_view text = field_text(line, first, width);
  std::int32_t value = 0;
  if (!read_int_field(text, value))
    fail_not_a_number(line_number, first + 1, first + width, text);
  return value;
}

double read_real(std::string_view line, std::int64_t line_number,
                 std::size_t first, std::size_t width) {
  std::string_view text = field_text(line, first, width);
  double value = 0;
  if (!read_real_field(text, kHeaderRealDecimals, value))
    fail_not_a_number(line_number, first + 1, first + width, text);
  return value;
}

// What the value counts say about the run.
struct Kind {
  using Ldos = Header::Ldos;
  Ldos ldos = Ldos::Unspecified;
  bool lm = false;  // l,m- rather than l-projected
  bool f = false;   // f orbitals present
};

// The projection of a file whose projected lines hold `npcol` values per
// grid point; `per_orbital` values per orbital (1, 2 with spin, 4 for a
// spin-orbit run).
Kind projection_of(std::int32_t npcol, int per_orbital) {
  Kind kind;
  int orbitals = npcol % per_orbital == 0 ? npcol / per_orbital : 0;
  if (orbitals == 3 || orbitals == 4) {
    kind.ldos = Kind::Ldos::Known;
    kind.f = orbitals == 4;
  } else if (orbitals == 9 || orbitals == 16) {
    kind.ldos = Kind::Ldos::Known;
    kind.lm = true;
    kind.f = orbitals == 16;
  }
  return kind;
}

void print_kind(Console& console, const Header& h, const std::string& reason) {
  std::string_view type = h.noncollinear ? text::kNonCollinear : h.ntcol == 4 ? text::kSpin : text::kNonSpin;
  console.line(reason.empty() ? std::string(type) : std::string(type) + " " + reason);
  switch (h.ldos) {
    case Kind::Ldos::None:
      console.line(text::kNoProjection);
      return;
    case Kind::Ldos::Unspecified:
      console.line(text::kUnspecified);
      return;
    case Kind::Ldos::Known:
      console.line(h.lm ? text::kLmProjected : text::kLProjected);
      console.line(h.f ? text::kOrbitalsSpdf : text::kOrbitalsSpd);
      return;
  }
}

[[noreturn]] void fail_header_only() {
  throw stop_with_message(std::string(text::kHeaderOnly));
}

// The values of line 7, the first total-DOS line: 2 without spin, 4 with.
// The letters E say it for the files VASP writes; files whose exponents are
// spelt otherwise (e, D) or that hold an extra field have their value
// fields counted.
std::int32_t total_columns(std::string_view line) {
  std::int32_t count = count_columns(line);
  if (count == 2 || count == 4) return count;
  std::int32_t fields = count_value_fields(line);
  if (fields == 2 || fields == 4) return fields;
  throw stop_with_message("Error! DOSCAR line 7 holds " + std::to_string(fields) +
                          (fields == 1 ? " value" : " values") +
                          ", but a total-DOS line holds 2 (without spin) or 4 (with spin)");
}

// The first projected line of a file whose known kinds its count misses:
// a spin-orbit run's 12 or 36 values (beyond the 395 columns the count
// sees), or 64 values on two lines. After a first line of 36 values, the
// next line of a file of 36 holds 36 values again, or is the next atom's
// header line (the same as line 6, `grid_line`); anything else continues a
// wrapped grid point, even when damaged (a short or overlong continuation
// is then reported where it is read).
Kind read_noncollinear(std::string_view line, DoscarReader& doscar, Header& h,
                       std::string_view grid_line) {
  std::int32_t fields = count_value_fields(line);
  if (fields != 12 && fields != kFirstLineValues) return {};
  h.noncollinear = true;
  h.npcol = fields;
  std::string_view next;
  if (fields == kFirstLineValues && doscar.next_line(next) &&
      count_value_fields(next) != kFirstLineValues && trim_trailing_blanks(next) != grid_line) {
    h.npcol = kWrappedValues;
    h.wrapped = true;
  }
  return projection_of(h.npcol, 4);
}

// Reads from the first projected line on: the kind of projection, or a
// file that holds the total DOS alone (its projection flag is 0, or it ends
// right after the total-DOS block).
Kind read_projection(DoscarReader& doscar, Header& h, bool flag_zero,
                     std::string_view grid_line) {
  std::int64_t needed = header_lines_needed(h.ngrid);
  std::string_view line;
  // The first atom's header line (none to read when the total-DOS block is
  // empty: line 7 stood for both), then its first value line.
  bool atom_header = h.ngrid <= 0 || doscar.next_line(line);
  if (!atom_header || !doscar.next_line(line)) {
    h.projected = false;
    return {Kind::Ldos::None};
  }
  h.npcol = count_columns(line);
  // A file that needs more lines but ends here without a line feed was cut
  // off inside this line, and a cut line gives a wrong count.
  if (!doscar.line_complete() && doscar_lines_needed(h.natom, h.ngrid) > needed)
    throw stop_with_message("Error! DOSCAR ends in the middle of line " +
                            std::to_string(doscar.line_number()));
  if (h.ntcol == 2 || h.ntcol == 4) {
    Kind kind = projection_of(h.npcol, h.ntcol / 2);
    if (kind.ldos == Kind::Ldos::Known) return kind;
    // Exponents spelt otherwise (e, D) escape the letter count, as on
    // line 7: the value fields are counted instead.
    std::int32_t fields = count_value_fields(line);
    kind = projection_of(fields, h.ntcol / 2);
    if (kind.ldos == Kind::Ldos::Known) {
      h.npcol = fields;
      return kind;
    }
    if (h.ntcol == 2) {
      std::string kept(line);  // the next line may move the reader's buffer
      kind = read_noncollinear(kept, doscar, h, grid_line);
      if (kind.ldos == Kind::Ldos::Known) return kind;
    }
  }
  if (flag_zero) {
    h.projected = false;
    h.npcol = 0;
    return {Kind::Ldos::None};
  }
  return {};
}

void print_numbers(Console& console, const Header& h, const SummaryNotes& notes) {
  char field[8];
  auto labelled_int = [&](std::string_view label, long long v, std::size_t w) {
    format_int(v, w, field);
    console.line(std::string(label) + std::string(field, w));
  };
  auto labelled_real = [&](std::string_view label, double v) {
    format_fixed3_signed(v, 8, field);
    console.line(std::string(label) + std::string(field, 8));
  };
  labelled_int(text::kAtoms, h.natom, 4);
  if (!notes.elements.empty()) console.line(notes.elements);
  labelled_real(text::kEnergyMin, h.emin);
  labelled_real(text::kEnergyMax, h.emax);
  if (notes.doscar_efermi) {
    format_fixed3_signed(h.efermi, 8, field);
    std::string used(field, 8);
    format_fixed3_signed(*notes.doscar_efermi, 8, field);
    std::string_view in_doscar(field, 8);
    in_doscar.remove_prefix(std::min(in_doscar.find_first_not_of(' '), in_doscar.size()));
    console.line(std::string(text::kFermi) + used + std::string(text::kFermiGiven) +
                 std::string(in_doscar) + ")");
  } else {
    labelled_real(text::kFermi, h.efermi);
  }
  labelled_int(text::kGridPoints, h.ngrid, 5);
}

void apply(const Kind& kind, Header& h) {
  h.ldos = kind.ldos;
  h.lm = kind.lm;
  h.f = kind.f;
}

}  // namespace

Header read_header(Console& console, Opener& files, const Settings& settings) {
  DoscarReader doscar;
  if (const std::optional<std::string>& given = settings.doscar) {
    // Named by the user: its absence and its faults are told by its name.
    Opened opened = files.open(kDoscarPath);
    if (opened.source == nullptr && opened.error == ENOENT && !opened.refused)
      throw Failure(Failure::Report::ConsoleLine, kExitFailure,
                    std::string(text::kNoFile) + printable(*given));
    if (opened.source == nullptr)
      throw stop_with_message("Error! Cannot read " + printable(*given) + ": " +
                              describe_open_error(opened.error));
  }
  if (!doscar.open(files, kDoscarPath))
    throw Failure(Failure::Report::ConsoleLine, kExitFailure,
                  std::string(text::kNoDoscar));
  console.line(text::kOpening);
  if (std::string name = files.name_of(kDoscarPath); name != kDoscarPath)
    console.line(std::string(text::kFileRead) + printable(name));

  Header h;
  std::string_view line = doscar.require_line(0);
  h.natom = read_int(line, 1, 0, 4);
  // Columns 9-12: 0 when VASP wrote no projections.
  std::int32_t flag = 1;
  bool flag_zero = read_int_field(field_text(line, 8, 4), flag) && flag == 0;
  doscar.skip_lines(3, 0);
  line = doscar.require_line(0);
  h.system = std::string(trim_trailing_blanks(field_text(line, 0, 40)));
  // A run that stopped before writing any DOS leaves lines 1-5 or 1-6.
  if (!doscar.next_line(line)) fail_header_only();
  std::string grid_line(trim_trailing_blanks(line));
  h.emax = read_real(line, 6, 0, 16);
  h.emin = read_real(line, 6, 16, 16);
  h.ngrid = read_int(line, 6, 32, 5);
  h.efermi = read_real(line, 6, 37, 16);
  if (!doscar.next_line(line)) fail_header_only();

  std::int64_t needed = header_lines_needed(h.ngrid);
  // Cut off inside line 7, the file cannot hold what its header promises
  // (but for a total-DOS block of one line, which may end the file).
  if (!doscar.line_complete() && h.ngrid != 1) fail_doscar_ends(7, needed);
  h.ntcol = total_columns(line);
  for (std::int64_t g = 1; g < extent(h.ngrid); ++g) line = doscar.require_line(needed);
  // The last total-DOS line, when the file ends with it, must be whole.
  bool total_whole = doscar.line_complete() ||
                     static_cast<std::int64_t>(line.size()) >= value_line_width(h.ntcol);
  std::int64_t total_end = doscar.line_number();
  Kind kind = read_projection(doscar, h, flag_zero, grid_line);
  if (!h.projected && !total_whole && doscar.line_number() == total_end)
    throw stop_with_message("Error! DOSCAR ends in the middle of line " +
                            std::to_string(total_end));

  apply(kind, h);
  return h;
}

void print_summary(Console& console, const Header& h, const SummaryNotes& notes) {
  console.line(std::string(text::kSystemName) + h.system);
  print_kind(console, h, notes.calc_type_reason);
  // The line above has told it; a quiet console tells it by this text.
  if (h.ldos == Kind::Ldos::Unspecified)
    throw Failure(Failure::Report::Nothing, kExitFailure, std::string(text::kUnspecified));
  print_numbers(console, h, notes);
}

bool noncollinear_or_lm(const Header& h) {
  return !h.noncollinear && h.ntcol == 2 && h.npcol == 16 && h.ldos == Kind::Ldos::Known;
}

bool read_as_noncollinear(Header& h) {
  if (h.noncollinear) return true;
  if (h.ntcol == 4) return false;  // spin-polarised
  if (h.ldos != Kind::Ldos::Known) return true;
  if (!noncollinear_or_lm(h)) return false;
  h.noncollinear = true;
  apply(projection_of(h.npcol, 4), h);
  return true;
}

}  // namespace pdsplit
