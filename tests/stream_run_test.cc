// The program on files larger than the memory it may use: the projected
// modes hold a few atom blocks at a time, so that their peak memory does
// not grow with DOSCAR, and -a keeps its tables as temporary files until
// the whole file is read, all of which an interruption removes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support.h"

namespace {

using namespace testing_support;

struct Measured {
  int status = -1;
  long peak_kib = 0;  // peak resident size
  std::string err;
};

// Runs pdsplit with `args` in `folder` after the shell commands `limits`;
// its peak resident size from wait4. The test process forks it while
// small, so that the copy made by fork does not count.
Measured run_measured(const std::string& folder, const std::vector<std::string>& args,
                      const std::string& limits) {
  std::string err_path = folder + ".err";
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    int null = ::open("/dev/null", O_WRONLY);
    int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(null, 1);
    ::dup2(err, 2);
    std::vector<std::string> all = {"/bin/sh", "-c", limits + "; exec \"$0\" \"$@\"", PDSPLIT_BIN};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv("/bin/sh", argv.data());
    ::_exit(127);
  }
  Measured m;
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  m.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  m.peak_kib = usage.ru_maxrss;
  m.err = read_file(err_path);
  ::unlink(err_path.c_str());
  return m;
}

// Whether two files hold the same bytes, read a piece at a time.
bool same_file(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  if (!fa || !fb) return false;
  std::vector<char> pa(1 << 20), pb(1 << 20);
  for (;;) {
    fa.read(pa.data(), static_cast<std::streamsize>(pa.size()));
    fb.read(pb.data(), static_cast<std::streamsize>(pb.size()));
    if (fa.gcount() != fb.gcount()) return false;
    if (!std::equal(pa.begin(), pa.begin() + fa.gcount(), pb.begin())) return false;
    if (fa.gcount() == 0) return true;
  }
}

std::vector<std::string> tables_in(const Scratch& dir) {
  std::vector<std::string> names;
  for (const std::string& name : dir.entries())
    if (name != "DOSCAR" && name != "free") names.push_back(name);
  return names;
}

constexpr int kNatom = 300, kNgrid = 3001, kNpcol = 32;
// The text of one table: NGRID lines of an energy and NPCOL values.
constexpr long kTableBytes = long{kNgrid} * (11 + 12 * kNpcol + 1);
// One atom's block in memory.
constexpr long kBlockBytes = long{kNgrid} * (kNpcol + 1) * 8;
// Far below the file (357 MB) and below all its blocks at once (238 MB),
// with room for the threads' stacks (8 MB each).
constexpr long kAddressSpaceKib = 150000;

// A DOSCAR of kNatom atoms, quickly: the generator's file of a tenth of
// them, its atom blocks written ten times over under a header that counts
// them all.
void write_large_doscar(const std::string& path) {
  std::string small = generated({"--natom", std::to_string(kNatom / 10), "--ngrid",
                                 std::to_string(kNgrid), "--npcol", std::to_string(kNpcol),
                                 "--seed", "42", "--atom-shift"});
  std::size_t blocks = 0;  // after the header lines and the total-DOS block
  for (int line = 0; line < 6 + kNgrid; ++line) blocks = small.find('\n', blocks) + 1;
  std::string natom = std::to_string(kNatom);
  std::string head = small.substr(0, blocks);
  // Line 1 counts the atoms twice, in columns 1-4 and 5-8.
  head.replace(4 - natom.size(), natom.size(), natom);
  head.replace(8 - natom.size(), natom.size(), natom);
  std::ofstream out(path, std::ios::binary);
  out << head;
  for (int copy = 0; copy < 10; ++copy)
    out.write(small.data() + blocks, static_cast<std::streamsize>(small.size() - blocks));
  ASSERT_TRUE(out.good());
}

// Why a run under the address-space limit of these tests would prove
// nothing here, or "" when it can be tested.
std::string why_no_address_space_limit() {
#ifdef PDSPLIT_SANITIZED
  return "AddressSanitizer reserves terabytes of address space and shadows all memory";
#endif
  rlimit space{};
  if (::getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY &&
      space.rlim_cur < static_cast<rlim_t>(kAddressSpaceKib) * 1024)
    return "the address-space limit is lower than the one tested";
  return "";
}

