#include <algorithm>

#include "base/failure.h"
#include "base/messages.h"
#include "modes/errors.h"
#include "modes/modes.h"
#include "modes/operands.h"
#include "modes/sum_mode.h"
#include "output/names.h"

namespace pdsplit {

namespace {

SumOperands range_operands(Arguments args, std::int32_t natom) {
  if (args.size() == 1) noatom();
  if (args.size() == 2) throw error_block(std::string(text::kTooFew));
  if (args.size() >= 5) manarg();
  std::int32_t N[2] = {one_atom(args[0], args[1], natom), one_atom(args[0], args[2], natom)};
  std::string FILENAME =
      args.size() == 4 ? given_name(args[3]) : std::string(kSumName);
  return {AtomList::range(std::min(N[0], N[1]), std::max(N[0], N[1])), FILENAME};
}

}  // namespace

std::unique_ptr<ProjectedMode> range_sum(Arguments args, double shift,
                                         const Projected& blocks) {
  return sum_mode([&] { return range_operands(args, blocks.natom); }, shift, blocks);
}

}  // namespace pdsplit
