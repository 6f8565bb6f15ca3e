#include "doscar/readtdos.h"

#include "base/messages.h"
#include "doscar/doscar_layout.h"
#include "doscar/doscar_reader.h"
#include "doscar/value_line.h"

namespace pdsplit {

void readtdos(double* TDOS, std::int32_t ngrid, std::int32_t ntcol,
              Console& console, Opener& files) {
  // Every field of a line kept, however many there are.
  DoscarReader doscar(static_cast<std::size_t>(value_line_width(static_cast<std::int32_t>(extent(ntcol)))));
  doscar.open_again(files, kDoscarPath);
  std::int64_t needed = header_lines_needed(ngrid);
  doscar.skip_lines(6, needed);
  std::size_t row_size = static_cast<std::size_t>(extent(ntcol)) + 1;
  for (std::int32_t g = 0; g < ngrid; ++g) {
    std::string_view line = doscar.require_line(needed);
    read_value_line(line, ntcol, doscar.line_number(), doscar.line_complete(),
                    TDOS + row_size * static_cast<std::size_t>(g));
  }
  console.line(text::kClosing);
}

}  // namespace pdsplit
