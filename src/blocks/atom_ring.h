// The tables of the atoms being read, in a ring of slots reused from atom
// to atom: threads parse lines into the slot of their atom, and each
// complete atom is handed to an AtomSink and its slot freed for a later
// atom.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "base/array.h"
#include "blocks/atom_sink.h"

namespace pdsplit {

// The atoms a sink wants, counted in atom order: atom k wanted is the
// rank-th (from 0).
class WantedAtoms {
 public:
  // Ranges in any order, overlapping or not; atoms outside 1..natom are
  // not wanted.
  WantedAtoms(std::vector<AtomRange> ranges, std::int32_t natom);

  std::int64_t count() const { return count_; }
  // The rank of `atom`, or -1 when it is not wanted.
  std::int64_t rank(std::int64_t atom) const;
  // The atom of rank `rank` (0 <= rank < count()).
  std::int32_t atom(std::int64_t rank) const;

 private:
  std::vector<AtomRange> ranges_;    // ascending, disjoint, not touching
  std::vector<std::int64_t> before_;  // ranks before each range
  std::int64_t count_ = 0;
};

// Thrown to a worker that waited for a slot when its chunk is no longer
// needed (a fault before it) or the sink failed: its lines no longer count.
struct SlotAbandoned {};

// A slot per wanted atom in flight: the atom of rank r lies in slot
// r % slots. Its lines are counted as they are read (the atom's header
// line too); the thread that counts the last one completes the atom.
// Complete atoms go to the sink as AtomSink::in_order asks: in order, one
// at a time, taken by whichever thread completes the next one in order
// (it then also hands on those after it that are complete); or at once, on
// the thread that completes them. A slot is free again once its atom has
// been taken.
//
// A thread waits only for the slot of an atom that is not yet in the ring,
// and only after counting every line it has read: all lines of the atoms
// before it are then read or being read by threads that wait for nothing
// but earlier atoms, so the wait ends, unless a chunk before its own
// fails (needed_up_to), which ends the wait with SlotAbandoned.
class AtomRing {
 public:
  // Slots for `slots` tables of `table_size` doubles (fewer when fewer
  // atoms are wanted); the Failure "Allocate input array failed!" when
  // the memory cannot be had.
  AtomRing(AtomSink& sink, const WantedAtoms& wanted, std::size_t table_size,
           std::int64_t lines_per_atom, unsigned slots);
  AtomRing(const AtomRing&) = delete;
  AtomRing& operator=(const AtomRing&) = delete;

  // The table of the atom of rank `rank`, read by a worker of chunk
  // `chunk`; waits for its slot to be free. Throws SlotAbandoned.
  double* table_for(std::int64_t rank, std::size_t chunk);

  // `lines` more lines of the atom of rank `rank` are read.
  void add_lines(std::int64_t rank, std::int64_t lines);

  // No chunk after `chunk` is needed.
  void needed_up_to(std::size_t chunk);

  // After reading: throws what the sink threw, if it did.
  void rethrow_sink_failure();

  // Atoms taken by the sink.
  std::int64_t taken() const { return taken_.load(); }

 private:
  struct Slot {
    double* table = nullptr;
    std::atomic<std::int64_t> rank{0};  // the atom it holds, or holds next
    std::atomic<std::int64_t> lines{0};
    bool complete = false;              // under the lock
  };
  Slot& slot_of(std::int64_t rank) {
    return slots_[static_cast<std::size_t>(rank % static_cast<std::int64_t>(count_))];
  }
  void complete(std::int64_t rank, Slot& slot);
  void hand_to_sink(std::int64_t rank, Slot& slot);
  void free_locked(std::int64_t rank, Slot& slot);

  AtomSink& sink_;
  const WantedAtoms& wanted_;
  const bool in_order_;
  const std::int64_t lines_per_atom_;
  unsigned count_ = 0;
  Memory memory_;
  std::unique_ptr<Slot[]> slots_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::int64_t next_ = 0;     // in order: the next atom to hand on
  bool handing_on_ = false;   // in order: a thread is handing atoms on
  std::size_t needed_up_to_ = static_cast<std::size_t>(-1);
  std::atomic<bool> broken_{false};  // the sink failed
  std::exception_ptr sink_failure_;
  std::atomic<std::int64_t> taken_{0};
};

}  // namespace pdsplit
