#include <algorithm>
#include <thread>
#include <vector>

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
  std::size_t columns = static_cast<std::size_t>(data.npcol) + 1;
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
  std::size_t rows = static_cast<std::size_t>(data.ngrid > 0 ? data.ngrid : 0);
  // A thread costs about a millisecond to start: worth it only for a
  // million additions or more.
  constexpr std::size_t kAdditionsPerThread = std::size_t{1} << 20;
  std::size_t additions = atoms.size() * rows * static_cast<std::size_t>(data.npcol);
  auto parts = static_cast<unsigned>(std::clamp<std::size_t>(
      std::min(additions / kAdditionsPerThread, rows), 1, data.threads));
  std::vector<std::jthread> helpers;
  for (unsigned p = 1; p < parts; ++p)
    helpers.emplace_back([&, p] { sum_rows(data, atoms, rows * p / parts, rows * (p + 1) / parts); });
  sum_rows(data, atoms, 0, rows / parts);
}

}  // namespace pdsplit
