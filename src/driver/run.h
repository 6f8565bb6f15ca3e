// One run of pdsplit: banner, dispatch, one mode or the help screen, and
// the report of whatever ended it.
#pragma once

#include <span>
#include <string>

#include "base/console.h"
#include "blocks/read_atoms.h"
#include "sources/source.h"
#include "output/disk.h"

namespace pdsplit {

// Runs the program on `args` (the arguments after the program name);
// console lines go to `out`, stop messages to `err`. Returns the exit
// status: 0 success or help, 2 a command-line error, 1 any other failure.
// DOSCAR is opened through `files`, tables go to `disk` (both by names
// relative to the current directory); reading and writing use up to
// `threads` threads, the atom blocks as `plan` says (tests cut small files
// finely and use tiny rings; a run takes the default).
int run(std::span<const std::string> args, std::FILE* out, std::FILE* err,
        Disk& disk, Opener& files, unsigned threads, const ReadPlan& plan = {});

}  // namespace pdsplit
