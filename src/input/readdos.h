// The projected-DOS block reader: every atom block of DOSCAR into LDOS.
#pragma once

#include <cstdint>

#include "driver/console.h"

namespace pdsplit {

// Position of element (atom k, grid point j, column q), all 0-based, in
// LDOS: the atom index varies fastest, then the grid point, then the column.
inline std::size_t ldos_index(std::int32_t natom, std::int32_t ngrid,
                              std::int32_t k, std::int32_t j, std::int32_t q) {
  return static_cast<std::size_t>(k) +
         static_cast<std::size_t>(natom) *
             (static_cast<std::size_t>(j) +
              static_cast<std::size_t>(ngrid) * static_cast<std::size_t>(q));
}

// Lines of DOSCAR up to the last value line of the last atom.
std::int64_t doscar_lines_needed(std::int32_t natom, std::int32_t ngrid);

// Fills all NATOM x NGRID x (NPCOL + 1) elements of LDOS from the atom
// blocks, then prints the closing line. Throws a Failure when DOSCAR cannot
// be read, ends early or holds a field that is no number.
void readdos(std::int32_t natom, double* LDOS, std::int32_t ngrid,
             std::int32_t npcol, Console& console);

}  // namespace pdsplit
