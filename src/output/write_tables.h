// Writing many tables at once: formatted and written on several threads,
// put in place in order; or kept until every one is written, then put in
// place all together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "output/writedos.h"

namespace pdsplit {

// Writes `count` tables of `size` bytes of text each: table i (from 0) made
// by `format(i, out)` and written to the file `name(i)`, each whole or not
// at all as writedos writes one. The tables are formatted and written on
// up to output.threads() threads at once (`name` and `format` are called on
// any of them), kept as temporary files and put in place in order once all
// are written; the first that fails ends the run: the tables before it are
// in place, none after it, as if they had been written one by one.
void write_tables(std::int32_t count, std::size_t size,
                  const std::function<std::string(std::int32_t)>& name,
                  const std::function<void(std::int32_t, char*)>& format,
                  Output& output);

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
