#include "driver/errors.h"
#include "driver/messages.h"
#include "input/doscar_reader.h"
#include "input/header.h"
#include "input/value_line.h"
#include "modes/modes.h"
#include "output/names.h"
#include "output/writedos.h"

namespace pdsplit {

void readtdos(double* TDOS, std::int32_t ngrid, std::int32_t ntcol,
              Console& console) {
  DoscarReader doscar;
  doscar.open_again(kDoscarPath);
  std::int64_t needed = header_lines_needed(ngrid);
  doscar.skip_lines(6, needed);
  std::size_t row_size = static_cast<std::size_t>(ntcol > 0 ? ntcol : 0) + 1;
  for (std::int32_t g = 0; g < ngrid; ++g) {
    std::string_view line = doscar.require_line(needed);
    read_value_line(line, ntcol, doscar.line_number(), doscar.line_complete(),
                    TDOS + row_size * static_cast<std::size_t>(g));
  }
  console.line(text::kClosing);
}

void total_dos(Arguments args, double shift, const double* TDOS,
               std::int32_t ngrid, std::int32_t ntcol, Console& console,
               Output& output) {
  if (args.size() >= 3) manarg();
  std::string FILENAME =
      args.size() == 2 ? given_name(args[1]) : std::string(kTotalName);
  console.line(text::kCreatingFile);
  writedos(FILENAME, shift, TDOS, ngrid, ntcol, output);
}

}  // namespace pdsplit
