// The DOSCAR header reader: the header values, the value columns of the
// total-DOS and projected blocks, and the summary printed for the user.
#pragma once

#include <cstdint>

#include "driver/console.h"

namespace pdsplit {

struct Header {
  double efermi = 0;      // Fermi energy, eV
  std::int32_t natom = 0;  // atom blocks
  std::int32_t ngrid = 0;  // lines per block
  std::int32_t ntcol = 0;  // values per total-DOS line
  std::int32_t npcol = 0;  // values per projected line
};

// The file every reader opens, in the current directory.
inline constexpr const char* kDoscarPath = "DOSCAR";

// Lines 1 .. the first projected line that the header reader needs.
std::int64_t header_lines_needed(std::int32_t ngrid);

// Reads the header of DOSCAR and prints its summary. Throws a Failure when
// DOSCAR is missing, too short, holds a field that is no number, or its
// projection is of no known kind.
Header readheader(Console& console);

}  // namespace pdsplit
