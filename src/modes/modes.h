// The five extractions. Each runs after DOSCAR has been read into memory:
// it checks its operands, names its output, fills the table and writes it.
// `args` is the whole command line after the program name (args[0] is the
// option); `shift` is what the writer subtracts from every energy.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "driver/console.h"
#include "output/disk.h"

namespace pdsplit {

using Arguments = std::span<const std::string>;

// Reads the total-DOS block into TDOS (NGRID rows, NTCOL + 1 columns, the
// grid index fastest) and prints the closing line.
void readtdos(double* TDOS, std::int32_t ngrid, std::int32_t ntcol,
              Console& console);

// Writes TDOS to "iDOS" or the given name.
void total_dos(Arguments args, double shift, const double* TDOS,
               std::int32_t ngrid, std::int32_t ntcol, Console& console,
               Disk& disk);

// The projected blocks of all atoms as read by readdos, and the output
// table the projected modes fill (NGRID rows, NPCOL + 1 columns).
struct Projected {
  const double* LDOS;
  double* DOS;
  std::int32_t natom, ngrid, npcol;
};

void single_atom(Arguments args, double shift, const Projected& data,
                 Console& console, Disk& disk);
void all_atoms(Arguments args, double shift, const Projected& data,
               Console& console, Disk& disk);
void range_sum(Arguments args, double shift, const Projected& data,
               Console& console, Disk& disk);
void list_sum(Arguments args, double shift, const Projected& data,
              Console& console, Disk& disk);

// Copies atom `atom` (1-based) of LDOS into DOS, its own energies included.
void copy_atom(const Projected& data, std::int32_t atom);

// DOS column 1 from the energies of atom 1, as the sum tables show them.
void copy_energies_of_first_atom(const Projected& data);

}  // namespace pdsplit
