#include "output/pending_tables.h"

#include <stdexcept>
#include <utility>

#include "output/interrupt.h"

namespace pdsplit {

void PendingTables::keep(std::size_t index, Table table) {
  std::lock_guard lock(mutex_);
  if (tables_.size() <= index) tables_.resize(index + 1);
  if (table.failure != nullptr && index < first_failed_) first_failed_ = index;
  tables_[index] = std::move(table);
}

bool PendingTables::write(std::size_t index, const std::string& name, const char* text,
                          std::size_t size) {
  Table table;
  table.size = size;
  try {
    table.file = std::make_unique<PendingFile>(name, disk_);
    int error = table.file->write_all(text, size);
    if (error == 0) error = table.file->close_early();
    if (error != 0) table.file->fail(error);
  } catch (...) {
    table.file.reset();
    table.failure = std::current_exception();
  }
  bool written = table.failure == nullptr;
  keep(index, std::move(table));
  return written;
}

void PendingTables::fail(std::size_t index, const std::string& name, int error) {
  Table table;
  table.failure = std::make_exception_ptr(cannot_write(name, error));
  keep(index, std::move(table));
}

bool PendingTables::failed_before(std::size_t index) {
  std::lock_guard lock(mutex_);
  return first_failed_ < index;
}

void PendingTables::put_in_place(std::size_t count, Output& output) {
  // A signal that comes meanwhile ends the run once every table is in
  // place (or the first failure is met): the renames are brief.
  InterruptionsHeld held;
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < count; ++i) {
    if (i >= tables_.size()) throw std::logic_error("a table was never made");
    Table& table = tables_[i];
    if (table.failure != nullptr) std::rethrow_exception(table.failure);
    if (table.file == nullptr) throw std::logic_error("a table was never made");
    table.file->commit();
    table.file.reset();
    output.written(table.size);
  }
}

void PendingTables::put_all_in_place(std::size_t count, Output& output) {
  {
    std::lock_guard lock(mutex_);
    if (first_failed_ < count) std::rethrow_exception(tables_[first_failed_].failure);
  }
  put_in_place(count, output);
}

}  // namespace pdsplit
