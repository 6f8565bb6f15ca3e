#include "output/table_transform.h"

#include <memory>

#include "output/pending_file.h"
#include "output/writedos.h"

namespace pdsplit {

void write_transformed(const TableTransform& transform, const std::string& FILENAME, double shift,
                       const double* table, std::int32_t ngrid, std::int32_t k,
                       Output& output) {
  std::vector<TableFile> made = transform.files(FILENAME, shift, table, ngrid, k, nullptr);
  std::vector<std::unique_ptr<PendingFile>> pending;
  for (const TableFile& file : made) {
    pending.push_back(std::make_unique<PendingFile>(file.name, output.disk()));
    pending.back()->write(file.text.data(), file.text.size());
  }
  for (auto& file : pending) file->commit();
  transform.recycle(std::move(made));
}

}  // namespace pdsplit
