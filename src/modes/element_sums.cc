// The element sums (-e): one table per element of the structure file, the
// sum of that element's atoms made exactly as -s2 makes the sum of the same
// atoms, named after the element.
#include <exception>
#include <vector>

#include "base/failure.h"
#include "base/messages.h"
#include "modes/atom_sum.h"
#include "modes/errors.h"
#include "modes/modes.h"
#include "modes/operands.h"
#include "output/names.h"
#include "output/write_tables.h"

namespace pdsplit {

namespace {

// Every atom block is added into its element's sum as it is read, so a run
// holds one table per element and never the blocks. The tables are written
// once the whole file has been read without fault, and put in place only
// when every one of them is written: a run that fails or is interrupted
// leaves none, as a failed -s2 leaves no table.
class ElementSums final : public ProjectedMode {
 public:
  ElementSums(Arguments args, double shift, const Projected& blocks, const Structure& structure)
      : shift_(shift), blocks_(blocks) {
    try {
      prefix_ = prefix_operand(args, kSumName);
    } catch (const Failure&) {
      error_ = std::current_exception();  // reported after reading
      return;
    }
    sums_.reserve(structure.elements.size());
    for (const Element& element : structure.elements) {
      symbols_.push_back(element.symbol);
      sums_.emplace_back(AtomList::list(element.atoms), blocks);
    }
  }

  // Every atom belongs to an element (the structure file's counts add up to
  // NATOM), and atom 1 gives every sum its energies.
  std::vector<AtomRange> wanted() const override {
    if (error_ != nullptr || blocks_.natom <= 0) return {};
    return {{1, blocks_.natom}};
  }
  bool in_order() const override { return true; }
  // Each sum adds the atoms it lists and passes over the others.
  void take(std::int32_t atom, const double* table) override {
    for (AtomSum& sum : sums_) sum.take(atom, table);
  }

  void finish(Console& console, Output& output) override {
    if (error_ != nullptr) std::rethrow_exception(error_);
    std::vector<NamedTable> tables;
    for (std::size_t e = 0; e < sums_.size(); ++e)
      tables.push_back({prefix_ + element_suffix(symbols_[e]), sums_[e].table()});
    for (const NamedTable& table : tables) refuse_overwriting_input(table.name, output);
    console.line(text::kCreatingFiles);
    write_all_or_none(tables, shift_, blocks_.ngrid, blocks_.npcol, output);
  }

 private:
  double shift_;
  Projected blocks_;
  std::string prefix_;
  std::exception_ptr error_;
  std::vector<std::string> symbols_;  // in the order of the structure file
  std::vector<AtomSum> sums_;         // of the same elements
};

}  // namespace

std::unique_ptr<ProjectedMode> element_sums(Arguments args, double shift,
                                            const Projected& blocks,
                                            const Structure& structure) {
  return std::make_unique<ElementSums>(args, shift, blocks, structure);
}

}  // namespace pdsplit
