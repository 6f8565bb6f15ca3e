// The six extractions. `args` is the whole command line after the
// program name (args[0] is the option); `shift` is what the writer
// subtracts from every energy.
//
// The projected modes run alongside the reading of DOSCAR: made before it,
// they take the atom blocks they need as they are read (AtomSink), then
// finish once the whole file has been read without fault. What they keep
// is decided from the operands before reading, silently; the operands are
// checked and their errors reported only in finish, as if the file had
// been read first. No table is put in place before finish.
//
// Tables are NGRID rows of K + 1 doubles, row after row: the energy, then
// the K values of that grid point.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/console.h"
#include "blocks/atom_sink.h"
#include "structure/structure.h"
#include "output/writedos.h"

namespace pdsplit {

using Arguments = std::span<const std::string>;

// Writes TDOS to "iDOS" or the given name.
void total_dos(Arguments args, double shift, const double* TDOS,
               std::int32_t ngrid, std::int32_t ntcol, Console& console,
               Output& output);

// The shape of the atom blocks, and the threads the modes may use.
struct Projected {
  std::int32_t natom, ngrid, npcol;
  unsigned threads;
};

class ProjectedMode : public AtomSink {
 public:
  // After the whole file has been read without fault: checks the operands
  // (throwing their error blocks), names the tables and puts them in place.
  virtual void finish(Console& console, Output& output) = 0;
};

// The modes, ready to read; they may throw the Failure of memory that
// cannot be had for their tables.
std::unique_ptr<ProjectedMode> single_atom(Arguments args, double shift,
                                           const Projected& blocks);
std::unique_ptr<ProjectedMode> all_atoms(Arguments args, double shift,
                                         const Projected& blocks, Output& output);
std::unique_ptr<ProjectedMode> range_sum(Arguments args, double shift,
                                         const Projected& blocks);
std::unique_ptr<ProjectedMode> list_sum(Arguments args, double shift,
                                        const Projected& blocks);
// One sum per element of `structure`, each over that element's atoms.
std::unique_ptr<ProjectedMode> element_sums(Arguments args, double shift,
                                            const Projected& blocks,
                                            const Structure& structure);

}  // namespace pdsplit
