#include "output/write_tables.h"

#include <algorithm>

#include "output/pending_tables.h"
#include "output/table_transform.h"

namespace pdsplit {

void write_all_or_none(const std::vector<NamedTable>& tables, double shift, std::int32_t ngrid,
                       std::int32_t k, Output& output) {
  PendingTables pending(output.disk());
  std::size_t files = 0;  // made so far, each a pending table of its own
  TableTransform* transform = output.transform();
  for (const NamedTable& table : tables) {
    bool written = true;
    if (transform != nullptr) {
      // The reshaped table, its head line first, then the files beside it.
      TransformedTable made = transform->transform(table.name, shift, table.data, ngrid, k, nullptr);
      std::size_t size = made.head.size() + table_text_size(made.ngrid, made.k);
      char* text = output.buffer(size);
      std::copy(made.head.begin(), made.head.end(), text);
      format_table(shift, made.table, made.ngrid, made.k, text + made.head.size(), output.threads(),
                   made.follower.get());
      finish_following(made, nullptr);
      written = pending.write(files++, table.name, text, size);
      for (const TableFile& file : made.beside)
        if (written) written = pending.write(files++, file.name, file.text.data(), file.text.size());
    } else {
      // One table's text at a time, in a buffer kept from one to the next.
      std::size_t size = table_text_size(ngrid, k);
      char* text = output.buffer(size);
      format_table(shift, table.data, ngrid, k, text, output.threads());
      written = pending.write(files++, table.name, text, size);
    }
    // The tables after a failure would never be put in place.
    if (!written) break;
  }
  pending.put_all_in_place(files, output);
}

}  // namespace pdsplit
