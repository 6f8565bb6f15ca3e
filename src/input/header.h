// The DOSCAR header reader: the header values, the value columns of the
// total-DOS and projected blocks, and the summary printed for the user.
#pragma once

#include <cstdint>

#include "base/console.h"
#include "input/doscar_layout.h"
#include "input/source.h"

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
};

// Reads the header of DOSCAR, opened through `files`, and prints its
// summary. Throws a Failure when DOSCAR is missing, cannot be read, is too
// short, holds a field that is no number, or its projection is of no known
// kind.
Header readheader(Console& console, Opener& files);

}  // namespace pdsplit
