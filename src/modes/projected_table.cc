#include "input/readdos.h"
#include "modes/modes.h"

namespace pdsplit {

void copy_atom(const Projected& data, std::int32_t atom) {
  for (std::int32_t q = 0; q <= data.npcol; ++q)
    for (std::int32_t g = 0; g < data.ngrid; ++g)
      data.DOS[g + static_cast<std::size_t>(data.ngrid) * q] =
          data.LDOS[ldos_index(data.natom, data.ngrid, atom - 1, g, q)];
}

void copy_energies_of_first_atom(const Projected& data) {
  for (std::int32_t g = 0; g < data.ngrid; ++g)
    data.DOS[g] = data.LDOS[ldos_index(data.natom, data.ngrid, 0, g, 0)];
}

}  // namespace pdsplit
