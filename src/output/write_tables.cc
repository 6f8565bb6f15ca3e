#include "output/write_tables.h"

#include <cerrno>
#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/array.h"
#include "base/parallel.h"
#include "output/pending_file.h"

namespace pdsplit {

namespace {

// Below this much text in all, a helper costs more to start than it saves.
constexpr std::uint64_t kBytesPerThread = work_worth_a_thread(kTableBytesPerMillisecond);

// One table of the run: its temporary file and, once written, how that went.
struct Table {
  std::unique_ptr<PendingFile> file;
  int error = 0;
  bool done = false;
};

// One run of write_tables. Only the calling (main) thread creates the
// temporary files and puts them in place, in order; any thread, the main
// one included while it waits, takes the next table not yet taken, formats
// it into a buffer of its own and writes it to its file. The main thread
// keeps a window of tables created ahead for the helpers to take.
//
// However the run ends (a table that fails, a file that cannot be
// created), the helpers are stopped and joined before any file they write
// to is discarded.
class TableRun {
 public:
  TableRun(std::int32_t count, std::size_t size,
           const std::function<std::string(std::int32_t)>& name,
           const std::function<void(std::int32_t, char*)>& format, Output& output)
      : count_(count), size_(size), name_(name), format_(format), output_(output),
        helpers_wanted_(static_cast<unsigned>(std::min<std::uint64_t>(
            static_cast<std::uint64_t>(count) * size / kBytesPerThread, output.threads() - 1))),
        window_(static_cast<std::int32_t>(2 * (helpers_wanted_ + 1) + 1)),
        tables_(static_cast<std::size_t>(window_)) {}
  TableRun(const TableRun&) = delete;
  TableRun& operator=(const TableRun&) = delete;
  ~TableRun() { stop_helpers(); }

  void run() {
    helpers_ = start_threads(helpers_wanted_, [this](unsigned) { help(); });
    for (std::int32_t i = 0; i < count_; ++i) {
      create_ahead(i);
      // Every table before the one whose file could not be created is in
      // place: now that one fails the run.
      if (i == created_) std::rethrow_exception(creation_failure_);
      wait_until_written(i);
      put_in_place(i);
    }
  }

 private:
  Table& slot(std::int32_t i) { return tables_[static_cast<std::size_t>(i % window_)]; }

  // Creates the temporary files of the tables before i + window. A file
  // that cannot be created ends the creating; its failure is kept for the
  // moment its table's turn comes.
  void create_ahead(std::int32_t i) {
    while (!creation_failure_ && created_ < count_ && created_ < i + window_) {
      try {
        auto file = std::make_unique<PendingFile>(name_(created_), output_.disk());
        std::lock_guard lock(mutex_);
        slot(created_) = Table{std::move(file), 0, false};
        ++created_;
        changed_.notify_all();
      } catch (...) {
        creation_failure_ = std::current_exception();
      }
    }
  }

  // Whether a created table waits to be taken; under the lock.
  bool table_waiting() const { return handed_out_ < created_; }

  // Takes the next table waiting, under `lock`, and makes it without the lock.
  void take_and_make(std::unique_lock<std::mutex>& lock, Memory& buffer) {
    std::int32_t i = handed_out_++;
    PendingFile* file = slot(i).file.get();
    lock.unlock();
    make(i, file, buffer);
  }

  // Formats table i into `buffer` (allocated on first use) and writes it to
  // its file; records how that went.
  void make(std::int32_t i, PendingFile* file, Memory& buffer) {
    if (buffer.data() == nullptr) buffer = Memory(size_);
    int error = ENOMEM;
    if (buffer.data() != nullptr) {
      format_(i, static_cast<char*>(buffer.data()));
      error = file->write_all(static_cast<const char*>(buffer.data()), size_);
    }
    std::lock_guard lock(mutex_);
    slot(i).error = error;
    slot(i).done = true;
    changed_.notify_all();
  }

  // A helper thread: makes tables as they are created until told to stop.
  void help() {
    Memory buffer;
    for (;;) {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || table_waiting(); });
      if (stopping_) return;
      take_and_make(lock, buffer);
    }
  }

  // Makes tables waiting to be taken until table i is written, then waits
  // for the helper writing it.
  void wait_until_written(std::int32_t i) {
    const Table& table = slot(i);
    for (;;) {
      std::unique_lock lock(mutex_);
      if (table.done) return;
      if (table_waiting()) {
        take_and_make(lock, own_buffer_);
        continue;
      }
      changed_.wait(lock, [&] { return table.done; });
    }
  }

  // Renames table i into place, or fails the run with its error.
  void put_in_place(std::int32_t i) {
    Table& table = slot(i);
    if (table.error != 0) table.file->fail(table.error);
    table.file->commit();
    table.file.reset();
    output_.written(size_);
  }

  void stop_helpers() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    helpers_.clear();
  }

  const std::int32_t count_;
  const std::size_t size_;
  const std::function<std::string(std::int32_t)>& name_;
  const std::function<void(std::int32_t, char*)>& format_;
  Output& output_;
  const unsigned helpers_wanted_;
  const std::int32_t window_;
  std::vector<Table> tables_;  // table i in slot i % window
  std::mutex mutex_;
  std::condition_variable changed_;
  std::int32_t created_ = 0;     // files created; written by the main thread only
  std::int32_t handed_out_ = 0;  // tables taken by some thread
  bool stopping_ = false;
  std::exception_ptr creation_failure_;
  Memory own_buffer_;  // the main thread's
  std::vector<std::jthread> helpers_;
};

}  // namespace

void write_tables(std::int32_t count, std::size_t size,
                  const std::function<std::string(std::int32_t)>& name,
                  const std::function<void(std::int32_t, char*)>& format,
                  Output& output) {
  if (count <= 0) return;
  TableRun run(count, size, name, format, output);
  run.run();
}

}  // namespace pdsplit
