// The table writer: one DOS table, NGRID lines of an energy and K values,
// written whole or not at all.
#pragma once

#include <cstdint>
#include <string>

#include "output/disk.h"

namespace pdsplit {

// Writes the table (NGRID rows, K + 1 columns, the grid index varying
// fastest; column 0 the energy) to the file `FILENAME`, each energy lowered
// by `shift`. The table goes to a temporary file in the target's folder that
// replaces the target only when complete; on any failure the temporary file
// is removed, an existing target is left as it was, and a Failure names the
// file and the system's reason.
void writedos(const std::string& FILENAME, double shift, const double* table,
              std::int32_t ngrid, std::int32_t k, Disk& disk);

// One table line, without its line feed: 11 + 12 * K characters written to
// `out`. `row` points at the energy; value i is at row[i * stride].
void format_table_line(double energy, const double* row, std::size_t stride,
                       std::int32_t k, char* out);

}  // namespace pdsplit
