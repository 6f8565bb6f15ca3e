// The helper that splits work across threads: every part runs once, on as
// many threads as the system gives, a refused thread leaves its parts to
// the threads there are, and a part's exception reaches the caller.
#include "base/parallel.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using pdsplit::parts_for;
using pdsplit::run_split;

// What a run of run_split did: how often each part ran, with which count of
// parts, and on which threads.
class Record {
 public:
  explicit Record(unsigned parts) : runs_(std::make_unique<std::atomic<int>[]>(parts)), parts_(parts) {}

  void run(unsigned part, unsigned parts) {
    if (part < parts_) ++runs_[part];
    std::lock_guard lock(mutex_);
    if (parts != parts_) wrong_count_ = true;
    threads_.insert(std::this_thread::get_id());
  }

  bool each_part_ran_once() const {
    for (unsigned p = 0; p < parts_; ++p)
      if (runs_[p] != 1) return false;
    return !wrong_count_;
  }
  std::size_t threads() const { return threads_.size(); }
  bool only_on(std::thread::id id) const { return threads_.size() == 1 && *threads_.begin() == id; }

 private:
  std::unique_ptr<std::atomic<int>[]> runs_;
  unsigned parts_;
  std::mutex mutex_;
  bool wrong_count_ = false;
  std::set<std::thread::id> threads_;
};

TEST(RunSplit, EveryPartRunsOnceAndKnowsTheCountOfParts) {
  for (unsigned parts : {0u, 1u, 2u, 3u, 8u, 33u}) {
    Record record(parts);
    run_split(parts, [&](unsigned part, unsigned count) { record.run(part, count); });
    EXPECT_TRUE(record.each_part_ran_once()) << parts << " parts";
    if (parts == 0) {
      EXPECT_EQ(record.threads(), 0u);
    } else if (parts == 1) {
      EXPECT_TRUE(record.only_on(std::this_thread::get_id()));
    }
  }
}

TEST(RunSplit, PartsRunOnSeveralThreadsAtOnce) {
  // Each part waits until two parts run at the same time (or a while).
  std::atomic<int> running{0}, most{0};
  Record record(4);
  run_split(4, [&](unsigned part, unsigned count) {
    int now = ++running;
    for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
    }
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (most.load() < 2 && std::chrono::steady_clock::now() < give_up)
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    record.run(part, count);
    --running;
  });
  EXPECT_TRUE(record.each_part_ran_once());
  EXPECT_GE(most.load(), 2);
  EXPECT_GE(record.threads(), 2u);
}

TEST(RunSplit, TheFirstFailingPartsExceptionAfterEveryPartRan) {
  Record record(8);
  try {
    run_split(8, [&](unsigned part, unsigned count) {
      record.run(part, count);
      if (part == 5 || part == 2) throw std::runtime_error("part " + std::to_string(part));
    });
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "part 2");
  }
  EXPECT_TRUE(record.each_part_ran_once());
}

TEST(RunSplit, PartsForOneThreadPerWorthAndWithinBounds) {
  EXPECT_EQ(parts_for(0, 100, 8), 1u);
  EXPECT_EQ(parts_for(199, 100, 8), 1u);
  EXPECT_EQ(parts_for(200, 100, 8), 2u);
  EXPECT_EQ(parts_for(799, 100, 8), 7u);
  EXPECT_EQ(parts_for(100000, 100, 8), 8u);
  EXPECT_EQ(parts_for(100000, 100, 0), 1u);  // at least one, whatever the bound
  EXPECT_EQ(parts_for(5, 0, 3), 3u);         // no work too small
}

// In a child process whose threads would each need a stack larger than the
// system grants: the child's exit status says whether run_split ran every
// part on the calling thread (0), did not (1), or threads could still be
// started there (77).
int run_split_where_no_thread_starts() {
  pid_t pid = ::fork();
  if (pid == 0) {
    pthread_attr_t attr;
    ::pthread_attr_init(&attr);
    // 64 TB: more than the memory and more than half the address space.
    if (::pthread_attr_setstacksize(&attr, std::size_t{1} << 46) != 0 ||
        ::pthread_setattr_default_np(&attr) != 0)
      ::_exit(77);
    try {
      std::thread probe([] {});
      probe.join();
      ::_exit(77);
    } catch (const std::system_error&) {
    }
    if (!pdsplit::start_threads(3, [](unsigned) {}).empty()) ::_exit(1);
    Record record(8);
    run_split(8, [&](unsigned part, unsigned count) { record.run(part, count); });
    ::_exit(record.each_part_ran_once() && record.only_on(std::this_thread::get_id()) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(RunSplit, RefusedThreadsLeaveTheirPartsToTheCallingThread) {
  int status = run_split_where_no_thread_starts();
  if (status == 77) GTEST_SKIP() << "threads with a 64 TB stack still start here";
  EXPECT_EQ(status, 0);
}

}  // namespace
