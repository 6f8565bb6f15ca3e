// Where the system refuses to start another thread (a limit on processes,
// or no address space left for a thread's stack), every mode carries on
// with the threads it has: status 0, the tables of a run without limits,
// no temporary file left behind.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support.h"

namespace {

using namespace testing_support;

// A new thread reserves address space for a stack of the stack limit: with
// a limit of 1.8 GB, more than the 1.5 GB the process may have. The main
// thread's stack grows on demand and the tables fit in what is left.
constexpr rlim_t kStackKb = 1800000, kAddressSpaceKb = 1500000;

bool has_temporary_files(const std::string& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().filename().string().rfind(".pdsplit-", 0) == 0) return true;
  return false;
}

// How to start pdsplit where it may start no other thread: a program and
// its arguments before pdsplit and pdsplit's own.
struct Confinement {
  std::string program;
  std::vector<std::string> before;
};

Confinement address_space_too_small_for_a_stack() {
  return {"/bin/sh",
          {"-c",
           "ulimit -s " + std::to_string(kStackKb) + " && ulimit -v " +
               std::to_string(kAddressSpaceKb) + " && exec \"$0\" \"$@\"",
           PDSPLIT_BIN}};
}

// Why the address-space confinement cannot be used here, or "".
std::string address_space_confinement_unusable() {
#ifdef PDSPLIT_SANITIZED
  return "AddressSanitizer reserves terabytes of address space: no ulimit -v";
#else
  rlimit stack{}, space{};
  if (::getrlimit(RLIMIT_STACK, &stack) != 0 || ::getrlimit(RLIMIT_AS, &space) != 0)
    return "the limits cannot be read";
  if ((stack.rlim_max != RLIM_INFINITY && stack.rlim_max < kStackKb * 1024) ||
      (space.rlim_max != RLIM_INFINITY && space.rlim_max < kAddressSpaceKb * 1024))
    return "the hard limits do not allow the confinement";
  return "";
#endif
}

// With one processor pdsplit starts no thread, and no refusal is tested.
bool one_processor() { return std::thread::hardware_concurrency() < 2; }

// Runs pdsplit with `args` in `folder` freely and then confined: both end
// with status 0, and the confined run writes the same `tables` and leaves
// no temporary file.
void expect_same_tables_when_confined(const Confinement& confined, const std::string& folder,
                                      const std::vector<std::string>& args,
                                      const std::vector<std::string>& tables) {
  std::string trace = args[0];
  for (std::size_t i = 1; i < args.size(); ++i) trace += " " + args[i];
  SCOPED_TRACE("pdsplit " + trace);
  RunResult free_run = run_in(folder, PDSPLIT_BIN, args);
  ASSERT_EQ(free_run.status, 0) << free_run.err;
  std::vector<std::string> want;
  for (const std::string& table : tables) {
    want.push_back(read_file(folder + "/" + table));
    ASSERT_FALSE(want.back().empty()) << table;
    ASSERT_EQ(::unlink((folder + "/" + table).c_str()), 0) << table;
  }
  std::vector<std::string> all = confined.before;
  all.insert(all.end(), args.begin(), args.end());
  RunResult r = run_in(folder, confined.program, all);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  for (std::size_t i = 0; i < tables.size(); ++i)  // no diff of megabytes on failure
    EXPECT_TRUE(read_file(folder + "/" + tables[i]) == want[i]) << tables[i] << " differs";
  EXPECT_FALSE(has_temporary_files(folder));
}

TEST(ThreadLimit, RangeSumAddsOnTheThreadsItGets) {
  if (std::string why = address_space_confinement_unusable(); !why.empty()) GTEST_SKIP() << why;
  if (one_processor()) GTEST_SKIP() << "one processor: pdsplit starts no thread here";
  // 64 atoms of 3001 x 32 values: millions of additions, worth several
  // threads, while the table's text is worth one.
  Scratch dir;
  generate(dir, {"--natom", "64", "--ngrid", "3001", "--npcol", "32", "--seed", "42"});
  expect_same_tables_when_confined(address_space_too_small_for_a_stack(), dir.path(),
                                   {"-fs1", "1", "64"}, {"iSUMDOS"});
}

