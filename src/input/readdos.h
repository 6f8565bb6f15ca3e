// The projected-DOS block reader: every atom block of DOSCAR into LDOS.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/console.h"
#include "input/line_blocks.h"
#include "input/source.h"

namespace pdsplit {

// LDOS holds one table per atom, in atom order: NGRID rows of NPCOL + 1
// doubles (the energy of that atom's line, then its NPCOL values). An atom's
// table is thus what the table writer takes, and a file is read into it
// front to back.
inline std::size_t atom_table_size(std::int32_t ngrid, std::int32_t npcol) {
  return static_cast<std::size_t>(extent(ngrid)) * (static_cast<std::size_t>(extent(npcol)) + 1);
}

// The table of atom `atom` (1-based).
inline const double* atom_table(const double* LDOS, std::int32_t ngrid,
                                std::int32_t npcol, std::int32_t atom) {
  return LDOS + atom_table_size(ngrid, npcol) * static_cast<std::size_t>(atom - 1);
}

// Fills all NATOM x NGRID x (NPCOL + 1) elements of LDOS from the atom
// blocks of DOSCAR, opened through `files`, using up to `threads` threads,
// then prints the closing line. With `wrapped`, every grid point lies on
// two lines (NPCOL is then 64; see doscar_layout.h).
// Throws a Failure when DOSCAR cannot be read, ends early or holds a field
// that is no number; with several faults, the first in the file is
// reported, whatever the number of threads and however the file is cut.
void readdos(std::int32_t natom, double* LDOS, std::int32_t ngrid,
             std::int32_t npcol, Console& console, Opener& files,
             unsigned threads, const ChunkPlan& plan = {}, bool wrapped = false);

}  // namespace pdsplit
