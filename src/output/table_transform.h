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
  // The console lines the transform has for the table (moments) are
  // printed as they are made when `lines` is null; otherwise they are
  // added to `lines` (also those made before a failure) and nothing is
  // printed, so that several threads may make tables at once and print
  // their lines in the order they choose.
  virtual std::vector<TableFile> files(const std::string& FILENAME, double shift,
                                       const double* table, std::int32_t ngrid,
                                       std::int32_t k,
                                       std::vector<std::string>* lines) const = 0;
  // Prints lines that `files` added to its `lines`.
  virtual void print(const std::vector<std::string>& lines) const = 0;
  // Takes back files that `files` made, once written: their memory may
  // serve the tables after them. On any thread.
  virtual void recycle(std::vector<TableFile>&& files) const { files.clear(); }
};

// Writes the files `transform` makes of one table: each to a temporary file
// first, all put in place once all are complete.
void write_transformed(const TableTransform& transform, const std::string& FILENAME, double shift,
                       const double* table, std::int32_t ngrid, std::int32_t k,
                       Output& output);

}  // namespace pdsplit
