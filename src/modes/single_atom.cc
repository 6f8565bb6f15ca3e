#include "driver/errors.h"
#include "driver/messages.h"
#include "modes/modes.h"
#include "modes/operands.h"
#include "output/names.h"
#include "output/writedos.h"

namespace pdsplit {

void single_atom(Arguments args, double shift, const Projected& data,
                 Console& console, Disk& disk) {
  if (args.size() == 1) noatom();
  if (args.size() >= 4) manarg();
  std::int32_t N = 0;
  std::string ARGV = fixed_text(args[1], kOperandWidth);
  if (read_atom_number(ARGV, N) == AtomRead::Error) wrongindex();
  if (N < 1 || N > data.natom) wrongindex();
  std::string SUFFIX = atom_suffix(N);
  std::string FILENAME = (args.size() == 3 ? given_name(args[2])
                                           : std::string(kAtomPrefix)) +
                         SUFFIX;
  copy_atom(data, N);
  console.line(text::kCreatingFile);
  writedos(FILENAME, shift, data.DOS, data.ngrid, data.npcol, disk);
}

}  // namespace pdsplit
