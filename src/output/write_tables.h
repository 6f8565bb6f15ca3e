// Writing many tables at once: formatted and written on several threads,
// put in place in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

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

}  // namespace pdsplit
