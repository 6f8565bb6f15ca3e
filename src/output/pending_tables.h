// A set of tables made in any order and on any thread, each kept as a
// temporary file until all of them are put in place at once, in order.
#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "output/disk.h"
#include "output/pending_file.h"
#include "output/writedos.h"

namespace pdsplit {

class PendingTables {
 public:
  explicit PendingTables(Disk& disk) : disk_(disk) {}
  PendingTables(const PendingTables&) = delete;
  PendingTables& operator=(const PendingTables&) = delete;
  // Removes every temporary file not put in place.
  ~PendingTables() = default;

  // Table `index` (from 0) for the file `name`: creates its temporary
  // file, writes `text` to it and closes it. On any thread, once per
  // index. A failure is kept for put_in_place; false then.
  bool write(std::size_t index, const std::string& name, const char* text,
             std::size_t size);

  // Table `index` cannot be made: the failure "Cannot write" for `name`
  // with the system's reason for `error` is kept for put_in_place.
  void fail(std::size_t index, const std::string& name, int error);

  // Whether a table before `index` has failed: such a run puts nothing
  // from `index` on in place, and need not make those tables.
  bool failed_before(std::size_t index);

  // Puts tables 0 .. count - 1 in place, in order, on the main thread,
  // with interruption held off; stops at the first table that failed and
  // throws its failure, the tables before it in place and none after, as
  // if they had been written one after the other. Every target is checked
  // before the first rename (Disk::check_target): a target that cannot
  // take its table fails the run with none put in place. With `beside`,
  // file i of it (the file written beside table i) goes in place right
  // after table i and stands or falls with it: a table is in place only
  // with its file, and when a table's file cannot be put in place after
  // it, the older file of that name is removed. `placed` (when given) is
  // set to the number of tables put in place.
  void put_in_place(std::size_t count, Output& output, PendingTables* beside = nullptr,
                    std::size_t* placed = nullptr);

  // Puts tables 0 .. count - 1 in place as put_in_place does, but only
  // when none of them has failed: otherwise throws the failure of the first
  // that did and puts none in place, for tables that stand or fall
  // together.
  void put_all_in_place(std::size_t count, Output& output);

 private:
  struct Table {
    std::unique_ptr<PendingFile> file;  // written and closed
    std::size_t size = 0;               // bytes written
    std::exception_ptr failure;
  };
  void keep(std::size_t index, Table table);
  // Table `index`: its failure rethrown, or its file (checked made).
  PendingFile& made(std::size_t index);

  Disk& disk_;
  std::mutex mutex_;
  std::vector<Table> tables_;  // by index, grown as tables come
  std::size_t first_failed_ = static_cast<std::size_t>(-1);
};

}  // namespace pdsplit
