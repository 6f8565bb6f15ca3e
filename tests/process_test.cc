// The program as a process, where the process is the point: a signal removes every temporary
// file of the run it stops; limits on memory, address space, CPU time and processes give the
// tables of a free run or a clear failure at once; work shared out runs every part at once.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "base/parallel.h"
#include "support.h"

namespace {

using namespace testing_support;
using Args = std::vector<std::string>;

// pdsplit after the shell commands `limits`.
Args limited(const std::string& limits) { return {"/bin/sh", "-c", limits + "; exec \"$0\" \"$@\"", PDSPLIT_BIN}; }

Args operator+(Args a, const Args& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Runs pdsplit with `args` in `dir` freely, then through `confined` (what stands before its
// arguments): both end with status 0, the confined run writes the same tables and no other
// file, and, with a bound, both peak below it.
void expect_same_tables(const Scratch& dir, const Args& confined, const Args& args, long bound_kib = 0) {
  SCOPED_TRACE(args[0] + " " + args.back());
  std::filesystem::create_directories(dir.file("free"));
  std::vector<std::string> entries = dir.entries();
  std::set<std::string> before(entries.begin(), entries.end()), tables;
  RunResult free_run = run_in(dir.path(), PDSPLIT_BIN, args);
  ASSERT_EQ(free_run.status, 0) << free_run.err;
  for (const std::string& name : dir.entries())
    if (!before.count(name)) tables.insert(name);
  ASSERT_FALSE(tables.empty());
  for (const std::string& t : tables) std::filesystem::rename(dir.file(t), dir.file("free/" + t));
  Args command = confined + args;
  RunResult confined_run = run_in(dir.path(), command[0], {command.begin() + 1, command.end()});
  EXPECT_EQ(confined_run.status, 0) << confined_run.err;
  EXPECT_EQ(confined_run.err, "");
  for (const std::string& name : dir.entries()) EXPECT_TRUE(before.count(name) || tables.count(name)) << name;
  for (const std::string& t : tables) {
    EXPECT_EQ(run_in(dir.path(), "/usr/bin/cmp", {"-s", t, "free/" + t}).status, 0) << t << " differs";
    ::unlink(dir.file(t).c_str());
    ::unlink(dir.file("free/" + t).c_str());
  }
  if (bound_kib > 0) {
    EXPECT_LE(free_run.peak_kib, bound_kib) << "KiB at the peak of the free run";
    EXPECT_LE(confined_run.peak_kib, bound_kib) << "KiB at the peak of the confined run";
  }
}

TEST(Limits, NulFilesAndHugePromisesFailAtOnceInLittleMemory) {
  const std::vector<std::string> base = split_lines(generated({"--natom", "2", "--ngrid", "10", "--npcol", "9"}));
  auto nul = [](int width) {
    std::string text;
    while (width--) text += "\\x00";
    return "\"" + text + "\" is not a number";
  };
  std::vector<std::string> promising = base;  // 9999 atoms or -5, 99999 grid points
  promising[5].replace(32, 5, "99999");
  std::string top17 = join_lines({base.begin(), base.begin() + 17});
  struct Case {
    std::string text;
    std::uint64_t size;  // NUL bytes to this size: a hole, as a crashed node leaves
    Args args;
    std::string space_kib, err;  // the start of err
    bool at_once = true;         // within a second of processor time
  };
  const Case cases[] = {
      {"", std::uint64_t{20} << 30, {"-a"}, "300000", "Error! DOSCAR line 1, columns 1-4: " + nul(4)},
      // In the atom blocks, read by the threads; after line 17, in the
      // lines the header reader goes through: the total DOS alone.
      {join_lines({base.begin(), base.begin() + 19}), 1u << 30, {"-a"}, "300000",
       "Error! DOSCAR line 20, columns 1-11: " + nul(11), false},
      {top17.substr(0, top17.size() - 1), 1u << 30, {"-p", "1"}, "300000",
       "Error! DOSCAR holds no projected DOS", false},
      // Atom blocks are read as they come, never held all at once.
      {join_lines(promising).replace(0, 4, "9999"), 0, {"-a"}, "2000000", "Error! DOSCAR ends at line 38, but its header needs"},
      {join_lines(promising).replace(0, 4, "  -5"), 0, {"-a"}, "2000000", "Error! DOSCAR ends at line 38, but its header needs"},
  };
  for (const Case& c : cases) {
    Scratch dir;
    write_file(dir.file("DOSCAR"), c.text);
    ASSERT_EQ(c.size > 0 ? ::truncate(dir.file("DOSCAR").c_str(), static_cast<off_t>(c.size)) : 0, 0);
    std::string limits = c.at_once ? "ulimit -t 1" : "true";
#ifndef PDSPLIT_SANITIZED
    limits += "; ulimit -v " + c.space_kib;
#endif
    RunResult r = run_in(dir.path(), PDSPLIT_BIN, c.args, limits);
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.entries(), Args{"DOSCAR"});
  }
}

TEST(Limits, PeakMemoryStaysFarBelowTheFileAndTheTablesAreTheSame) {
#ifdef PDSPLIT_SANITIZED
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space";
#endif
  // 300 atoms of 3001 x 32 values: the generator's file of a tenth of them,
  // its atom blocks written ten times over under a header that counts all.
  constexpr long kNgrid = 3001, kNpcol = 32, kTableKib = kNgrid * (11 + 12 * kNpcol + 1) / 1024,
                 kBlockKib = kNgrid * (kNpcol + 1) * 8 / 1024;
  Scratch dir;
  std::string small = generated({"--natom", "30", "--ngrid", "3001", "--npcol", "32", "--seed", "42", "--atom-shift"});
  std::size_t blocks = 0;
  for (int line = 0; line < 6 + kNgrid; ++line) blocks = small.find('\n', blocks) + 1;
  std::ofstream out(dir.file("DOSCAR"), std::ios::binary);
  out << small.substr(0, blocks).replace(0, 8, " 300 300");  // line 1 counts the atoms twice
  for (int copy = 0; copy < 10; ++copy) out << small.substr(blocks);
  out.close();
  ASSERT_GT(std::filesystem::file_size(dir.file("DOSCAR")), 300u << 20);  // all blocks in memory: 238 MB
  std::ofstream(dir.file("POSCAR")) << "FeONi\n1.0\n 9 0 0\n 0 9 0\n 0 0 9\n Fe O Fe Ni\n 60 120 60 60\nDirect\n";
  std::string symbols, counts;  // 60 elements of 5 atoms: each sum's memory is its own size, no more
  for (int e = 0; e < 60; ++e) symbols += std::string(" ") + char('A' + e / 26) + char('a' + e % 26), counts += " 5";
  std::ofstream(dir.file("MANY")) << "x\n1.0\n 9 0 0\n 0 9 0\n 0 0 9\n" << symbols << "\n" << counts << "\nDirect\n";
  long threads = std::clamp(static_cast<long>(std::thread::hardware_concurrency()), 1L, 8L);
  // 64 MiB and the tables (and, for -s2, the blocks of atoms listed before their turn).
  const std::pair<Args, long> commands[] = {
      {{"-fs1", "1", "300"}, kTableKib}, {{"-p", "150"}, kTableKib},
      {{"-s2", "200", "17", "150", "3", "17", "299", "1", "list"}, kTableKib + 4 * kBlockKib},
      {{"-fa"}, threads * kTableKib}, {{"-fe"}, 3 * (kTableKib + kBlockKib)},  // -fe: a sum and a table each
      {{"--structure=MANY", "-fe"}, 60 * kBlockKib + kTableKib}};  // the sums and one table at a time
  for (const auto& [args, tables_kib] : commands)  // the threads' stacks count too
    expect_same_tables(dir, limited("ulimit -s 8192; ulimit -v 150000"), args, 64 * 1024 + tables_kib);
}

TEST(Limits, NoProcessLeftForAThreadOfAnUnprivilegedUser) {
  // Where the system refuses another thread, every mode carries on with the threads it has:
  // a limit of one process for nobody (root is exempt), who runs nothing but pdsplit.
#ifdef PDSPLIT_SANITIZED
  GTEST_SKIP() << "LeakSanitizer needs a thread of its own at the end of a run";
#endif
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run pdsplit as another user";
  if (::access("/usr/bin/setpriv", X_OK) + ::access("/bin/bash", X_OK) != 0) GTEST_SKIP() << "needs setpriv and bash";
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one processor: no thread is started";
  // Nobody may enter the checkout: the program is copied into the scratch folder, where nobody
  // may write tables (and the counts of a build for coverage).
  Scratch dir;
  ASSERT_EQ(::mkdir(dir.file("gcov").c_str(), 0777), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777) + ::chmod(dir.file("gcov").c_str(), 0777), 0);
  std::filesystem::copy_file(PDSPLIT_BIN, dir.file("pdsplit"));
  // Tables of 12001 lines of 32 values and sums of 64 atoms: worth several threads.
  generate(dir, {"--natom", "64", "--ngrid", "3001", "--npcol", "32", "--seed", "42"}, "DOSCAR");
  generate(dir, {"--natom", "3", "--ngrid", "12001", "--npcol", "32", "--seed", "42"}, "long");
  const Args as_nobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "/bin/bash", "-c",
                          "export GCOV_PREFIX=\"$PWD/gcov\"; ulimit -u 1 && exec \"$0\" \"$@\"", dir.file("pdsplit")};
  for (const Args& args : {Args{"-fs1", "1", "64"}, Args{"--doscar=long", "-fp", "1"}, Args{"--doscar=long", "-fs2", "1", "2", "3"},
                           Args{"--doscar=long", "-fa"}, Args{"--doscar=long", "-ft"}})
    expect_same_tables(dir, as_nobody, args);
}

