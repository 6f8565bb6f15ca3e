// The table writer through its disk seam: short writes, interrupted calls
// and failures at any call give a complete table or none, never a part.
#include "output/writedos.h"
#include "output/write_tables.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <random>

#include <unistd.h>

#include <cmath>
#include <cstring>

#include "base/failure.h"
#include "reference.h"

namespace {

// An in-memory folder whose k-th call fails, and whose writes may be short
// or interrupted. Safe to call from several threads.
class FakeDisk : public pdsplit::Disk {
 public:
  std::map<std::string, std::string> files;
  int fail_call = -1;  // 0-based index of the call that fails
  int fail_errno = ENOSPC;
  std::size_t max_write = SIZE_MAX;
  bool interrupt_every_other = false;
  int calls = 0;
  int taken_by_others = 0;  // temporary names another process holds
  std::vector<std::string> attempted;

  int create_new(const std::string& path) override {
    std::lock_guard lock(mutex_);
    if (failing()) return -fail_errno;
    attempted.push_back(path);
    if (files.count(path) || taken_by_others-- > 0) return -EEXIST;
    files[path];
    open_[next_fd_] = path;
    return next_fd_++;
  }
  long write(int fd, const char* data, std::size_t size) override {
    std::lock_guard lock(mutex_);
    if (failing()) return -fail_errno;
    if (interrupt_every_other && (interrupted_ = !interrupted_)) return -EINTR;
    std::size_t n = std::min(size, max_write);
    files[open_.at(fd)].append(data, n);
    return static_cast<long>(n);
  }
  int close(int fd) override {
    std::lock_guard lock(mutex_);
    open_.erase(fd);
    return failing() ? -fail_errno : 0;
  }
  int rename(const std::string& from, const std::string& to) override {
    std::lock_guard lock(mutex_);
    if (failing()) return -fail_errno;
    files[to] = files[from];
    files.erase(from);
    return 0;
  }
  int remove(const std::string& path) override {
    std::lock_guard lock(mutex_);
    files.erase(path);
    return 0;
  }

