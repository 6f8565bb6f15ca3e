// The two sums (-s1, -s2) differ only in their operands.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "modes/atom_sum.h"
#include "modes/modes.h"

namespace pdsplit {

// What a sum's operands give: the atoms it adds and its table's name.
struct SumOperands {
  AtomList atoms;
  std::string name;
};

// A sum whose operands `operands` reads (throwing their error blocks; all
// but the check that the table would not replace DOSCAR).
std::unique_ptr<ProjectedMode> sum_mode(const std::function<SumOperands()>& operands,
                                        double shift, const Projected& blocks);

}  // namespace pdsplit
