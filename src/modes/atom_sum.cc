#include "modes/atom_sum.h"

#include <algorithm>
#include <functional>
#include <new>
#include <string>

#include "base/failure.h"
#include "base/messages.h"
#include "base/parallel.h"
#include "blocks/read_atoms.h"

namespace pdsplit {

Array allocate(std::initializer_list<std::int64_t> extents, std::string_view failure) {
  Array array(extents);
  if (array.get() == nullptr) throw stop_with_message(std::string(failure));
  return array;
}

AtomList AtomList::range(std::int32_t first, std::int32_t last) {
  AtomList list;
  list.first_ = first;
  list.size_ = first <= last ? static_cast<std::size_t>(std::int64_t{last} - first + 1) : 0;
  return list;
}

AtomList AtomList::list(std::vector<std::int32_t> atoms) {
  AtomList list;
  list.atoms_ = std::move(atoms);
  list.size_ = list.atoms_.size();
  list.rising_ = std::adjacent_find(list.atoms_.begin(), list.atoms_.end(),
                                    std::greater_equal<>()) == list.atoms_.end();
  if (!list.rising_)
    for (std::size_t p = 0; p < list.size_; ++p) list.last_position_[list.atoms_[p]] = p;
  return list;
}

bool AtomList::comes_from(std::int32_t atom, std::size_t position) const {
  if (atoms_.empty())
    return atom >= first_ && static_cast<std::size_t>(std::int64_t{atom} - first_) < size_ &&
           static_cast<std::size_t>(std::int64_t{atom} - first_) >= position;
  if (rising_) {
    auto from = atoms_.begin() + static_cast<std::ptrdiff_t>(std::min(position, size_));
    auto it = std::lower_bound(from, atoms_.end(), atom);
    return it != atoms_.end() && *it == atom;
  }
  auto it = last_position_.find(atom);
  return it != last_position_.end() && it->second >= position;
}

std::vector<AtomRange> AtomList::ranges() const {
  if (atoms_.empty()) {
    if (size_ == 0) return {};
    return {{first_, static_cast<std::int32_t>(first_ + static_cast<std::int64_t>(size_) - 1)}};
  }
  std::vector<AtomRange> ranges;
  if (rising_) {
    for (std::int32_t atom : atoms_)
      if (!ranges.empty() && std::int64_t{ranges.back().last} + 1 == atom)
        ranges.back().last = atom;
      else
        ranges.push_back({atom, atom});
    return ranges;
  }
  for (const auto& [atom, position] : last_position_) ranges.push_back({atom, atom});
  return ranges;
}

AtomSum::AtomSum(AtomList list, const Projected& blocks)
    : list_(std::move(list)),
      blocks_(blocks),
      columns_(static_cast<std::size_t>(extent(blocks.npcol)) + 1),
      rows_(static_cast<std::size_t>(extent(blocks.ngrid))),
      sum_(allocate({blocks.ngrid, std::int64_t{blocks.npcol} + 1}, text::kAllocOutput)) {
  std::fill(sum_.get(), sum_.get() + rows_ * columns_, 0.0);
}

std::vector<AtomRange> AtomSum::wanted() const {
  std::vector<AtomRange> atoms = list_.ranges();
  atoms.push_back({1, 1});
  return atoms;
}

const double* AtomSum::held(std::int32_t atom) const {
  for (const auto& [a, copy] : held_)
    if (a == atom) return copy.get();
  return nullptr;
}

void AtomSum::take(std::int32_t atom, const double* table) {
  if (atom == 1)
    for (std::size_t g = 0; g < rows_; ++g) sum_.get()[g * columns_] = table[g * columns_];
  // Every atom whose turn has come: this one, and those held for it.
  ready_.clear();
  for (; next_ < list_.size(); ++next_) {
    std::int32_t a = list_.at(next_);
    const double* from = a == atom ? table : held(a);
    if (from == nullptr) break;
    ready_.push_back(from);
  }
  add(ready_);
  if (list_.comes_from(atom, next_)) {
    std::size_t count = rows_ * columns_;
    std::unique_ptr<double[]> copy(new double[std::max<std::size_t>(count, 1)]);
    std::copy(table, table + count, copy.get());
    held_.emplace_back(atom, std::move(copy));
  }
  std::erase_if(held_, [&](const auto& entry) { return !list_.comes_from(entry.first, next_); });
}

namespace {

// Adds `tables`, in order, to rows [first, last) of `sum`. The rows are
// taken a block at a time, each block's sum staying in the cache while
// every table is added to it in order (so every element still sees the
// additions in that order).
void add_rows(double* sum, const std::vector<const double*>& tables, std::size_t columns,
              std::size_t first, std::size_t last) {
  constexpr std::size_t kBlockRows = 64;
  for (std::size_t begin = first; begin < last; begin += kBlockRows) {
    std::size_t end = std::min(last, begin + kBlockRows);
    double* out = sum + begin * columns;
    std::size_t count = (end - begin) * columns;
    for (const double* table : tables) {
      const double* in = table + begin * columns;
      for (std::size_t i = 0; i < count; i += columns)
        for (std::size_t c = 1; c < columns; ++c) out[i + c] += in[i + c];
    }
  }
}

}  // namespace

void AtomSum::add(const std::vector<const double*>& tables) {
  if (tables.empty()) return;
  // A thread adds about a million numbers a millisecond.
  constexpr std::uint64_t kAdditionsPerThread = work_worth_a_thread(std::uint64_t{1} << 20);
  std::uint64_t additions = tables.size() * rows_ * (columns_ - 1);
  unsigned parts = parts_for(additions, kAdditionsPerThread,
                             static_cast<unsigned>(std::min<std::size_t>(blocks_.threads, rows_)));
  run_split(parts, [&](unsigned part, unsigned count) {
    add_rows(sum_.get(), tables, columns_, rows_ * part / count, rows_ * (part + 1) / count);
  });
}

}  // namespace pdsplit
