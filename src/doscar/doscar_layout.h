// Where things lie in a DOSCAR: the file's name and how many lines its
// header, total-DOS block and atom blocks take.
#pragma once

#include <cstdint>

#include "base/array.h"

namespace pdsplit {

// The file every reader opens, in the current directory.
inline constexpr const char* kDoscarPath = "DOSCAR";


// Lines 1 .. the first projected line that the header reader needs.
inline std::int64_t header_lines_needed(std::int32_t ngrid) {
  return 8 + extent(ngrid);
}

// The projected lines of a spin-orbit run with f orbitals hold 64 values,
// more than VASP's line format takes: every grid point then takes two
// lines, the energy and values 1-36, then value 37 in the energy's
// 11-column form and values 38-64.
inline constexpr std::int32_t kWrappedValues = 64;
inline constexpr std::int32_t kFirstLineValues = 36;
inline constexpr std::int32_t kContinuationValues = kWrappedValues - kFirstLineValues - 1;

// Lines each grid point of an atom block takes.
inline std::int64_t lines_per_point(bool wrapped) { return wrapped ? 2 : 1; }

// Lines of DOSCAR up to the last value line of the last atom: six header
// lines and the total-DOS block, then per atom a header line and the lines
// of its NGRID grid points.
inline std::int64_t doscar_lines_needed(std::int32_t natom, std::int32_t ngrid,
                                        bool wrapped = false) {
  return 6 + extent(ngrid) + extent(natom) * (lines_per_point(wrapped) * extent(ngrid) + 1);
}

}  // namespace pdsplit
