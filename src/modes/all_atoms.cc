#include "driver/errors.h"
#include "driver/messages.h"
#include "input/readdos.h"
#include "modes/modes.h"
#include "output/names.h"
#include "output/writedos.h"

namespace pdsplit {

void all_atoms(Arguments args, double shift, const Projected& data,
               Console& console, Output& output) {
  if (args.size() >= 3) manarg();
  std::string prefix =
      args.size() == 2 ? given_name(args[1]) : std::string(kAtomPrefix);
  console.line(text::kCreatingFiles);
  for (std::int32_t n = 1; n <= data.natom; ++n)
    writedos(prefix + atom_suffix(n), shift,
             atom_table(data.LDOS, data.ngrid, data.npcol, n), data.ngrid,
             data.npcol, output);
}

}  // namespace pdsplit