 private:
  bool failing() { return calls++ == fail_call; }
  std::mutex mutex_;
  std::map<int, std::string> open_;
  int next_fd_ = 3;
  bool interrupted_ = false;
};

struct Table {
  std::int32_t ngrid = 0, k = 0;
  std::vector<double> data;  // row after row
  std::vector<reference::Row> rows;
};

Table random_table(std::int32_t ngrid, std::int32_t k) {
  std::mt19937_64 rng(ngrid * 31 + k);
  std::uniform_real_distribution<double> u(-30, 30);
  Table t{ngrid, k, std::vector<double>(static_cast<std::size_t>(ngrid) * (k + 1)), {}};
  for (std::int32_t g = 0; g < ngrid; ++g) {
    reference::Row row;
    for (std::int32_t c = 0; c <= k; ++c) {
      double v = c == 0 ? u(rng) : std::exp(u(rng) * 3);
      t.data[static_cast<std::size_t>(g) * (k + 1) + c] = v;
      row.push_back(v);
    }
    t.rows.push_back(row);
  }
  return t;
}

void write_table(pdsplit::Disk& disk, const std::string& name, double shift,
                 const double* table, std::int32_t ngrid, std::int32_t k,
                 unsigned threads = 1) {
  pdsplit::Output output(disk, threads);
  pdsplit::writedos(name, shift, table, ngrid, k, output);
}

TEST(WriteDos, WholeTableThroughShortAndInterruptedWrites) {
  Table t = random_table(30000, 32);  // larger than one write buffer
  std::string want = reference::table(t.rows, 1.25);
  FakeDisk disk;
  disk.max_write = 4093;
  disk.interrupt_every_other = true;
  write_table(disk, "out", 1.25, t.data.data(), t.ngrid, t.k);
  ASSERT_EQ(disk.files.size(), 1u);
  EXPECT_EQ(disk.files["out"], want);
}

TEST(WriteDos, SameTableWithAnyNumberOfThreads) {
  Table t = random_table(70001, 18);  // several chunks, uneven parts
  std::string want = reference::table(t.rows, -3.5);
  for (unsigned threads : {1u, 2u, 3u, 8u}) {
    FakeDisk disk;
    write_table(disk, "out", -3.5, t.data.data(), t.ngrid, t.k, threads);
    EXPECT_EQ(disk.files["out"], want) << threads << " threads";
  }
}

TEST(WriteDos, AFailureAtAnyCallLeavesTheOldFileAndNoTemporary) {
  Table t = random_table(30000, 4);
  FakeDisk probe;
  probe.max_write = 1 << 18;  // several writes per table
  write_table(probe, "sub/out", 0, t.data.data(), t.ngrid, t.k);
  int total_calls = probe.calls;
  ASSERT_GT(total_calls, 4);
  for (int errnum : {ENOSPC, EIO, EDQUOT}) {
    for (int k = 0; k < total_calls; ++k) {
      FakeDisk disk;
      disk.files["sub/out"] = "old table";
      disk.max_write = probe.max_write;
      disk.fail_call = k;
      disk.fail_errno = errnum;
      try {
        write_table(disk, "sub/out", 0, t.data.data(), t.ngrid, t.k);
        ADD_FAILURE() << "call " << k << " failed without a report";
      } catch (const pdsplit::Failure& f) {
        EXPECT_EQ(std::string(f.text()), "Error! Cannot write sub/out: " + std::string(std::strerror(errnum)));
        EXPECT_EQ(f.status(), 1);
      }
      ASSERT_EQ(disk.files.size(), 1u) << "call " << k;
      EXPECT_EQ(disk.files["sub/out"], "old table");
    }
  }
}

TEST(WriteDos, TemporaryFileLivesInTheTargetsFolderUnderAFreeName) {
  Table t = random_table(3, 2);
  FakeDisk disk;
  disk.taken_by_others = 3;
  write_table(disk, "a/b/name", 0, t.data.data(), t.ngrid, t.k);
  ASSERT_EQ(disk.attempted.size(), 4u);
  for (const std::string& temp : disk.attempted) EXPECT_EQ(temp.rfind("a/b/.pdsplit-", 0), 0u) << temp;
  EXPECT_EQ(disk.files.size(), 1u);
  EXPECT_EQ(disk.files["a/b/name"], reference::table(t.rows, 0));
}

TEST(WriteDos, EmptyGridGivesAnEmptyFile) {
  FakeDisk disk;
  double nothing = 0;
  write_table(disk, "out", 0, &nothing, 0, 4);
  EXPECT_EQ(disk.files["out"], "");
}

// Tables of `t` with the energies shifted by 0, 1, 2, ..., written by
// write_tables to "sub/t0", "sub/t1", ...
void write_shifted_tables(FakeDisk& disk, const Table& t, std::int32_t count, unsigned threads) {
  pdsplit::Output output(disk, threads);
  pdsplit::write_tables(
      count, pdsplit::table_text_size(t.ngrid, t.k),
      [](std::int32_t i) { return "sub/t" + std::to_string(i); },
      [&](std::int32_t i, char* out) { pdsplit::format_table(i, t.data.data(), t.ngrid, t.k, out); },
      output);
}

TEST(WriteTables, InPlaceInOrderUpToTheFirstFailureWhateverTheThreads) {
  // 12 tables of about 430 KB: enough for every thread to take some.
  Table t = random_table(6000, 5);
  std::vector<std::string> want;
  for (int i = 0; i < 12; ++i) want.push_back(reference::table(t.rows, i));
  FakeDisk probe;
  probe.max_write = 1 << 17;  // several writes per table
  write_shifted_tables(probe, t, 12, 3);
  ASSERT_EQ(probe.files.size(), 12u);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(probe.files["sub/t" + std::to_string(i)], want[i]);
  int total_calls = probe.calls;
  for (unsigned threads : {1u, 2u, 3u}) {
    for (int k = 0; k < total_calls; k += threads) {
      FakeDisk disk;
      for (int i = 0; i < 12; ++i) disk.files["sub/t" + std::to_string(i)] = "old";
      disk.max_write = probe.max_write;
      disk.fail_call = k;
      disk.fail_errno = k % 2 ? EIO : ENOSPC;
      std::string failure;
      try {
        write_shifted_tables(disk, t, 12, threads);
      } catch (const pdsplit::Failure& f) {
        failure = f.text();
      }
      // The failed table: every one before it new and whole, it and every
      // one after it old, nothing else in the folder.
      std::size_t failed = 0;
      while (failed < 12 && disk.files["sub/t" + std::to_string(failed)] == want[failed]) ++failed;
      ASSERT_LT(failed, 12u) << "call " << k << " failed without a report";
      EXPECT_EQ(failure, "Error! Cannot write sub/t" + std::to_string(failed) + ": " +
                             std::strerror(disk.fail_errno)) << "call " << k;
      for (std::size_t i = failed; i < 12; ++i)
        EXPECT_EQ(disk.files["sub/t" + std::to_string(i)], "old") << "call " << k << ", table " << i;
      EXPECT_EQ(disk.files.size(), 12u) << "call " << k;
    }
  }
}

}  // namespace
