#include "output/table_transform.h"

#include <memory>

#include "output/pending_file.h"
#include "output/writedos.h"

namespace pdsplit {

void write_transformed(const TableTransform& transform, const std::string& FILENAME,
                       double shift, const double* table, std::int32_t ngrid, std::int32_t k,
                       Output& output) {
  TransformedTable made = transform.transform(FILENAME, shift, table, ngrid, k, nullptr);
  PendingFile main(FILENAME, output.disk());
  write_rows(main, made.head, shift, made.table, made.ngrid, made.k, output);
  std::vector<std::unique_ptr<PendingFile>> beside;
  for (const TableFile& file : made.beside) {
    beside.push_back(std::make_unique<PendingFile>(file.name, output.disk()));
    beside.back()->write(file.text.data(), file.text.size());
  }
  main.commit();
  for (auto& file : beside) file->commit();
}

}  // namespace pdsplit
