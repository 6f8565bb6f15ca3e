#include <vector>

#include "base/messages.h"
#include "modes/errors.h"
#include "modes/modes.h"
#include "modes/operands.h"
#include "modes/sum_mode.h"
#include "output/names.h"

namespace pdsplit {

namespace {

SumOperands list_operands(Arguments args, std::int32_t natom) {
  if (args.size() == 1) noatom();
  std::size_t operands = args.size() - 1;
  // An operand that gives no value leaves its entry at 0, which the range
  // check below rejects.
  std::vector<std::int32_t> N(operands, 0);
  std::size_t failed = operands;  // index of the first unreadable operand
  for (std::size_t i = 0; i < operands; ++i) {
    std::string ARGV = fixed_text(args[1 + i], kOperandWidth);
    if (read_atom_number(ARGV, N[i]) == AtomRead::Error) {
      failed = i;
      break;
    }
  }
  // Only the last operand may be a name, and only with an atom before it.
  bool named = failed == operands - 1 && operands >= 2;
  if (failed < operands && !named) wrongindex();
  if (named) N.pop_back();
  for (std::int32_t n : N)
    if (n < 1 || n > natom) wrongindex();
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
