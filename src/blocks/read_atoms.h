// The projected-DOS block reader: every atom block of DOSCAR handed to a
// sink as it is read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/console.h"
#include "blocks/atom_sink.h"
#include "blocks/line_blocks.h"
#include "sources/source.h"

namespace pdsplit {

// The doubles of one atom's table: NGRID rows of NPCOL + 1 (the energy of
// that atom's line, then its NPCOL values), as the table writer takes it.
inline std::size_t atom_table_size(std::int32_t ngrid, std::int32_t npcol) {
  return static_cast<std::size_t>(extent(ngrid)) * (static_cast<std::size_t>(extent(npcol)) + 1);
}

// How the atom blocks are read: how the file is cut for the threads, and
// how many atoms the ring of tables holds at once (0: a few per thread, as
// many as fit in kRingBytes, at least one). Tests cut finely and use tiny
// rings.
struct ReadPlan {
  ChunkPlan chunks;
  unsigned ring_slots = 0;
};

// What the ring of atom tables may take: with the chunks each thread reads
// into, well below the 64 MB a run of any size stays within.
inline constexpr std::size_t kRingBytes = std::size_t{24} << 20;

// Reads the atom blocks of DOSCAR, opened through `files`, using up to
// `threads` threads, and hands the table of each atom `sink` wants to it
// as soon as its block is read (see AtomSink); then prints the closing
// line. Only a few atoms' tables are held at a time, whatever the size of
// the file. Every field of every block is read and checked. With
// `wrapped`, every grid point lies on two lines (NPCOL is then 64; see
// doscar_layout.h).
// Throws a Failure when DOSCAR cannot be read, ends early or holds a field
// that is no number; with several faults, the first in the file is
// reported, whatever the number of threads and however the file is cut.
// What the sink throws is thrown on.
void read_atoms(std::int32_t natom, std::int32_t ngrid, std::int32_t npcol, bool wrapped,
                AtomSink& sink, Console& console, Opener& files, unsigned threads,
                const ReadPlan& plan = {});

}  // namespace pdsplit
