#include <algorithm>

#include "driver/errors.h"
#include "driver/failure.h"
#include "driver/messages.h"
#include "input/readdos.h"
#include "modes/modes.h"
#include "modes/operands.h"
#include "output/names.h"
#include "output/writedos.h"

namespace pdsplit {

void range_sum(Arguments args, double shift, const Projected& data,
               Console& console, Disk& disk) {
  if (args.size() == 1) noatom();
  if (args.size() == 2) throw error_block(std::string(text::kTooFew));
  if (args.size() >= 5) manarg();
  std::int32_t N[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    std::string ARGV = fixed_text(args[1 + i], kOperandWidth);
    if (read_atom_number(ARGV, N[i]) == AtomRead::Error) wrongindex();
  }
  for (std::int32_t n : N)
    if (n < 1 || n > data.natom) wrongindex();
  std::string FILENAME =
      args.size() == 4 ? given_name(args[3]) : std::string(kSumName);

  copy_energies_of_first_atom(data);
  std::int32_t lo = std::min(N[0], N[1]) - 1, hi = std::max(N[0], N[1]) - 1;
  for (std::int32_t q = 1; q <= data.npcol; ++q) {
    for (std::int32_t g = 0; g < data.ngrid; ++g) {
      // The atoms of one grid point and column lie side by side in LDOS.
      const double* run = data.LDOS + ldos_index(data.natom, data.ngrid, 0, g, q);
      double sum = 0;
      for (std::int32_t a = lo; a <= hi; ++a) sum += run[a];
      data.DOS[g + static_cast<std::size_t>(data.ngrid) * q] = sum;
    }
  }
  console.line(text::kCreatingFile);
  writedos(FILENAME, shift, data.DOS, data.ngrid, data.npcol, disk);
}

}  // namespace pdsplit
