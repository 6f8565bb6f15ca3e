// The DOSCAR header reader: the header values, the value columns of the
// total-DOS and projected blocks, and the summary printed for the user.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/console.h"
#include "base/settings.h"
#include "doscar/doscar_layout.h"
#include "sources/source.h"

namespace pdsplit {

struct Header {
  double efermi = 0;      // Fermi energy, eV
  std::int32_t natom = 0;  // atom blocks
  std::int32_t ngrid = 0;  // lines per block
  std::int32_t ntcol = 0;  // values per total-DOS line
  std::int32_t npcol = 0;  // values per projected line (per grid point)
  bool noncollinear = false;  // a spin-orbit run: total, mx, my, mz per orbital
  bool wrapped = false;       // each grid point on two lines (64 values)
  bool projected = true;      // false when DOSCAR holds the total DOS alone

  // What the summary shows besides.
  enum class Ldos { Known, None, Unspecified };
  Ldos ldos = Ldos::Unspecified;  // the kind of projection
  bool lm = false;                // l,m- rather than l-projected
  bool f = false;                 // f orbitals present
  std::string system;             // line 5, columns 1-40
  double emin = 0, emax = 0;      // line 6
};

// What the summary says beyond DOSCAR's own header; empty parts say
// nothing.
struct SummaryNotes {
  std::string calc_type_reason;  // after the Calc. type line, e.g. "(--noncollinear)"
  std::string elements;          // the Elements line, after the number of atoms
  std::optional<double> doscar_efermi;  // line 6's Fermi energy, when another is used
};

// The header of DOSCAR, opened through `files`, read in two steps.
// read_header prints the lines that open DOSCAR and throws a Failure when
// DOSCAR is missing, cannot be read, is too short or holds a field that is
// no number; a path given by --doscar in `settings` is reported by that
// name when it is missing or unreadable. print_summary prints the summary
// and throws the Failure of a projection of no known kind (its report is
// the summary line that says so).
Header read_header(Console& console, Opener& files, const Settings& settings = {});
void print_summary(Console& console, const Header& h, const SummaryNotes& notes = {});

// Whether the file's shape is the one two kinds of run share: 2 total-DOS
// values and 16 values per projected line, either l,m-projected s p d f
// without spin or l-projected s p d f of a non-collinear run.
bool noncollinear_or_lm(const Header& h);

// Takes the file as a non-collinear run where its shape allows it (the
// shared shape above, or a shape only non-collinear runs write); false
// when its shape is of another kind of run.
bool read_as_noncollinear(Header& h);

}  // namespace pdsplit
