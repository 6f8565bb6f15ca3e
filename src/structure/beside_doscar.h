// What a run adds to DOSCAR's header from the settings and the files
// beside DOSCAR: the Fermi energy given by --efermi, a non-collinear run
// told by --noncollinear or by INCAR, the elements of the structure file.
#pragma once

#include <optional>

#include "base/settings.h"
#include "doscar/header.h"
#include "sources/source.h"
#include "structure/structure.h"

namespace pdsplit {

// What the run needs to know beyond DOSCAR.
struct RunNeeds {
  // What the columns of a projected line mean: for the shape two kinds of
  // run share (2 total-DOS values, 16 projected), INCAR is read.
  bool column_meaning = false;
  // The elements, from the structure file (also read whenever --structure
  // names one).
  bool elements = false;
};

// What the settings need, and the elements when the mode needs them (the
// element sums). The element sums add atoms whatever their columns mean:
// INCAR is read for them only when a setting needs the columns' meaning.
RunNeeds needs_of(const Settings& settings, bool mode_needs_elements = false);

struct Beside {
  SummaryNotes notes;                  // for print_summary
  std::optional<Structure> structure;  // when read
};

// Settles `h` by the settings and the files beside DOSCAR, read through
// `files` in DOSCAR's folder (the folder of --doscar's path, else the
// current one):
// - --efermi replaces the Fermi energy (the notes keep line 6's);
// - --noncollinear takes the run as non-collinear, or fails (status 1)
//   when DOSCAR's shape is of another kind of run; else, when the meaning
//   of the columns is needed and the shape is shared, INCAR decides;
// - the structure file is read when the elements are needed or given.
// Throws the Failures of reading INCAR and the structure file.
Beside settle_header(Header& h, const Settings& settings, RunNeeds needs, Opener& files);

}  // namespace pdsplit