TEST(StreamRun, PeakMemoryStaysFarBelowTheFileAndTheTablesAreTheSame) {
  if (std::string why = why_no_address_space_limit(); !why.empty()) GTEST_SKIP() << why;
  Scratch dir;
  write_large_doscar(dir.file("DOSCAR"));
  ASSERT_GT(std::filesystem::file_size(dir.file("DOSCAR")), 300u << 20);
  std::filesystem::create_directory(dir.file("free"));
  long threads = std::clamp(static_cast<long>(std::thread::hardware_concurrency()), 1L, 8L);
  struct Command {
    std::vector<std::string> args;
    long tables_kib;  // what the bound allows beyond 64 MiB
  };
  const std::vector<Command> commands = {
      {{"-fs1", "1", "300"}, kTableBytes / 1024},
      {{"-p", "150"}, kTableBytes / 1024},
      // Atoms 1, 3, 17 and 150 come before their turn and are held.
      {{"-s2", "200", "17", "150", "3", "17", "299", "1", "list"}, (kTableBytes + 4 * kBlockBytes) / 1024},
      {{"-fa"}, threads * kTableBytes / 1024},
  };
  for (const Command& c : commands) {
    SCOPED_TRACE(c.args[0]);
    Measured free_run = run_measured(dir.path(), c.args, "true");
    ASSERT_EQ(free_run.status, 0) << free_run.err;
    std::vector<std::string> tables = tables_in(dir);
    ASSERT_FALSE(tables.empty());
    for (const std::string& t : tables)
      std::filesystem::rename(dir.file(t), dir.file("free/" + t));
    Measured confined = run_measured(
        dir.path(), c.args, "ulimit -s 8192; ulimit -v " + std::to_string(kAddressSpaceKib));
    EXPECT_EQ(confined.status, 0) << confined.err;
    EXPECT_EQ(confined.err, "");
    EXPECT_EQ(tables_in(dir), tables);
    for (const std::string& t : tables) {
      EXPECT_TRUE(same_file(dir.file(t), dir.file("free/" + t))) << t << " differs";
      ::unlink(dir.file(t).c_str());
      ::unlink(dir.file("free/" + t).c_str());
    }
    long bound = 64 * 1024 + c.tables_kib;
    EXPECT_LE(free_run.peak_kib, bound) << "KiB at the peak of the free run";
    EXPECT_LE(confined.peak_kib, bound) << "KiB at the peak of the confined run";
  }
}

TEST(StreamRun, ElementSumsHoldOneTablePerElementWhateverTheFileSize) {
  if (std::string why = why_no_address_space_limit(); !why.empty()) GTEST_SKIP() << why;
  Scratch dir;
  write_large_doscar(dir.file("DOSCAR"));
  // Three elements, iron in two runs of atoms.
  std::ofstream(dir.file("POSCAR")) << "FeONi\n1.0\n 9 0 0\n 0 9 0\n 0 0 9\n Fe O Fe Ni\n"
                                       " 60 120 60 60\nDirect\n";
  const std::vector<std::string> elements = {"Fe", "O", "Ni"};
  std::filesystem::create_directory(dir.file("free"));
  auto tables = [&] {
    std::vector<std::string> names = tables_in(dir);
    std::erase(names, "POSCAR");
    return names;
  };
  Measured free_run = run_measured(dir.path(), {"-fe"}, "true");
  ASSERT_EQ(free_run.status, 0) << free_run.err;
  ASSERT_EQ(tables(), (std::vector<std::string>{"iSUMDOS_Fe", "iSUMDOS_Ni", "iSUMDOS_O"}));
  for (const std::string& e : elements)
    std::filesystem::rename(dir.file("iSUMDOS_" + e), dir.file("free/iSUMDOS_" + e));
  Measured confined = run_measured(
      dir.path(), {"-fe"}, "ulimit -s 8192; ulimit -v " + std::to_string(kAddressSpaceKib));
  EXPECT_EQ(confined.status, 0) << confined.err;
  EXPECT_EQ(confined.err, "");
  ASSERT_EQ(tables(), (std::vector<std::string>{"iSUMDOS_Fe", "iSUMDOS_Ni", "iSUMDOS_O"}));
  for (const std::string& e : elements)
    EXPECT_TRUE(same_file(dir.file("iSUMDOS_" + e), dir.file("free/iSUMDOS_" + e))) << e;
  // Nickel is atoms 241-300: its table is the sum -s1 makes of them.
  ASSERT_EQ(run_measured(dir.path(), {"-fs1", "241", "300", "nickel"}, "true").status, 0);
  EXPECT_TRUE(same_file(dir.file("iSUMDOS_Ni"), dir.file("nickel")));
  // Each element's sum in memory and its text: 64 MiB and the tables.
  long bound = 64 * 1024 + static_cast<long>(elements.size()) * (kTableBytes + kBlockBytes) / 1024;
  EXPECT_LE(free_run.peak_kib, bound) << "KiB at the peak of the free run";
  EXPECT_LE(confined.peak_kib, bound) << "KiB at the peak of the confined run";
}

int count_temporary_files(const std::string& folder) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().filename().string().rfind(".pdsplit-", 0) == 0) ++count;
  return count;
}

TEST(StreamRun, InterruptionRemovesEveryTemporaryTableHoweverMany) {
  Scratch dir;
  generate(dir, {"--natom", "400", "--ngrid", "501", "--npcol", "32"});
  for (int signal_number : {SIGINT, SIGTERM}) {
    // Far more temporary tables than the 32 a run could once note, then
    // the signal, while the file is still being read.
    int seen = 0;
    int status = interrupt_pdsplit(dir, {"-a"}, signal_number,
                                   [&] { return (seen = count_temporary_files(dir.path())) >= 100; },
                                   std::chrono::seconds(20));
    EXPECT_GE(seen, 100) << "the signal came before 100 temporary tables were there";
    EXPECT_EQ(status, 128 + signal_number);
    EXPECT_EQ(count_temporary_files(dir.path()), 0);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"DOSCAR"});
  }
}

}  // namespace
