// The whole program run in memory, as a user meets it: the files of its
// folder, its command line, and what it printed, returned and wrote, the
// same whatever the threads, chunks, ring of atoms and reads; and a runner
// of tables of such scenarios against the tests' model of the file.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "blocks/read_atoms.h"
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

// Runs the program on `args` in `folder`; tables go to memory, with `disk` faults.
Outcome run_in_memory(const Folder& folder, const Args& args, const ReadWay& way = {},
                      const DiskFaults& disk = {});

// Beside one thread: two, three and eight threads, chunks of under a kilobyte and
// of 40 KB, rings of one, two and the default number of atoms, reads of a
// few bytes, interrupted reads and a source that does not tell its size.
const std::vector<ReadWay>& other_ways();

// Runs `args` on one thread and every other way, each with the `read` and
// `disk` faults; expects the same outcome each time and returns it.
Outcome run_every_way(const Folder& folder, const Args& args, const ReadFaults& read = {},
                      const DiskFaults& disk = {});

// Same status, console and tables (tables compared without printing megabytes).
void expect_same(const Outcome& got, const Outcome& want, const std::string& what);

std::string show(const Args& args);
std::string show(const ReadWay& way);
std::string without_cpu_time(std::string console);

// A VASP 5 structure file with `symbols` on line 6 and `counts` on line 7.
std::string poscar(const std::string& symbols, const std::string& counts);

// The generator's options for a shape of DOSCAR, then `more`; its DOSCAR
// for `options` (made once).
Args shape(int natom, int ngrid, const std::string& npcol, Args more = {});
const std::string& doscar(const Args& options);

// Edits of a DOSCAR's text; lines counted from 1, columns from 0.
using Edit = std::function<std::string(const std::string&)>;
Edit keep(std::size_t lines);
Edit replace(std::size_t line, std::size_t column, std::string text);
Edit append(std::size_t line, std::string text);  // before its carriage return
Edit cut_inside(std::size_t line);  // the lines before, then half of it without a line feed

// Where the console stops: all done; an error block after the banner; a
// line after the heading; the heading, opening line or summary; an error
// block after the closing lines; the line that announces the tables.
enum class Stop { Done, Banner, Missing, Heading, Opening, Summary, Closing, Writing };
// The text the model reads: by default the edited one for a run that
// succeeds, the unedited one (its header) for a fault.
enum class Model { Default, Edited, Unedited };

// A row of a table of scenarios.
struct Case {
  Args gen;  // the generator's options; none: no DOSCAR
  Args cmd;
  // The tables written: "name" the total DOS, "name:k" atom k, "name=a+b"
  // the sum of atoms a and b in that order, "prefix*" every atom's.
  std::vector<std::string> tables;
  Stop stop = Stop::Done;
  std::string message = {};  // of a fault; ending in ": ", its beginning
  Edit edit = {};
  Model model = Model::Default;
  std::string name = "DOSCAR";  // of the DOSCAR in the folder
  Folder beside = {};
  std::string elements = {};  // the summary's line of elements
  int fail_line = 0, fail_column = 0, fail_errno = EIO;  // reads fail from there (line -1: the last)
  DiskFaults disk = {};
  std::string fail_table = {};  // a table (as in `tables`) that meets a full disk
};

// Runs `c` every way; expects the outcome the model of its DOSCAR gives.
void expect_case(const Case& c);
void expect_cases(const std::vector<Case>& cases);

}  // namespace testing_support
