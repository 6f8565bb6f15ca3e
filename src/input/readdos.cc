#include "input/readdos.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "driver/failure.h"
#include "driver/messages.h"
#include "input/doscar_reader.h"
#include "input/header.h"
#include "input/value_line.h"

namespace pdsplit {

std::int64_t doscar_lines_needed(std::int32_t natom, std::int32_t ngrid) {
  std::int64_t atoms = natom > 0 ? natom : 0;
  std::int64_t grid = ngrid > 0 ? ngrid : 0;
  return 6 + grid + atoms * (grid + 1);
}

void readdos(std::int32_t natom, double* LDOS, std::int32_t ngrid,
             std::int32_t npcol, Console& console) {
  DoscarReader doscar;
  if (!doscar.open(kDoscarPath))
    throw stop_with_message(std::string("Error! Cannot read DOSCAR: ") +
                            std::strerror(errno));
  std::int64_t needed = doscar_lines_needed(natom, ngrid);
  doscar.skip_lines(6 + static_cast<std::int64_t>(ngrid), needed);
  std::size_t stride = static_cast<std::size_t>(natom) *
                       static_cast<std::size_t>(ngrid > 0 ? ngrid : 0);
  for (std::int32_t k = 0; k < natom; ++k) {
    doscar.skip_lines(1, needed);
    for (std::int32_t j = 0; j < ngrid; ++j) {
      std::string_view line = doscar.require_line(needed);
      read_value_line(line, npcol, doscar.line_number(), doscar.line_complete(),
                      LDOS + ldos_index(natom, ngrid, k, j, 0), stride);
    }
  }
  console.line(text::kClosing);
}

}  // namespace pdsplit
