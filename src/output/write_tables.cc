#include "output/write_tables.h"

#include <cerrno>
#include <algorithm>

#include "base/array.h"
#include "base/parallel.h"
#include "output/pending_tables.h"
#include "output/table_transform.h"

namespace pdsplit {

namespace {

// Below this much text in all, a helper costs more to start than it saves.
constexpr std::uint64_t kBytesPerThread = work_worth_a_thread(kTableBytesPerMillisecond);

}  // namespace

void write_tables(std::int32_t count, std::size_t size,
                  const std::function<std::string(std::int32_t)>& name,
                  const std::function<void(std::int32_t, char*)>& format,
                  Output& output) {
  if (count <= 0) return;
  PendingTables tables(output.disk());
  unsigned parts = parts_for(static_cast<std::uint64_t>(count) * size, kBytesPerThread,
                             std::min<unsigned>(output.threads(), static_cast<unsigned>(count)));
  // Each part a run of tables and a buffer of its own.
  run_split(parts, [&](unsigned part, unsigned parts_in_all) {
    auto first = static_cast<std::int32_t>(std::int64_t{count} * part / parts_in_all);
    auto last = static_cast<std::int32_t>(std::int64_t{count} * (part + 1) / parts_in_all);
    Memory buffer(size);
    for (std::int32_t i = first; i < last; ++i) {
      auto index = static_cast<std::size_t>(i);
      if (tables.failed_before(index)) return;
      if (buffer.data() == nullptr) {
        tables.fail(index, name(i), ENOMEM);
        return;
      }
      char* text = static_cast<char*>(buffer.data());
      format(i, text);
      tables.write(index, name(i), text, size);
    }
  });
  tables.put_in_place(static_cast<std::size_t>(count), output);
}

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
