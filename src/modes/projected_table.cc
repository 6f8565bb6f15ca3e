#include <algorithm>
#include <cstdint>

#include "base/parallel.h"
#include "input/doscar_layout.h"
#include "input/readdos.h"
#include "modes/modes.h"

namespace pdsplit {

namespace {

// Rows [first, last) of the sum. The rows are taken a block at a time,
// each block's sum staying in the cache while every atom is added to it
// in list order (so every element still sees the additions in that
// order); the atom tables stream through once.
void sum_rows(const Projected& data, std::span<const std::int32_t> atoms,
              std::size_t first, std::size_t last) {
  constexpr std::size_t kBlockRows = 64;
  auto columns = static_cast<std::size_t>(extent(data.npcol)) + 1;
  for (std::size_t begin = first; begin < last; begin += kBlockRows) {
    std::size_t end = std::min(last, begin + kBlockRows);
    double* out = data.DOS + begin * columns;
    std::size_t count = (end - begin) * columns;
    const double* atom1 = atom_table(data.LDOS, data.ngrid, data.npcol, 1) + begin * columns;
    for (std::size_t i = 0; i < count; ++i) out[i] = i % columns == 0 ? atom1[i] : 0.0;
    for (std::int32_t atom : atoms) {
      const double* in = atom_table(data.LDOS, data.ngrid, data.npcol, atom) + begin * columns;
      for (std::size_t i = 0; i < count; i += columns)
        for (std::size_t c = 1; c < columns; ++c) out[i + c] += in[i + c];
    }
  }
}

}  // namespace

void sum_atoms(const Projected& data, std::span<const std::int32_t> atoms) {
  auto rows = static_cast<std::size_t>(extent(data.ngrid));
  // A thread adds about a million numbers a millisecond.
  constexpr std::uint64_t kAdditionsPerThread = work_worth_a_thread(std::uint64_t{1} << 20);
  std::uint64_t additions = atoms.size() * rows * static_cast<std::uint64_t>(extent(data.npcol));
  unsigned parts = parts_for(additions, kAdditionsPerThread,
                             static_cast<unsigned>(std::min<std::size_t>(data.threads, rows)));
  run_split(parts, [&](unsigned part, unsigned count) {
    sum_rows(data, atoms, rows * part / count, rows * (part + 1) / count);
  });
}

}  // namespace pdsplit
