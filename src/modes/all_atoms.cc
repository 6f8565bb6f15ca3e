#include <algorithm>
#include <future>
#include <new>
#include <thread>
#include <vector>

#include "driver/array.h"
#include "driver/errors.h"
#include "driver/messages.h"
#include "input/readdos.h"
#include "modes/modes.h"
#include "output/names.h"
#include "output/writedos.h"

namespace pdsplit {

namespace {

// Tables are formatted in batches of about this many bytes, the next batch
// while the current one is written.
constexpr std::size_t kBatchBytes = std::size_t{16} << 20;

// Formats the tables of atoms [first, first + count) into `text`, one after
// the other, spread over `threads` threads.
void format_batch(const Projected& data, double shift, std::int32_t first,
                  std::int32_t count, std::size_t table_bytes, unsigned threads,
                  char* text) {
  auto work = [&](std::int32_t from, std::int32_t to) {
    for (std::int32_t n = from; n < to; ++n)
      format_table(shift, atom_table(data.LDOS, data.ngrid, data.npcol, first + n),
                   data.ngrid, data.npcol, text + table_bytes * static_cast<std::size_t>(n));
  };
  unsigned parts = std::clamp<unsigned>(static_cast<unsigned>(count), 1, threads);
  std::vector<std::jthread> helpers;
  for (unsigned p = 1; p < parts; ++p)
    helpers.emplace_back(work, static_cast<std::int32_t>(count * p / parts),
                         static_cast<std::int32_t>(count * (p + 1) / parts));
  work(0, static_cast<std::int32_t>(count / parts));
}

}  // namespace

void all_atoms(Arguments args, double shift, const Projected& data,
               Console& console, Output& output) {
  if (args.size() >= 3) manarg();
  std::string prefix =
      args.size() == 2 ? given_name(args[1]) : std::string(kAtomPrefix);
  console.line(text::kCreatingFiles);
  if (data.natom <= 0) return;

  // Tables are written in atom order, each whole or not at all, and the run
  // ends at the first that fails, as if they were formatted one by one.
  std::size_t table_bytes = table_text_size(data.ngrid, data.npcol);
  auto batch = static_cast<std::int32_t>(std::clamp<std::size_t>(
      kBatchBytes / std::max<std::size_t>(table_bytes, 1), 1,
      static_cast<std::size_t>(data.natom)));
  Memory texts[2] = {Memory(table_bytes * batch), Memory(table_bytes * batch)};
  if (texts[0].data() == nullptr || texts[1].data() == nullptr) throw std::bad_alloc();
  auto text_of = [&](int turn) { return static_cast<char*>(texts[turn].data()); };
  auto start = [&](std::int32_t first, int turn) {
    std::int32_t count = std::min(batch, data.natom - first + 1);
    return std::async(std::launch::async, format_batch, std::cref(data), shift,
                      first, count, table_bytes, output.threads(), text_of(turn));
  };
  std::future<void> formatting = start(1, 0);
  for (std::int32_t first = 1, turn = 0; first <= data.natom; first += batch, turn ^= 1) {
    formatting.get();
    std::future<void> next;
    if (first + batch <= data.natom) next = start(first + batch, turn ^ 1);
    std::int32_t count = std::min(batch, data.natom - first + 1);
    for (std::int32_t n = 0; n < count; ++n) {
      write_table_text(prefix + atom_suffix(first + n),
                       text_of(turn) + table_bytes * static_cast<std::size_t>(n),
                       table_bytes, output.disk());
      output.written(table_bytes);
    }
    formatting = std::move(next);
  }
}

}  // namespace pdsplit
