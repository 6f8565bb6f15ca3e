// Where things lie in a DOSCAR: the file's name and how many lines its
// header, total-DOS block and atom blocks take.
#pragma once

#include <cstdint>

namespace pdsplit {

// The file every reader opens, in the current directory.
inline constexpr const char* kDoscarPath = "DOSCAR";

// A count from the header as an extent: below zero counts as zero.
inline std::int64_t extent(std::int32_t count) { return count > 0 ? count : 0; }

// Lines 1 .. the first projected line that the header reader needs.
inline std::int64_t header_lines_needed(std::int32_t ngrid) {
  return 8 + extent(ngrid);
}

// Lines of DOSCAR up to the last value line of the last atom: six header
// lines and the total-DOS block, then per atom a header line and NGRID
// value lines.
inline std::int64_t doscar_lines_needed(std::int32_t natom, std::int32_t ngrid) {
  return 6 + extent(ngrid) + extent(natom) * (extent(ngrid) + 1);
}

}  // namespace pdsplit
