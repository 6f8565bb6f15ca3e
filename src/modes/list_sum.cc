#include <vector>

#include "base/messages.h"
#include "modes/errors.h"
#include "modes/modes.h"
#include "modes/operands.h"
#include "modes/sum_mode.h"
#include "output/names.h"

namespace pdsplit {

namespace {

// Atom numbers, lists and ranges, in the order given; the last operand is
// the output name when it is written as no atom list.
SumOperands list_operands(Arguments args, std::int32_t natom) {
  if (args.size() == 1) noatom();
  std::size_t operands = args.size() - 1;
  bool named = !looks_like_atom_list(args.back());
  if (named && operands == 1) wrongindex(args[0], args.back(), "no atom before the output name");
  std::vector<std::int32_t> N;
  for (std::size_t i = 1; i < args.size() - (named ? 1 : 0); ++i) {
    if (!looks_like_atom_list(args[i]))
      wrongindex(args[0], args[i], "not an atom list, and only the last operand names the output");
    std::vector<std::int32_t> atoms = listed_atoms(args[0], args[i], natom);
    N.insert(N.end(), atoms.begin(), atoms.end());
  }
  std::string FILENAME =
      named ? given_name(args.back()) : std::string(kSumName);
  return {AtomList::list(std::move(N)), FILENAME};
}

}  // namespace

std::unique_ptr<ProjectedMode> list_sum(Arguments args, double shift,
                                        const Projected& blocks) {
  return sum_mode([&] { return list_operands(args, blocks.natom); }, shift, blocks);
}

}  // namespace pdsplit
