#include "blocks/atom_ring.h"

#include <algorithm>
#include <string>

#include "base/failure.h"
#include "base/messages.h"

namespace pdsplit {

WantedAtoms::WantedAtoms(std::vector<AtomRange> ranges, std::int32_t natom) {
  std::vector<AtomRange> clipped;
  for (AtomRange r : ranges) {
    r.first = std::max(r.first, 1);
    r.last = std::min(r.last, natom);
    if (r.first <= r.last) clipped.push_back(r);
  }
  std::sort(clipped.begin(), clipped.end(),
            [](const AtomRange& a, const AtomRange& b) { return a.first < b.first; });
  for (const AtomRange& r : clipped) {
    if (!ranges_.empty() && std::int64_t{r.first} <= std::int64_t{ranges_.back().last} + 1) {
      ranges_.back().last = std::max(ranges_.back().last, r.last);
      continue;
    }
    ranges_.push_back(r);
  }
  for (const AtomRange& r : ranges_) {
    before_.push_back(count_);
    count_ += std::int64_t{r.last} - r.first + 1;
  }
}

std::int64_t WantedAtoms::rank(std::int64_t atom) const {
  // The last range that begins at or before the atom.
  auto after = std::upper_bound(ranges_.begin(), ranges_.end(), atom,
                                [](std::int64_t a, const AtomRange& r) { return a < r.first; });
  if (after == ranges_.begin()) return -1;
  auto i = static_cast<std::size_t>(after - ranges_.begin()) - 1;
  if (atom > ranges_[i].last) return -1;
  return before_[i] + (atom - ranges_[i].first);
}

std::int32_t WantedAtoms::atom(std::int64_t rank) const {
  auto after = std::upper_bound(before_.begin(), before_.end(), rank);
  auto i = static_cast<std::size_t>(after - before_.begin()) - 1;
  return static_cast<std::int32_t>(ranges_[i].first + (rank - before_[i]));
}

AtomRing::AtomRing(AtomSink& sink, const WantedAtoms& wanted, std::size_t table_size,
                   std::int64_t lines_per_atom, unsigned slots)
    : sink_(sink), wanted_(wanted), in_order_(sink.in_order()), lines_per_atom_(lines_per_atom) {
  count_ = static_cast<unsigned>(std::min<std::int64_t>(std::max(slots, 1u), wanted.count()));
  if (count_ == 0) return;
  std::size_t stride = std::max<std::size_t>(table_size, 1);
  memory_ = Memory(stride * count_ * sizeof(double));
  if (memory_.data() == nullptr) throw stop_with_message(std::string(text::kAllocInput));
  slots_ = std::make_unique<Slot[]>(count_);
  for (unsigned i = 0; i < count_; ++i) {
    slots_[i].table = static_cast<double*>(memory_.data()) + stride * i;
    slots_[i].rank.store(i);
  }
}

double* AtomRing::table_for(std::int64_t rank, std::size_t chunk) {
  Slot& slot = slot_of(rank);
  if (slot.rank.load(std::memory_order_acquire) == rank) return slot.table;
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] {
    return slot.rank.load() == rank || chunk > needed_up_to_ || broken_.load();
  });
  if (slot.rank.load() != rank) throw SlotAbandoned{};
  return slot.table;
}

void AtomRing::add_lines(std::int64_t rank, std::int64_t lines) {
  Slot& slot = slot_of(rank);
  if (slot.lines.fetch_add(lines, std::memory_order_acq_rel) + lines == lines_per_atom_)
    complete(rank, slot);
}

void AtomRing::complete(std::int64_t rank, Slot& slot) {
  if (!in_order_) {
    hand_to_sink(rank, slot);
    std::lock_guard lock(mutex_);
    free_locked(rank, slot);
    return;
  }
  std::unique_lock lock(mutex_);
  slot.complete = true;
  if (handing_on_ || rank != next_) return;
  // This thread hands on every complete atom from here, in order; the
  // atoms before next_ are all taken, so the slot of next_ holds next_.
  handing_on_ = true;
  for (Slot* next = &slot_of(next_); next->complete; next = &slot_of(next_)) {
    std::int64_t r = next_;
    lock.unlock();
    hand_to_sink(r, *next);
    lock.lock();
    free_locked(r, *next);
    ++next_;
  }
  handing_on_ = false;
}

void AtomRing::hand_to_sink(std::int64_t rank, Slot& slot) {
  if (broken_.load()) return;
  try {
    sink_.take(wanted_.atom(rank), slot.table);
    ++taken_;
  } catch (...) {
    std::lock_guard lock(mutex_);
    if (sink_failure_ == nullptr) sink_failure_ = std::current_exception();
    broken_.store(true);
    changed_.notify_all();
  }
}

void AtomRing::free_locked(std::int64_t rank, Slot& slot) {
  slot.complete = false;
  slot.lines.store(0, std::memory_order_relaxed);
  slot.rank.store(rank + count_, std::memory_order_release);
  changed_.notify_all();
}

void AtomRing::needed_up_to(std::size_t chunk) {
  std::lock_guard lock(mutex_);
  needed_up_to_ = std::min(needed_up_to_, chunk);
  changed_.notify_all();
}

void AtomRing::rethrow_sink_failure() {
  std::lock_guard lock(mutex_);
  if (sink_failure_ != nullptr) std::rethrow_exception(sink_failure_);
}

}  // namespace pdsplit
