// Writing tables that stand or fall together: each kept until every one is
// written, then all put in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "output/writedos.h"

namespace pdsplit {

// A table of NGRID rows of K + 1 doubles and the file it goes to.
struct NamedTable {
  std::string name;
  const double* data = nullptr;
};

// Writes tables that stand or fall together, one after the other, each as
// writedos would write it (through the output's transform when there is
// one, with the files it makes beside the table), every file kept as a
// temporary file; only once all of them are written are they put in place,
// in order. A table that cannot be made or written ends the run with none
// of them in place and no temporary file left.
void write_all_or_none(const std::vector<NamedTable>& tables, double shift, std::int32_t ngrid,
                       std::int32_t k, Output& output);

}  // namespace pdsplit
