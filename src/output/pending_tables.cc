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

PendingFile& PendingTables::made(std::size_t index) {
  if (index >= tables_.size()) throw std::logic_error("a table was never made");
  Table& table = tables_[index];
  if (table.failure != nullptr) std::rethrow_exception(table.failure);
  if (table.file == nullptr) throw std::logic_error("a table was never made");
  return *table.file;
}

void PendingTables::put_in_place(std::size_t count, Output& output, PendingTables* beside,
                                 std::size_t* placed) {
  // A signal that comes meanwhile ends the run once every table is in
  // place (or the first failure is met): the renames are brief.
  InterruptionsHeld held;
  std::scoped_lock lock(mutex_);
  std::unique_lock<std::mutex> beside_lock;
  if (beside != nullptr) beside_lock = std::unique_lock(beside->mutex_);
  if (placed != nullptr) *placed = 0;
  // The tables that would be put in place: those before the first that
  // failed, or whose file beside failed.
  std::size_t good = 0;
  for (; good < count && good < tables_.size(); ++good) {
    if (tables_[good].failure != nullptr || tables_[good].file == nullptr) break;
    if (beside != nullptr && (good >= beside->tables_.size() ||
                              beside->tables_[good].failure != nullptr ||
                              beside->tables_[good].file == nullptr))
      break;
  }
  // Every target checked before the first rename: a run that fails here
  // replaces no file.
  for (std::size_t i = 0; i < good; ++i) {
    tables_[i].file->check_target();
    if (beside != nullptr) beside->tables_[i].file->check_target();
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (i == good) {
      made(i);  // throws the table's failure
      if (beside != nullptr) beside->made(i);
      throw std::logic_error("a table was never made");
    }
    tables_[i].file->commit();
    tables_[i].file.reset();
    output.written(tables_[i].size);
    if (placed != nullptr) *placed = i + 1;
    if (beside != nullptr) {
      Table& file = beside->tables_[i];
      try {
        file.file->commit();
      } catch (...) {
        // The table is new: an older file beside it would be taken for its.
        disk_.remove(file.file->target());
        throw;
      }
      file.file.reset();
      output.written(file.size);
    }
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
