#include "modes/sum_mode.h"

#include <exception>
#include <optional>

#include "base/failure.h"
#include "base/messages.h"
#include "output/names.h"
#include "output/writedos.h"

namespace pdsplit {

namespace {

class SumMode final : public ProjectedMode {
 public:
  SumMode(const std::function<SumOperands()>& operands, double shift, const Projected& blocks)
      : shift_(shift), blocks_(blocks) {
    try {
      SumOperands read = operands();
      name_ = std::move(read.name);
      sum_.emplace(std::move(read.atoms), blocks);
    } catch (const Failure& failure) {
      // An operand error is reported after reading; the table's memory
      // that cannot be had, now.
      if (failure.report() != Failure::Report::ErrorBlock) throw;
      error_ = std::current_exception();
    }
  }

  std::vector<AtomRange> wanted() const override {
    if (!sum_) return {};
    return sum_->wanted();
  }
  bool in_order() const override { return true; }
  void take(std::int32_t atom, const double* table) override { sum_->take(atom, table); }

  void finish(Console& console, Output& output) override {
    if (error_ != nullptr) std::rethrow_exception(error_);
    refuse_overwriting_input(name_, output);
    console.line(text::kCreatingFile);
    writedos(name_, shift_, sum_->table(), blocks_.ngrid, blocks_.npcol, output);
  }

 private:
  double shift_;
  Projected blocks_;
  std::string name_;
  std::optional<AtomSum> sum_;
  std::exception_ptr error_;
};

}  // namespace

std::unique_ptr<ProjectedMode> sum_mode(const std::function<SumOperands()>& operands,
                                        double shift, const Projected& blocks) {
  return std::make_unique<SumMode>(operands, shift, blocks);
}

}  // namespace pdsplit
