#include <algorithm>
#include <vector>

#include "modes/errors.h"
#include "base/failure.h"
#include "base/messages.h"
#include "modes/modes.h"
#include "modes/operands.h"
#include "output/names.h"
#include "output/writedos.h"

namespace pdsplit {

void range_sum(Arguments args, double shift, const Projected& data,
               Console& console, Output& output) {
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
  refuse_overwriting_input(FILENAME, output.input());

  std::vector<std::int32_t> atoms;
  for (std::int32_t a = std::min(N[0], N[1]); a <= std::max(N[0], N[1]); ++a)
    atoms.push_back(a);
  sum_atoms(data, atoms);
  console.line(text::kCreatingFile);
  writedos(FILENAME, shift, data.DOS, data.ngrid, data.npcol, output);
}

}  // namespace pdsplit
