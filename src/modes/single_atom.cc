#include <cstring>
#include <exception>

#include "base/failure.h"
#include "base/messages.h"
#include "blocks/read_atoms.h"
#include "modes/atom_sum.h"
#include "modes/errors.h"
#include "modes/modes.h"
#include "modes/operands.h"
#include "output/names.h"
#include "output/writedos.h"

namespace pdsplit {

namespace {

struct AtomOperands {
  std::int32_t atom = 0;
  std::string name;
};

// The operands of -p, or their error block; all but the check that the
// table would not replace DOSCAR.
AtomOperands atom_operands(Arguments args, std::int32_t natom) {
  if (args.size() == 1) noatom();
  if (args.size() >= 4) manarg();
  std::int32_t N = one_atom(args[0], args[1], natom);
  // Standard output takes the table as it is, under no name.
  if (args.size() == 3 && args[2] == kStandardOutput) return {N, std::string(kStandardOutput)};
  std::string SUFFIX = atom_suffix(N);
  std::string FILENAME = (args.size() == 3 ? given_name(args[2])
                                           : std::string(kAtomPrefix)) +
                         SUFFIX;
  return {N, FILENAME};
}

// Keeps the one atom's table.
class SingleAtom final : public ProjectedMode {
 public:
  SingleAtom(Arguments args, double shift, const Projected& blocks)
      : shift_(shift), blocks_(blocks) {
    try {
      operands_ = atom_operands(args, blocks.natom);
    } catch (const Failure&) {
      error_ = std::current_exception();  // reported after reading
      return;
    }
    table_ = allocate({blocks.ngrid, std::int64_t{blocks.npcol} + 1}, text::kAllocInput);
  }

  std::vector<AtomRange> wanted() const override {
    if (error_ != nullptr) return {};
    return {{operands_.atom, operands_.atom}};
  }
  bool in_order() const override { return true; }
  void take(std::int32_t, const double* table) override {
    std::memcpy(table_.get(), table,
                atom_table_size(blocks_.ngrid, blocks_.npcol) * sizeof(double));
  }

  void finish(Console& console, Output& output) override {
    if (error_ != nullptr) std::rethrow_exception(error_);
    refuse_overwriting_input(operands_.name, output);
    console.line(text::kCreatingFile);
    writedos(operands_.name, shift_, table_.get(), blocks_.ngrid, blocks_.npcol, output);
  }

 private:
  double shift_;
  Projected blocks_;
  AtomOperands operands_;
  std::exception_ptr error_;
  Array table_;
};

}  // namespace

std::unique_ptr<ProjectedMode> single_atom(Arguments args, double shift,
                                           const Projected& blocks) {
  return std::make_unique<SingleAtom>(args, shift, blocks);
}

}  // namespace pdsplit
