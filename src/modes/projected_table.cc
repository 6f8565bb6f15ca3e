#include <algorithm>
#include <thread>
#include <vector>

#include "input/readdos.h"
#include "modes/modes.h"

namespace pdsplit {

namespace {

// Rows [first, last) of the sum. Adding atom after atom over the whole
// row range keeps the memory access sequential and the order of additions
// of every element the list order.
void sum_rows(const Projected& data, std::span<const std::int32_t> atoms,
              std::size_t first, std::size_t last) {
  std::size_t columns = static_cast<std::size_t>(data.npcol) + 1;
  double* out = data.DOS + first * columns;
  std::size_t count = (last - first) * columns;
  const double* atom1 = atom_table(data.LDOS, data.ngrid, data.npcol, 1) + first * columns;
  for (std::size_t i = 0; i < count; ++i) out[i] = i % columns == 0 ? atom1[i] : 0.0;
  for (std::int32_t atom : atoms) {
    const double* in = atom_table(data.LDOS, data.ngrid, data.npcol, atom) + first * columns;
    for (std::size_t i = 0; i < count; i += columns)
      for (std::size_t c = 1; c < columns; ++c) out[i + c] += in[i + c];
  }
}

}  // namespace

void sum_atoms(const Projected& data, std::span<const std::int32_t> atoms) {
  std::size_t rows = static_cast<std::size_t>(data.ngrid > 0 ? data.ngrid : 0);
  // A thread costs about a millisecond to start: worth it only for some
  // millions of additions.
  constexpr std::size_t kAdditionsPerThread = std::size_t{4} << 20;
  std::size_t additions = atoms.size() * rows * static_cast<std::size_t>(data.npcol);
  auto parts = static_cast<unsigned>(std::clamp<std::size_t>(
      std::min(additions / kAdditionsPerThread, rows), 1, data.threads));
  std::vector<std::jthread> helpers;
  for (unsigned p = 1; p < parts; ++p)
    helpers.emplace_back([&, p] { sum_rows(data, atoms, rows * p / parts, rows * (p + 1) / parts); });
  sum_rows(data, atoms, 0, rows / parts);
}

}  // namespace pdsplit