TEST(Signals, AnInterruptedRunRemovesEveryTemporaryFile) {
  Scratch dir;
  generate(dir, {"--natom", "400", "--ngrid", "501", "--npcol", "32"});
  auto temporaries = [&] {
    int count = 0;
    for (const std::string& name : dir.entries()) count += name.starts_with(".pdsplit-");
    return count;
  };
  // Every signal that would end the run and can be caught; SIGPIPE as a pipe closed under it
  // (`pdsplit | head`). Once the moments of atom 150 are printed, the tables and moments of atoms
  // 1-150 are temporary files (far more than the 32 a run could once note), and the run cannot
  // put them in place before the test reads the lines of atoms 151-400.
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
                            SIGXCPU}) {
    int seen = 0;
    int status = interrupt_pdsplit(dir, {"--moments", "-a"}, signal_number, [&](const std::string& console) {
      bool now = console.find("Moments of iLDOS150:") != std::string::npos;
      if (now) seen = temporaries();
      return now;
    });
    EXPECT_GE(seen, 300);
    EXPECT_EQ(status, 128 + signal_number);
    EXPECT_EQ(dir.entries(), Args{"DOSCAR"});
  }
  // A closed pipe where SIGPIPE is ignored: status 1, the tables written whole, no temporary.
  int status = interrupt_pdsplit(dir, {"--moments", "-a"}, SIGPIPE, [](const std::string& console) {
    return console.find("Moments of iLDOS150:") != std::string::npos;
  }, true);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(temporaries(), 0);
  EXPECT_EQ(dir.entries().size(), 801u);
}

