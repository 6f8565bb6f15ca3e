// The five extractions. Each runs after DOSCAR has been read into memory:
// it checks its operands, names its output, fills the table and writes it.
// `args` is the whole command line after the program name (args[0] is the
// option); `shift` is what the writer subtracts from every energy.
//
// Tables are NGRID rows of K + 1 doubles, row after row: the energy, then
// the K values of that grid point.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/console.h"
#include "output/writedos.h"

namespace pdsplit {

using Arguments = std::span<const std::string>;

// Writes TDOS to "iDOS" or the given name.
void total_dos(Arguments args, double shift, const double* TDOS,
               std::int32_t ngrid, std::int32_t ntcol, Console& console,
               Output& output);

// The projected blocks of all atoms as read by readdos (one table per
// atom), the threads the modes may use, and, for the sums, the output table
// DOS (NGRID rows of NPCOL + 1).
struct Projected {
  const double* LDOS;
  double* DOS;
  std::int32_t natom, ngrid, npcol;
  unsigned threads;
};

void single_atom(Arguments args, double shift, const Projected& data,
                 Console& console, Output& output);
void all_atoms(Arguments args, double shift, const Projected& data,
               Console& console, Output& output);
void range_sum(Arguments args, double shift, const Projected& data,
               Console& console, Output& output);
void list_sum(Arguments args, double shift, const Projected& data,
              Console& console, Output& output);

// Fills DOS with the energies of atom 1 and, in every value column, the
// sum of the listed atoms (1-based), each sum starting from 0 and adding
// the atoms in list order, in double precision.
void sum_atoms(const Projected& data, std::span<const std::int32_t> atoms);

}  // namespace pdsplit
