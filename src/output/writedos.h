// The table writer: one DOS table, NGRID lines of an energy and K values,
// written whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "base/array.h"
#include "base/console.h"
#include "base/file_id.h"
#include "output/disk.h"
#include "output/table_transform.h"

namespace pdsplit {

// Where tables go and what writing them may use: the disk, the threads that
// format lines, and a buffer kept from one table to the next (a run of
// `-a` writes thousands of tables).
class Output {
 public:
  explicit Output(Disk& disk, unsigned threads = 1)
      : disk_(disk), threads_(threads < 1 ? 1 : threads) {}
  Disk& disk() const { return disk_; }
  unsigned threads() const { return threads_; }
  // The file the tables are made from, which no table may replace.
  void reading(const FileId& input) { input_ = input; }
  const FileId& input() const { return input_; }
  // At least `size` bytes, valid until the next call.
  char* buffer(std::size_t size);

  // Shows the writing of `total` bytes of tables on the console's status
  // line; `written` reports each part as it is written.
  void report_to(Console* console, std::uint64_t total) {
    console_ = console;
    total_ = total;
  }
  void written(std::size_t bytes);

  // Where the table named "-" goes (null: "-" is a file name as any).
  void standard_output(std::FILE* out) { standard_output_ = out; }
  std::FILE* standard_output() const { return standard_output_; }

  // What turns each table into the files written for it (none: the table as it is).
  void transform(std::unique_ptr<TableTransform> t) { transform_ = std::move(t); }
  TableTransform* transform() const { return transform_.get(); }

 private:
  Disk& disk_;
  unsigned threads_;
  FileId input_;
  Memory buffer_;
  Console* console_ = nullptr;
  std::uint64_t total_ = 0;
  bool reporting_ = false;
  std::unique_ptr<TableTransform> transform_;
  std::FILE* standard_output_ = nullptr;
};

// Writes the table (NGRID rows of K + 1 doubles, one row after the other;
// column 0 the energy) to the file `FILENAME`, each energy lowered by
// `shift`. The table goes to a temporary file in the target's folder that
// replaces the target only when complete; on any failure the temporary file
// is removed, an existing target is left as it was, and a Failure names the
// file and the system's reason. Standard output ("-", when the output has
// it) and nodes that are no regular file are written directly (see
// PendingFile), without the files a transform makes beside the table.
void writedos(const std::string& FILENAME, double shift, const double* table,
              std::int32_t ngrid, std::int32_t k, Output& output);

// Throws the "Output file would overwrite DOSCAR" error block when the
// table `FILENAME`, or a file the output's transform writes beside it,
// would replace the DOSCAR being read (see refuse_overwriting_input in
// names.h); a node written in place, when it leads to that file.
void refuse_overwriting_input(const std::string& FILENAME, const Output& output);

class PendingFile;

// The text `head`, then the table's lines, written to `file` in chunks as
// writedos writes them (formatted on the output's threads).
void write_rows(PendingFile& file, std::string_view head, double shift, const double* table,
                std::int32_t ngrid, std::int32_t k, Output& output);

// For callers that write many tables: the size of a table's text and the
// text itself, on up to `threads` threads (as many as the text is worth:
// one for a table of a few MB). A `follower` is handed the rows run after
// run just before they are formatted (all of them first, when the table is
// worth several threads).
std::size_t table_text_size(std::int32_t ngrid, std::int32_t k);
void format_table(double shift, const double* table, std::int32_t ngrid,
                  std::int32_t k, char* out, unsigned threads = 1,
                  RowFollower* follower = nullptr);

// About how much table text a thread formats in a millisecond: with what a
// thread costs to start (base/parallel.h), how many threads text is worth.
inline constexpr std::uint64_t kTableBytesPerMillisecond = std::uint64_t{2} << 20;

}  // namespace pdsplit