TEST(RunSplit, EveryPartOnceOnSeveralThreadsAtOnceAndTheFirstFailingPartsException) {
  for (unsigned parts : {0u, 1u, 2u, 3u, 8u, 33u}) {
    // Each part waits until two parts run at the same time; the bound only
    // ends a run in which that never comes.
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> runs(parts);
    std::set<std::thread::id> threads;
    unsigned running = 0, most = 0;
    std::string failure;
    try {
      pdsplit::run_split(parts, [&](unsigned part, unsigned count) {
        std::unique_lock lock(mutex);
        ++runs.at(part);
        EXPECT_EQ(count, parts);
        threads.insert(std::this_thread::get_id());
        most = std::max(most, ++running);
        changed.notify_all();
        changed.wait_for(lock, std::chrono::minutes(2), [&] { return most >= std::min(parts, 2u); });
        --running;
        if (part == 5 || part == 2) throw std::runtime_error("part " + std::to_string(part));
      });
    } catch (const std::runtime_error& e) {
      failure = e.what();
    }
    EXPECT_EQ(runs, std::vector<int>(parts, 1)) << parts << " parts";
    EXPECT_GE(most, std::min(parts, 2u)) << parts << " parts";
    EXPECT_EQ(failure, parts > 2 ? "part 2" : "") << parts << " parts";
    EXPECT_TRUE(parts != 1 || threads == std::set{std::this_thread::get_id()});
  }
}

}  // namespace
