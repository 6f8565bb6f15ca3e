// Where the atom blocks of DOSCAR go as they are read: a consumer that
// takes each atom's table once its block is complete, so that no run holds
// the projected DOS of every atom.
#pragma once

#include <cstdint>
#include <vector>

namespace pdsplit {

// Atoms first to last (1-based, both included).
struct AtomRange {
  std::int32_t first = 1, last = 0;
};

class AtomSink {
 public:
  virtual ~AtomSink() = default;

  // The atoms whose tables the sink takes, asked once before reading;
  // the blocks of the others are read and checked all the same.
  virtual std::vector<AtomRange> wanted() const = 0;

  // Whether the tables must come one at a time in atom order (a sum adds
  // them in order), or may come in any order and on several threads at
  // once.
  virtual bool in_order() const = 0;

  // Takes the table of atom `atom` (1-based): NGRID rows of NPCOL + 1
  // doubles, the energy then the values of each grid point, valid during
  // the call. Called on any of the reading threads, only for complete
  // blocks read without fault, and only for wanted atoms. An exception
  // ends the reading and is thrown on by the reader.
  virtual void take(std::int32_t atom, const double* table) = 0;
};

}  // namespace pdsplit
