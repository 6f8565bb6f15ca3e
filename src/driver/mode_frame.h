// The frame every extraction runs in: heading, header, the mode made ready,
// block reading (the projected modes at work on the blocks as they come),
// Fermi shift, the mode's own finish, processor time.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "base/console.h"
#include "base/settings.h"
#include "doscar/doscar_files.h"
#include "blocks/read_atoms.h"
#include "output/writedos.h"

namespace pdsplit {

enum class Mode { Total, AllAtoms, Atom, RangeSum, ListSum, Elements };

// The mode an option text selects (judged by its first five characters, as
// the option buffer holds them), or false when it selects none.
bool mode_of_option(std::string_view option, Mode& mode);

// Whether `args` (the mode option and its operands) name standard output
// ("-") as the one table's output: -t, -p, -s1 or -s2 with "-" where the
// mode takes its output name.
bool table_to_standard_output(std::span<const std::string> args);

// Runs `mode` within the frame, with `settings`, reading DOSCAR and the
// files beside it through `files` as `plan` says; `args` begins with the
// mode option. Throws a Failure when the run ends early.
void run_mode(Mode mode, std::span<const std::string> args, const Settings& settings,
              Console& console, DoscarFiles& files, Output& output, const ReadPlan& plan = {});

}  // namespace pdsplit
