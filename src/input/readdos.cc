#include "input/readdos.h"

#include <string>

#include "base/messages.h"
#include "input/doscar_reader.h"
#include "input/doscar_layout.h"
#include "input/line_blocks.h"
#include "input/value_line.h"

namespace pdsplit {

void readdos(std::int32_t natom, double* LDOS, std::int32_t ngrid,
             std::int32_t npcol, Console& console, Opener& files,
             unsigned threads, const ChunkPlan& plan, bool wrapped) {
  // Every field of a line kept, however many there are.
  DoscarReader doscar(static_cast<std::size_t>(value_line_width(static_cast<std::int32_t>(extent(npcol)))));
  doscar.open_again(files, kDoscarPath);
  std::int64_t needed = doscar_lines_needed(natom, ngrid, wrapped);
  std::int64_t grid = extent(ngrid);
  doscar.skip_lines(6 + grid, needed);
  // After the total-DOS block each atom has a header line and the lines of
  // its NGRID grid points; line numbers alone say where a value line goes.
  std::int64_t first_atom_line = 7 + grid;
  std::int64_t per_point = lines_per_point(wrapped);
  std::int64_t per_atom = per_point * grid + 1;
  std::int32_t first_values = wrapped ? kFirstLineValues : npcol;
  std::size_t row_size = static_cast<std::size_t>(extent(npcol)) + 1;
  console.begin_phase("reading DOSCAR", doscar.size());
  for_each_line(doscar, needed, needed, threads,
                [&](std::int64_t number, std::string_view line, bool complete) {
                  std::int64_t offset = number - first_atom_line;
                  std::int64_t atom = offset / per_atom;
                  std::int64_t j = offset % per_atom - 1;
                  if (j < 0) return;  // an atom header line
                  double* row = LDOS + (static_cast<std::size_t>(atom * grid + j / per_point)) * row_size;
                  if (j % per_point == 0)
                    read_value_line(line, first_values, number, complete, row);
                  else
                    read_continuation_line(line, number, complete, row);
                },
                [&](std::size_t bytes) { console.advance(bytes); }, plan);
  console.line(text::kClosing);
}

}  // namespace pdsplit
