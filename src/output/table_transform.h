// A hook between the table writer and the options that reshape tables: the
// writer hands each table as read to the transform, which gives back the
// table to write in its place (its numbers, and a text to put before its
// lines) and the files to write beside it, all of them written whole or
// not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pdsplit {

class Output;

struct TableFile {
  std::string name;
  std::string text;
};

// Work a transform leaves to the writer, to be done on the rows of the
// table written as they are formatted, while they are in the cache (the
// moments): `rows(end)` before the rows up to `end` are formatted, run
// after run in order; once all are, `finish` gives the files beside the
// table, printing its console lines, or adding them to `lines` when that
// is not null, as `TableTransform::transform` does.
class RowFollower {
 public:
  virtual ~RowFollower() = default;
  virtual void rows(std::size_t end) = 0;
  virtual std::vector<TableFile> finish(std::vector<std::string>* lines) = 0;
};

// What a transform makes of one table.
struct TransformedTable {
  // The table written in place of the one given: a text first (nothing,
  // or a line naming the columns), then its NGRID rows of an energy as
  // read and K values, formatted as any table is. `table` points into
  // `kept`, or into the table given when the transform keeps its numbers.
  std::string head;
  const double* table = nullptr;
  std::int32_t ngrid = 0;
  std::int32_t k = 0;
  std::shared_ptr<const void> kept;
  // The files written beside it (moments): these, then those `follower`
  // gives when there is one.
  std::vector<TableFile> beside;
  std::unique_ptr<RowFollower> follower;
};

// Has the follower of `made`, if any, take the rows it has not taken and
// adds its files to `made.beside`; `lines` as for RowFollower::finish.
void finish_following(TransformedTable& made, std::vector<std::string>* lines);

class TableTransform {
 public:
  virtual ~TableTransform() = default;
  // What is made of the table `FILENAME` (NGRID rows of an energy as read
  // and K values, valid during the call), written with energies lowered
  // by `shift`. Throws a Failure before anything is written when the
  // table cannot be made. The console lines the transform has for the
  // table (moments) are printed as they are made when `lines` is null;
  // otherwise they are added to `lines` (also those made before a
  // failure) and nothing is printed, so that several threads may make
  // tables at once and print their lines in the order they choose.
  virtual TransformedTable transform(const std::string& FILENAME, double shift,
                                     const double* table, std::int32_t ngrid, std::int32_t k,
                                     std::vector<std::string>* lines) const = 0;
  // Prints lines that `transform` added to its `lines`.
  virtual void print(const std::vector<std::string>& lines) const = 0;
  // The names of the files written beside the table `FILENAME`.
  virtual std::vector<std::string> names_beside(const std::string& FILENAME) const {
    (void)FILENAME;
    return {};
  }
};

// Writes what `transform` makes of one table: the table and the files
// beside it, each to a temporary file first, all put in place once all
// are complete.
void write_transformed(const TableTransform& transform, const std::string& FILENAME,
                       double shift, const double* table, std::int32_t ngrid, std::int32_t k,
                       Output& output);

}  // namespace pdsplit
