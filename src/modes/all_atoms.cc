#include <algorithm>
#include <atomic>
#include <cerrno>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/array.h"
#include "base/failure.h"
#include "base/messages.h"
#include "modes/errors.h"
#include "modes/modes.h"
#include "modes/operands.h"
#include "output/names.h"
#include "output/pending_tables.h"
#include "output/table_transform.h"
#include "output/writedos.h"

namespace pdsplit {

namespace {

// Formats and writes each atom's table as soon as its block is read, on
// the thread that completed it (so tables are formatted on every reading
// thread at once), into a temporary file; all are put in place in order
// once the whole file has been read without fault. After a table that
// cannot be written, the later ones are no longer made: they would never
// be put in place.
class AllAtoms final : public ProjectedMode {
 public:
  AllAtoms(Arguments args, double shift, const Projected& blocks, Output& output)
      : shift_(shift), blocks_(blocks), tables_(output.disk()),
        beside_(output.disk()), size_(table_text_size(blocks.ngrid, blocks.npcol)),
        transform_(output.transform()) {
    try {
      prefix_ = prefix_operand(args, kAtomPrefix);
    } catch (const Failure&) {
      error_ = std::current_exception();  // reported after reading
    }
  }

  std::vector<AtomRange> wanted() const override {
    if (error_ != nullptr || blocks_.natom <= 0) return {};
    return {{1, blocks_.natom}};
  }
  // Tables come in any order, on every reading thread at once, reshaped
  // or not.
  bool in_order() const override { return false; }

  void take(std::int32_t atom, const double* table) override {
    auto index = static_cast<std::size_t>(atom - 1);
    if (tables_.failed_before(index)) return;
    std::string name = prefix_ + atom_suffix(atom);
    if (transform_ != nullptr) return take_reshaped(index, name, table);
    Memory buffer = take_buffer(size_);
    if (buffer.data() == nullptr) {
      tables_.fail(index, name, ENOMEM);
      return;
    }
    char* text = static_cast<char*>(buffer.data());
    // A table worth several threads (atoms of a hundred thousand points)
    // is shared out: the other readers may be waiting for its slot.
    format_table(shift_, table, blocks_.ngrid, blocks_.npcol, text, blocks_.threads);
    tables_.write(index, name, text, size_);
    give_back(std::move(buffer));
  }

  void finish(Console& console, Output& output) override {
    if (error_ != nullptr) std::rethrow_exception(error_);
    for (std::int32_t i = 1; i <= blocks_.natom; ++i)
      refuse_overwriting_input(prefix_ + atom_suffix(i), output);
    console.line(text::kCreatingFiles);
    if (blocks_.natom <= 0) return;
    std::size_t placed = 0;
    try {
      tables_.put_in_place(static_cast<std::size_t>(blocks_.natom), output,
                           beside_written_ ? &beside_ : nullptr, &placed);
    } catch (const Failure& failure) {
      if (placed == 0) throw;
      // The tables before the one that failed are in place: say which.
      throw Failure(failure.report(), failure.status(),
                    failure.text() + (placed == 1 ? std::string(" (the table of atom 1 is in place)")
                                                  : " (the tables of atoms 1-" +
                                                        std::to_string(placed) + " are in place)"));
    }
  }

 private:
  // What the options made of a table besides its files: the lines to
  // print, or the failure that stopped them.
  struct Made {
    std::vector<std::string> lines;
    std::exception_ptr failure;
  };

  // The table as the options make it, and the file beside it (moments),
  // made and written on this thread; what the options print of it, or the
  // failure that stopped them, waits for the tables before it.
  void take_reshaped(std::size_t index, const std::string& name, const double* table) {
    Made made;
    try {
      TransformedTable t =
          transform_->transform(name, shift_, table, blocks_.ngrid, blocks_.npcol, &made.lines);
      std::size_t size = t.head.size() + table_text_size(t.ngrid, t.k);
      Memory buffer = take_buffer(size);
      if (buffer.data() == nullptr) {
        tables_.fail(index, name, ENOMEM);
      } else {
        char* text = static_cast<char*>(buffer.data());
        std::copy(t.head.begin(), t.head.end(), text);
        format_table(shift_, t.table, t.ngrid, t.k, text + t.head.size(), blocks_.threads,
                     t.follower.get());
        tables_.write(index, name, text, size);
        give_back(std::move(buffer));
      }
      finish_following(t, &made.lines);
      if (!t.beside.empty()) {
        const TableFile& file = t.beside.front();
        beside_.write(index, file.name, file.text.data(), file.text.size());
        beside_written_ = true;
      }
    } catch (...) {
      made.failure = std::current_exception();
    }
    publish(index, std::move(made));
  }

  // Prints the lines of every reshaped table whose turn has come, in atom
  // order, as if the tables had been made one at a time in that order:
  // none after a table that could not be written (those tables would not
  // have been made), and the failure of the first table that could not be
  // made is thrown once its turn comes (the lines made before it printed),
  // which ends the reading; tables made after it are never put in place.
  void publish(std::size_t index, Made made) {
    std::lock_guard lock(order_mutex_);
    if (stopped_) return;
    waiting_.emplace(index, std::move(made));
    for (auto it = waiting_.find(next_); it != waiting_.end(); it = waiting_.find(next_)) {
      Made now = std::move(it->second);
      waiting_.erase(it);
      std::size_t turn = next_++;
      if (tables_.failed_before(turn)) continue;
      transform_->print(now.lines);
      if (now.failure != nullptr) {
        stopped_ = true;
        std::rethrow_exception(now.failure);
      }
    }
  }

  // A buffer for one table's text, of at least `size` bytes: one per
  // thread that formats at once.
  Memory take_buffer(std::size_t size) {
    {
      std::lock_guard lock(mutex_);
      if (!buffers_.empty()) {
        Memory buffer = std::move(buffers_.back());
        buffers_.pop_back();
        if (buffer.size() >= size) return buffer;
      }
    }
    return Memory(size);
  }
  void give_back(Memory buffer) {
    std::lock_guard lock(mutex_);
    buffers_.push_back(std::move(buffer));
  }

  double shift_;
  Projected blocks_;
  PendingTables tables_;
  PendingTables beside_;  // the files beside reshaped tables
  std::size_t size_;
  TableTransform* transform_;
  std::atomic<bool> beside_written_{false};
  // What reshaped tables print, or the failure that stopped them, until
  // their turn: by index, from next_ on.
  std::mutex order_mutex_;
  std::map<std::size_t, Made> waiting_;
  std::size_t next_ = 0;
  bool stopped_ = false;
  std::string prefix_;
  std::exception_ptr error_;
  std::mutex mutex_;
  std::vector<Memory> buffers_;
};

}  // namespace

std::unique_ptr<ProjectedMode> all_atoms(Arguments args, double shift,
                                         const Projected& blocks, Output& output) {
  return std::make_unique<AllAtoms>(args, shift, blocks, output);
}

}  // namespace pdsplit
