#include "modes/errors.h"
#include "base/messages.h"
#include "input/readdos.h"
#include "modes/modes.h"
#include "modes/operands.h"
#include "output/names.h"
#include "output/writedos.h"

namespace pdsplit {

void single_atom(Arguments args, double shift, const Projected& data,
                 Console& console, Output& output) {
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
  refuse_overwriting_input(FILENAME, output.input());
  console.line(text::kCreatingFile);
  // An atom's table in LDOS already has the writer's shape: no copy.
  writedos(FILENAME, shift, atom_table(data.LDOS, data.ngrid, data.npcol, N),
           data.ngrid, data.npcol, output);
}

}  // namespace pdsplit
