#include "output/table_transform.h"

#include <memory>
#include <utility>

#include "output/pending_file.h"
#include "output/writedos.h"

namespace pdsplit {

void finish_following(TransformedTable& made, std::vector<std::string>* lines) {
  if (made.follower == nullptr) return;
  made.follower->rows(static_cast<std::size_t>(made.ngrid > 0 ? made.ngrid : 0));
  for (TableFile& file : made.follower->finish(lines)) made.beside.push_back(std::move(file));
  made.follower.reset();
}

void write_transformed(const TableTransform& transform, const std::string& FILENAME,
                       double shift, const double* table, std::int32_t ngrid, std::int32_t k,
                       Output& output) {
  TransformedTable made = transform.transform(FILENAME, shift, table, ngrid, k, nullptr);
  finish_following(made, nullptr);
  PendingFile main(FILENAME, output.disk(), output.standard_output());
  write_rows(main, made.head, shift, made.table, made.ngrid, made.k, output);
  std::vector<std::unique_ptr<PendingFile>> beside;
  // Standard output or a device has no folder to put a file beside it:
  // what the files hold was shown on the console.
  if (main.direct()) made.beside.clear();
  for (const TableFile& file : made.beside) {
    beside.push_back(std::make_unique<PendingFile>(file.name, output.disk()));
    beside.back()->write(file.text.data(), file.text.size());
  }
  // All targets checked before the first rename: a failure replaces nothing.
  main.check_target();
  for (auto& file : beside) file->check_target();
  main.commit();
  for (auto& file : beside) file->commit();
}

}  // namespace pdsplit
