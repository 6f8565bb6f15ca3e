// The whole program run in memory, as a user meets it: the files a run
// finds beside it, its command line, and what it printed, returned and
// wrote. A scenario is a row of a table; `run_every_way` checks that a run
// gives the same outcome whatever the threads, the cut of the file into
// chunks, the ring of atom tables and the way the reads come.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "blocks/readdos.h"
#include "memory_files.h"

namespace testing_support {

using Args = std::vector<std::string>;
// The files of a run's folder, by name (DOSCAR, POSCAR, INCAR, ...).
using Folder = std::map<std::string, std::string>;

struct Outcome {
  int status = -1;
  std::string out;  // standard output, without the processor-time line
  std::string err;
  std::map<std::string, std::string> tables;  // what the run wrote, by name
};

// One way of reading a file: threads, plan and read faults.
struct ReadWay {
  unsigned threads = 1;
  pdsplit::ReadPlan plan;
  ReadFaults faults;
};

// Runs the program on `args` in `folder`, its tables written to a folder
// in memory with `disk` faults. Checks that the read faults of `way` that
// change nothing (short and interrupted reads) did happen.
Outcome run_in_memory(const Folder& folder, const Args& args, const ReadWay& way = {},
                      const DiskFaults& disk = {});

// The ways `run_every_way` tries beside one thread: two and three threads,
// chunks of under a kilobyte (ends inside lines) and of 40 KB, rings of one,
// two and the default number of atoms, reads of a few bytes, interrupted
// reads and a source that does not tell its size.
const std::vector<ReadWay>& other_ways();

// Runs `args` on one thread and every other way; expects the same outcome
// each time and returns it. `read` (where reads fail, and how) and `disk`
// apply to every way.
Outcome run_every_way(const Folder& folder, const Args& args, const ReadFaults& read = {},
                      const DiskFaults& disk = {});

// Expects the same status, console and tables (tables compared without
// printing megabytes).
void expect_same(const Outcome& got, const Outcome& want, const std::string& what);

std::string show(const Args& args);
std::string show(const ReadWay& way);
std::string without_cpu_time(std::string console);

// A VASP 5 structure file with `symbols` on line 6 and `counts` on line 7.
std::string poscar(const std::string& symbols, const std::string& counts);

}  // namespace testing_support
