// What the projected modes keep of the atom blocks: one atom's table, or
// a sum of atoms made as the blocks are read.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/array.h"
#include "blocks/atom_sink.h"
#include "modes/modes.h"

namespace pdsplit {

// An array of doubles of `extents`, or the Failure with `failure`.
Array allocate(std::initializer_list<std::int64_t> extents, std::string_view failure);

// The atoms a sum adds, in the order it adds them: a range of atoms from
// the lower to the higher, or a list as given (atoms may repeat).
class AtomList {
 public:
  static AtomList range(std::int32_t first, std::int32_t last);
  static AtomList list(std::vector<std::int32_t> atoms);

  std::size_t size() const { return size_; }
  std::int32_t at(std::size_t position) const {
    return atoms_.empty() ? first_ + static_cast<std::int32_t>(position) : atoms_[position];
  }
  // Whether `atom` is added at `position` or after it.
  bool comes_from(std::int32_t atom, std::size_t position) const;
  // The atoms, as ranges.
  std::vector<AtomRange> ranges() const;

 private:
  std::int32_t first_ = 1;
  std::size_t size_ = 0;
  std::vector<std::int32_t> atoms_;  // empty for a range
  // Where each atom of a list stands last; a rising list (an element's
  // atoms) is searched instead, which costs no entry per atom.
  bool rising_ = false;
  std::unordered_map<std::int32_t, std::size_t> last_position_;
};

// The sum of the atoms of a list, made as their tables come in atom order
// (AtomSink::in_order): the table has the energies of atom 1 and, in
// every value column, the sum of the listed atoms, each sum starting from 0
// and adding the atoms in list order, in double precision; so it is the
// same whatever the order the blocks come in. A listed atom that comes
// before its turn is held until then.
class AtomSum {
 public:
  // The Failure "Allocate output array failed!" when the table's memory
  // cannot be had.
  AtomSum(AtomList list, const Projected& blocks);

  // Atom 1 (for the energies) and the listed atoms.
  std::vector<AtomRange> wanted() const;
  // Takes the table of `atom`; an atom the sum neither adds nor takes the
  // energies of changes nothing, so several sums may be handed every atom.
  void take(std::int32_t atom, const double* table);
  // The sum, once every wanted atom has been taken.
  const double* table() const { return sum_.get(); }

 private:
  void add(const std::vector<const double*>& tables);
  const double* held(std::int32_t atom) const;

  AtomList list_;
  Projected blocks_;
  std::size_t columns_, rows_;
  Array sum_;
  std::size_t next_ = 0;  // the position in the list of the next atom to add
  // Copies of atoms that came before their turn. Few and brief: on small
  // pages, each costing no more than its size.
  std::vector<std::pair<std::int32_t, std::unique_ptr<double[]>>> held_;
  std::vector<const double*> ready_;
};

}  // namespace pdsplit