TEST(ThreadLimit, TablesFormattedOnTheThreadsTheyGet) {
  if (std::string why = address_space_confinement_unusable(); !why.empty()) GTEST_SKIP() << why;
  if (one_processor()) GTEST_SKIP() << "one processor: pdsplit starts no thread here";
  // Tables of 12001 lines of 32 values (4.7 MB of text): worth several
  // threads to format; the sums of three atoms are worth one.
  Scratch dir;
  generate(dir, {"--natom", "3", "--ngrid", "12001", "--npcol", "32", "--seed", "42"});
  Confinement confined = address_space_too_small_for_a_stack();
  expect_same_tables_when_confined(confined, dir.path(), {"-fp", "1"}, {"iLDOS001"});
  expect_same_tables_when_confined(confined, dir.path(), {"-fs2", "1", "2", "3"}, {"iSUMDOS"});
  expect_same_tables_when_confined(confined, dir.path(), {"-fs1", "1", "3"}, {"iSUMDOS"});
  expect_same_tables_when_confined(confined, dir.path(), {"-fa"},
                                   {"iLDOS001", "iLDOS002", "iLDOS003"});
}

TEST(ThreadLimit, TotalDosFormattedOnTheThreadsItGets) {
  if (std::string why = address_space_confinement_unusable(); !why.empty()) GTEST_SKIP() << why;
  if (one_processor()) GTEST_SKIP() << "one processor: pdsplit starts no thread here";
  // 72001 lines of 4 values (4.3 MB of text).
  Scratch dir;
  generate(dir, {"--natom", "1", "--ngrid", "72001", "--npcol", "32", "--seed", "42"});
  expect_same_tables_when_confined(address_space_too_small_for_a_stack(), dir.path(), {"-ft"},
                                   {"iDOS"});
}

TEST(ThreadLimit, NoProcessLeftForAThreadOfAnUnprivilegedUser) {
  // A limit of one process for a user who runs none: pdsplit itself. Root
  // is exempt from the limit, so the run is made as nobody.
#ifdef PDSPLIT_SANITIZED
  GTEST_SKIP() << "LeakSanitizer needs a thread of its own at the end of a run";
#endif
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run pdsplit as another user";
  if (::access("/usr/bin/setpriv", X_OK) != 0 || ::access("/bin/bash", X_OK) != 0)
    GTEST_SKIP() << "needs setpriv and bash";
  if (one_processor()) GTEST_SKIP() << "one processor: pdsplit starts no thread here";
  Confinement as_nobody{"/usr/bin/setpriv",
                        {"--reuid=65534", "--regid=65534", "--clear-groups", "/bin/bash", "-c",
                         "ulimit -u 1 && exec \"$0\" \"$@\"", PDSPLIT_BIN}};
  Scratch dir;
  // A folder nobody may write in, inside the scratch folder only root may list.
  std::string folder = dir.file("shared");
  ASSERT_EQ(::chmod(dir.path().c_str(), 0711), 0);
  ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
  RunResult help = run_in(folder, as_nobody.program,
                          {"--reuid=65534", "--regid=65534", "--clear-groups", PDSPLIT_BIN, "-h"});
  if (help.status == 126 || help.status == 127)
    GTEST_SKIP() << "nobody may not run " << PDSPLIT_BIN;
  RunResult gen = run_in(folder, DOSCAR_GEN_BIN,
                         {"--natom", "3", "--ngrid", "12001", "--npcol", "32", "--seed", "42", "DOSCAR"});
  ASSERT_EQ(gen.status, 0) << gen.err;
  ASSERT_EQ(::chmod((folder + "/DOSCAR").c_str(), 0644), 0);
  expect_same_tables_when_confined(as_nobody, folder, {"-fp", "1"}, {"iLDOS001"});
  expect_same_tables_when_confined(as_nobody, folder, {"-fs2", "1", "2", "3"}, {"iSUMDOS"});
  expect_same_tables_when_confined(as_nobody, folder, {"-fa"}, {"iLDOS001", "iLDOS002", "iLDOS003"});
}

}  // namespace
