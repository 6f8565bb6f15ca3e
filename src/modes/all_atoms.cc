#include "modes/errors.h"
#include "base/messages.h"
#include "input/readdos.h"
#include "modes/modes.h"
#include "output/names.h"
#include "output/write_tables.h"
#include "output/writedos.h"

namespace pdsplit {


void all_atoms(Arguments args, double shift, const Projected& data,
               Console& console, Output& output) {
  if (args.size() >= 3) manarg();
  std::string prefix =
      args.size() == 2 ? given_name(args[1]) : std::string(kAtomPrefix);
  for (std::int32_t i = 1; i <= data.natom; ++i)
    refuse_overwriting_input(prefix + atom_suffix(i), output.input());
  console.line(text::kCreatingFiles);
  if (data.natom <= 0) return;
  if (output.transform()) {  // reshaped tables: one after the other
    for (std::int32_t i = 1; i <= data.natom; ++i)
      writedos(prefix + atom_suffix(i), shift, atom_table(data.LDOS, data.ngrid, data.npcol, i),
               data.ngrid, data.npcol, output);
    return;
  }

  write_tables(
      data.natom, table_text_size(data.ngrid, data.npcol),
      [&](std::int32_t i) { return prefix + atom_suffix(i + 1); },
      [&](std::int32_t i, char* out) {
        format_table(shift, atom_table(data.LDOS, data.ngrid, data.npcol, i + 1),
                     data.ngrid, data.npcol, out);
      },
      output);
}

}  // namespace pdsplit
