// A hook between the table writer and the options that reshape tables: the
// writer hands each table as read to the transform, which gives back the
// files to write in its place (the table's text first, then any files
// beside it), all of them written whole or not at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pdsplit {

class Output;

struct TableFile {
  std::string name;
  std::string text;
};

class TableTransform {
 public:
  virtual ~TableTransform() = default;
  // The files made of the table `FILENAME` (NGRID rows of an energy as
  // read and K values), written with energies lowered by `shift`. Throws a
  // Failure before anything is written when the table cannot be made.
  virtual std::vector<TableFile> files(const std::string& FILENAME, double shift,
                                       const double* table, std::int32_t ngrid,
                                       std::int32_t k) = 0;
};

// Writes the files `transform` makes of one table: each to a temporary file
// first, all put in place once all are complete.
void write_transformed(TableTransform& transform, const std::string& FILENAME, double shift,
                       const double* table, std::int32_t ngrid, std::int32_t k,
                       Output& output);

}  // namespace pdsplit
