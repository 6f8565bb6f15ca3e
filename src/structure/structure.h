// The elements of a run, from its structure file: a VASP 5 POSCAR or
// CONTCAR, whose line 6 holds the element symbols and line 7 the number of
// atoms of each, in the order of the atoms (and of DOSCAR's atom blocks).
//
// A symbol is written as VASP writes it, or as a POTCAR label: "Fe",
// "Fe_pv", "Fe/abc123" all name Fe (the part before "_" or "/"). A symbol
// that stands twice ("Fe O Fe") is one element of all its atoms.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sources/source.h"

namespace pdsplit {

struct Element {
  std::string symbol;
  std::vector<std::int32_t> atoms;  // atom numbers from 1, rising
};

struct Structure {
  std::string file;               // the name it was read from, for the user
  std::vector<Element> elements;  // in the order they first appear
};

// Reads `text`, the file `file` (named in every error), for a run of
// `natom` atoms. Throws a Failure (one line on standard error, status 1)
// naming the file, the line and the fault: a file that ends before line 7,
// a line 6 that holds numbers (VASP 4 wrote no symbols) or no symbols, a
// symbol or count that is none, as many symbols as counts not, counts that
// do not add up to `natom`.
Structure parse_structure(std::string_view text, const std::string& file, std::int32_t natom);

// The atoms of each element, as the summary shows them: "Fe 1-4, 9-12, O 5-8".
std::string describe_elements(const Structure& structure);

// The folder a path lies in, for files beside it: "." for a bare name.
std::string folder_of(const std::string& path);

// The path of `name` in `folder`: the bare name in ".".
std::string beside(const std::string& folder, std::string_view name);

// Reads the structure file of a run through `files`: `given` (--structure)
// when there is one, else CONTCAR in `folder`, else POSCAR there; a CONTCAR
// that holds nothing (a run that stopped early leaves it empty) counts as
// none. Throws the Failures of parse_structure, and one that names the
// files looked for when there is none, or that cannot be read.
Structure read_structure(Opener& files, const std::optional<std::string>& given,
                         const std::string& folder, std::int32_t natom);

}  // namespace pdsplit
