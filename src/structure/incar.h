// What INCAR, the input of a VASP run, says of its spin: whether the run
// was non-collinear (LNONCOLLINEAR or LSORBIT set true), which decides what
// the columns of a DOSCAR mean for the one shape two kinds of run share.
//
// INCAR is read as VASP reads it: statements `KEY = value`, several on a
// line separated by ";", comments from "!" or "#" to the end of the line,
// keys in any case. A logical value is true when it begins with T or .T
// (.TRUE., T, .T., true, in any case) and false when it begins with F or
// .F; of a key set twice the first statement counts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sources/source.h"

namespace pdsplit {

struct IncarSpin {
  bool noncollinear = false;
  // The statement that made the run non-collinear, as written but for its
  // blanks, e.g. "LSORBIT = .TRUE."; empty when none did.
  std::string statement;
};

// Reads `text`, the INCAR named `file` in errors. Throws a Failure (one
// line on standard error, status 1) naming the file and the line when
// LNONCOLLINEAR or LSORBIT has no value or one that is neither true nor
// false.
IncarSpin parse_incar(std::string_view text, const std::string& file);

// Reads the INCAR at `path` through `files`; nothing when there is none.
// Throws the Failures of parse_incar, and one when the file cannot be read.
std::optional<IncarSpin> read_incar(Opener& files, const std::string& path);

}  // namespace pdsplit
