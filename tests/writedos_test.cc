// The table writer through its disk seam: short writes, interrupted calls
// and a failure at any call give a complete table or none, never a part,
// and leave no temporary file.
#include "output/writedos.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "base/failure.h"
#include "memory_files.h"
#include "reference.h"

namespace {

// A folder in memory whose call number `fail_call` (from 0) fails, whose
// writes may come short or be interrupted, and where other processes may
// hold the first temporary names tried.
struct FakeDisk : testing_support::MemoryDisk {
  using MemoryDisk::MemoryDisk;
  int fail_call = -1, fail_errno = ENOSPC, calls = 0, taken_by_others = 0;
  std::size_t max_write = SIZE_MAX;
  bool interrupt_every_other = false, interrupted = false;
  std::vector<std::string> attempted;
  std::mutex mutex;

  bool fails() {
    std::lock_guard lock(mutex);
    return calls++ == fail_call;
  }
  int create_new(const std::string& path) override {
    if (fails()) return -fail_errno;
    std::lock_guard lock(mutex);
    attempted.push_back(path);
    return taken_by_others-- > 0 ? -EEXIST : MemoryDisk::create_new(path);
  }
  long write(int fd, const char* data, std::size_t size) override {
    if (fails()) return -fail_errno;
    if (interrupt_every_other && (interrupted = !interrupted)) return -EINTR;
    return MemoryDisk::write(fd, data, std::min(size, max_write));
  }
  int close(int fd) override { return fails() ? (MemoryDisk::close(fd), -fail_errno) : MemoryDisk::close(fd); }
  int rename(const std::string& from, const std::string& to) override {
    return fails() ? -fail_errno : MemoryDisk::rename(from, to);
  }
};

struct Table {
  std::int32_t ngrid, k;
  std::vector<double> data;  // row after row
  std::vector<reference::Row> rows;
};

Table random_table(std::int32_t ngrid, std::int32_t k) {
  std::mt19937_64 rng(static_cast<std::uint64_t>(ngrid * 31 + k));
  std::uniform_real_distribution<double> u(-30, 30);
  Table t{ngrid, k, {}, std::vector<reference::Row>(static_cast<std::size_t>(ngrid))};
  for (reference::Row& row : t.rows)
    for (std::int32_t c = 0; c <= k; ++c) {
      row.push_back(c == 0 ? u(rng) : std::exp(u(rng) * 3));
      t.data.push_back(row.back());
    }
  return t;
}

// The failure of writing `t` to `name` through `disk`, or "".
std::string write_table(FakeDisk& disk, const std::string& name, double shift, const Table& t, unsigned threads = 1) {
  pdsplit::Output output(disk, threads);
  try {
    pdsplit::writedos(name, shift, t.data.data(), t.ngrid, t.k, output);
  } catch (const pdsplit::Failure& f) {
    EXPECT_EQ(f.status(), 1);
    return f.text();
  }
  return "";
}

TEST(WriteDos, WholeTablesThroughShortAndInterruptedWritesWhateverTheThreads) {
  // Larger than one write buffer, with several chunks of uneven parts; none.
  for (const Table& t : {random_table(70001, 18), random_table(0, 4)})
    for (unsigned threads : {1u, 2u, 3u, 8u}) {
      FakeDisk disk;
      disk.max_write = 4093;
      disk.interrupt_every_other = true;
      ASSERT_EQ(write_table(disk, "out", -3.5, t, threads), "");
      EXPECT_EQ(disk.files().size(), 1u);
      EXPECT_TRUE(disk.files()["out"] == reference::table(t.rows, -3.5)) << threads << " threads";
    }
  // The temporary file lives in the target's folder, under a free name.
  FakeDisk disk;
  disk.taken_by_others = 3;
  Table small = random_table(3, 2);
  ASSERT_EQ(write_table(disk, "a/b/name", 0, small), "");
  ASSERT_EQ(disk.attempted.size(), 4u);
  for (const std::string& temporary : disk.attempted) EXPECT_TRUE(temporary.starts_with("a/b/.pdsplit-")) << temporary;
  EXPECT_EQ(disk.files(), (std::map<std::string, std::string>{{"a/b/name", reference::table(small.rows, 0)}}));
}

TEST(WriteDos, AFailureAtAnyCallLeavesTheOldFileAndNoTemporary) {
  Table t = random_table(30000, 4);
  FakeDisk probe;
  probe.max_write = 1 << 18;  // several writes per table
  ASSERT_EQ(write_table(probe, "sub/out", 0, t), "");
  ASSERT_GT(probe.calls, 4);
  for (int errnum : {ENOSPC, EIO, EDQUOT})
    for (int k = 0; k < probe.calls; ++k) {
      FakeDisk disk({.older = {{"sub/out", "old table"}}});
      disk.max_write = probe.max_write;
      disk.fail_call = k;
      disk.fail_errno = errnum;
      EXPECT_EQ(write_table(disk, "sub/out", 0, t), "Error! Cannot write sub/out: " + std::string(std::strerror(errnum)));
      EXPECT_EQ(disk.files(), (std::map<std::string, std::string>{{"sub/out", "old table"}})) << "call " << k;
    }
}

}  // namespace
