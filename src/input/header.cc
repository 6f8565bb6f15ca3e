#include "input/header.h"

#include <string>
#include <string_view>

#include "base/failure.h"
#include "base/messages.h"
#include "input/columns.h"
#include "input/doscar_reader.h"
#include "input/field.h"
#include "input/value_line.h"
#include "base/fixed_point.h"
#include "base/text.h"
#include "input/doscar_layout.h"

namespace pdsplit {

namespace {

constexpr int kHeaderRealDecimals = 8;

struct Summary {
  std::string system;
  double emin = 0, emax = 0;
};

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

// Prints the calculation kind and projection lines; false when the
// projection is of no known kind.
bool print_classification(Console& console, std::int32_t ntcol,
                          std::int32_t npcol) {
  if (ntcol != 2 && ntcol != 4) return true;
  bool spin = ntcol == 4;
  console.line(spin ? text::kSpin : text::kNonSpin);
  // Values per line for s p d / s p d f, l- and l,m-projected; spin doubles.
  int f = spin ? 2 : 1;
  if (npcol == 3 * f || npcol == 4 * f) {
    console.line(text::kLProjected);
    console.line(npcol == 3 * f ? text::kOrbitalsSpd : text::kOrbitalsSpdf);
  } else if (npcol == 9 * f || npcol == 16 * f) {
    console.line(text::kLmProjected);
    console.line(npcol == 9 * f ? text::kOrbitalsSpd : text::kOrbitalsSpdf);
  } else {
    console.line(text::kUnspecified);
    return false;
  }
  return true;
}

void print_numbers(Console& console, const Header& h, const Summary& s) {
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
  labelled_real(text::kEnergyMin, s.emin);
  labelled_real(text::kEnergyMax, s.emax);
  labelled_real(text::kFermi, h.efermi);
  labelled_int(text::kGridPoints, h.ngrid, 5);
}

}  // namespace

Header readheader(Console& console, Opener& files) {
  DoscarReader doscar;
  if (!doscar.open(files, kDoscarPath))
    throw Failure(Failure::Report::ConsoleLine, kExitFailure,
                  std::string(text::kNoDoscar));
  console.line(text::kOpening);

  Header h;
  Summary s;
  std::string_view line = doscar.require_line(0);
  h.natom = read_int(line, 1, 0, 4);
  doscar.skip_lines(3, 0);
  line = doscar.require_line(0);
  s.system = std::string(trim_trailing_blanks(field_text(line, 0, 40)));
  line = doscar.require_line(0);
  s.emax = read_real(line, 6, 0, 16);
  s.emin = read_real(line, 6, 16, 16);
  h.ngrid = read_int(line, 6, 32, 5);
  h.efermi = read_real(line, 6, 37, 16);

  std::int64_t needed = header_lines_needed(h.ngrid);
  h.ntcol = count_columns(doscar.require_line(needed));
  doscar.skip_lines(h.ngrid, needed);
  h.npcol = count_columns(doscar.require_line(needed));
  // A file that needs more lines but ends here without a line feed was cut
  // off inside this line, and a cut line gives a wrong count.
  if (!doscar.line_complete() && doscar_lines_needed(h.natom, h.ngrid) > needed)
    throw stop_with_message("Error! DOSCAR ends in the middle of line " +
                            std::to_string(doscar.line_number()));

  console.line(std::string(text::kSystemName) + s.system);
  if (!print_classification(console, h.ntcol, h.npcol))
    throw Failure(Failure::Report::Nothing, kExitFailure, "unknown projection");
  print_numbers(console, h, s);
  return h;
}

}  // namespace pdsplit
