#include "driver/errors.h"
#include "driver/messages.h"
#include "modes/modes.h"
#include "output/names.h"
#include "output/writedos.h"

namespace pdsplit {

void all_atoms(Arguments args, double shift, const Projected& data,
               Console& console, Disk& disk) {
  if (args.size() >= 3) manarg();
  std::string prefix =
      args.size() == 2 ? given_name(args[1]) : std::string(kAtomPrefix);
  console.line(text::kCreatingFiles);
  for (std::int32_t n = 1; n <= data.natom; ++n) {
    copy_atom(data, n);
    writedos(prefix + atom_suffix(n), shift, data.DOS, data.ngrid, data.npcol,
             disk);
  }
}

}  // namespace pdsplit
