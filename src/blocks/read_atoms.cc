#include "blocks/read_atoms.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/messages.h"
#include "blocks/atom_ring.h"
#include "doscar/doscar_reader.h"
#include "doscar/doscar_layout.h"
#include "blocks/line_blocks.h"
#include "doscar/value_line.h"

namespace pdsplit {

namespace {

// Where the lines of the atom blocks go: after the total-DOS block each
// atom has a header line and the lines of its NGRID grid points, so line
// numbers alone say which atom and which row a line belongs to.
struct AtomLines {
  AtomLines(std::int32_t ngrid, std::int32_t npcol, bool wrapped)
      : grid(extent(ngrid)),
        first_atom_line(7 + grid),
        wrapped(wrapped),
        per_atom(lines_per_point(wrapped) * grid + 1),
        first_values(wrapped ? kFirstLineValues : npcol),
        row_size(static_cast<std::size_t>(extent(npcol)) + 1) {}

  // Reads value line `number`, line j (from 0) of its atom's grid points,
  // into the atom's table.
  void read(std::int64_t number, std::int64_t j, std::string_view line, bool complete,
            double* table) const {
    // Grid points take one line, or two when wrapped.
    std::int64_t point = wrapped ? j >> 1 : j;
    double* row = table + static_cast<std::size_t>(point) * row_size;
    if (!wrapped || (j & 1) == 0)
      read_value_line(line, first_values, number, complete, row);
    else
      read_continuation_line(line, number, complete, row);
  }

  std::int64_t grid;
  std::int64_t first_atom_line;
  bool wrapped;
  std::int64_t per_atom;  // lines, the header line included
  std::int32_t first_values;
  std::size_t row_size;
};

// A thread's reading of atom lines: the lines of wanted atoms into their
// slots in the ring, counted an atom at a time; those of other atoms
// read and checked into a row of its own.
class AtomWorker final : public LineWorker {
 public:
  AtomWorker(const AtomLines& layout, const WantedAtoms& wanted, AtomRing& ring)
      : layout_(layout), wanted_(wanted), ring_(ring),
        scratch_(layout.row_size) {}

  void begin_chunk(std::size_t chunk) override {
    chunk_ = chunk;
    atom_ = -1;
    rank_ = -1;
    counted_ = 0;
    next_ = -1;
  }

  void line(std::int64_t number, std::string_view text, bool complete) override {
    // Where the line lies: found from its number for a chunk's first line,
    // then by counting, as lines come one after the other.
    if (number != next_) {
      std::int64_t offset = number - layout_.first_atom_line;
      line_in_atom_ = offset % layout_.per_atom;
      if (offset / layout_.per_atom != atom_) enter(offset / layout_.per_atom);
    } else if (++line_in_atom_ == layout_.per_atom) {
      line_in_atom_ = 0;
      enter(atom_ + 1);
    }
    next_ = number + 1;
    if (line_in_atom_ > 0) {  // not the atom's header line
      if (rank_ >= 0) {
        layout_.read(number, line_in_atom_ - 1, text, complete, table_);
      } else {
        // Any row will do: the values are checked and dropped.
        layout_.read(number, (line_in_atom_ - 1) & (layout_.wrapped ? 1 : 0), text, complete,
                     scratch_.data());
      }
    }
    ++counted_;
  }

  void end_chunk() override { count(); }

 private:
  // The lines of a new atom follow: those of the last are counted first
  // (which may complete it) and only then is a slot waited for.
  void enter(std::int64_t atom) {
    count();
    atom_ = atom;
    rank_ = wanted_.rank(atom + 1);
    if (rank_ >= 0) table_ = ring_.table_for(rank_, chunk_);
  }

  void count() {
    if (rank_ >= 0 && counted_ > 0) ring_.add_lines(rank_, counted_);
    counted_ = 0;
  }

  const AtomLines& layout_;
  const WantedAtoms& wanted_;
  AtomRing& ring_;
  std::vector<double> scratch_;
  std::size_t chunk_ = 0;
  std::int64_t atom_ = -1;   // from 0
  std::int64_t rank_ = -1;   // of a wanted atom, else -1
  double* table_ = nullptr;  // its slot
  std::int64_t counted_ = 0;  // lines read and not yet counted in the ring
  std::int64_t next_ = -1;    // the number of the line expected next
  std::int64_t line_in_atom_ = 0;  // 0: the atom's header line
};

class AtomJob final : public LineJob {
 public:
  AtomJob(const AtomLines& layout, const WantedAtoms& wanted, AtomRing& ring)
      : layout_(layout), wanted_(wanted), ring_(ring) {}
  std::unique_ptr<LineWorker> worker() override {
    return std::make_unique<AtomWorker>(layout_, wanted_, ring_);
  }
  void needed_up_to(std::size_t chunk) override { ring_.needed_up_to(chunk); }

 private:
  const AtomLines& layout_;
  const WantedAtoms& wanted_;
  AtomRing& ring_;
};

// How many atoms the ring holds when the plan leaves it open: a few per
// thread, so that every thread can read into one while others are taken,
// as many as kRingBytes hold (one at least: atoms larger than that are
// read one at a time).
unsigned ring_slots(const ReadPlan& plan, std::size_t table_size, unsigned threads) {
  if (plan.ring_slots > 0) return plan.ring_slots;
  std::size_t fit = kRingBytes / std::max<std::size_t>(table_size * sizeof(double), 1);
  std::size_t wanted = 2 * std::size_t{std::max(threads, 1u)} + 2;
  return static_cast<unsigned>(std::clamp<std::size_t>(fit, 1, wanted));
}

}  // namespace

void read_atoms(std::int32_t natom, std::int32_t ngrid, std::int32_t npcol, bool wrapped,
                AtomSink& sink, Console& console, Opener& files, unsigned threads,
                const ReadPlan& plan) {
  DoscarReader doscar(static_cast<std::size_t>(value_line_width(static_cast<std::int32_t>(extent(npcol)))));
  doscar.open_again(files, kDoscarPath);
  std::int64_t needed = doscar_lines_needed(natom, ngrid, wrapped);
  AtomLines layout(ngrid, npcol, wrapped);
  doscar.skip_lines(6 + layout.grid, needed);
  WantedAtoms wanted(sink.wanted(), natom);
  std::size_t table_size = atom_table_size(ngrid, npcol);
  AtomRing ring(sink, wanted, table_size, layout.per_atom,
                ring_slots(plan, table_size, threads));
  AtomJob job(layout, wanted, ring);
  console.begin_phase("reading DOSCAR", doscar.size());
  try {
    for_each_line(doscar, needed, needed, threads, job,
                  [&](std::size_t bytes) { console.advance(bytes); }, plan.chunks);
  } catch (...) {
    ring.rethrow_sink_failure();
    throw;
  }
  ring.rethrow_sink_failure();
  if (ring.taken() != wanted.count())
    throw std::logic_error("atom blocks read whole were not all taken");
  console.line(text::kClosing);
}

}  // namespace pdsplit
