// The total-DOS block reader.
#pragma once

#include <cstdint>

#include "base/console.h"
#include "sources/source.h"

namespace pdsplit {

// Reads the total-DOS block of DOSCAR, opened through `files`, into TDOS
// (NGRID rows of NTCOL + 1 doubles: the energy, then the NTCOL values) and
// prints the closing line. Throws a Failure when DOSCAR cannot be read,
// ends early or holds a field that is no number.
void readtdos(double* TDOS, std::int32_t ngrid, std::int32_t ntcol,
              Console& console, Opener& files);

}  // namespace pdsplit
