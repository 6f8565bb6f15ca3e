// Compressed DOSCARs: DOSCAR.gz, .xz and .bz2 read as the text they hold,
// recognised by their first bytes; damaged and cut archives refused by name.
#include <gtest/gtest.h>

#include <unistd.h>

#include "reference.h"
#include "support.h"

namespace {

using namespace testing_support;

struct Packed {
  const char* option;  // the generator's --compress
  const char* name;
};
const Packed kKinds[] = {{"gz", "DOSCAR.gz"}, {"xz", "DOSCAR.xz"}, {"bz2", "DOSCAR.bz2"}};

const std::vector<std::string> kShape = {"--natom", "5", "--ngrid", "301", "--npcol", "18",
                                         "--seed", "11"};

std::vector<std::string> with(std::vector<std::string> options, const std::vector<std::string>& more) {
  options.insert(options.end(), more.begin(), more.end());
  return options;
}

// The console without the processor-time line, whose figure varies.
std::string without_cpu_time(const std::string& out) {
  std::size_t at = out.find(" CPU time (s):");
  if (at == std::string::npos) return out;
  return out.substr(0, at) + out.substr(out.find('\n', at) + 1);
}

std::string after_opening(const std::string& out, const std::string& name) {
  std::string opening = " Opening DOSCAR file...\n";
  std::string copy = out;
  std::size_t at = copy.find(opening);
  if (at != std::string::npos && !name.empty())
    copy.insert(at + opening.size(), " File: " + name + "\n");
  return copy;
}

TEST(Compressed, EveryModeWritesWhatThePlainFileGives) {
  Scratch plain;
  generate(plain, kShape);
  const std::vector<std::vector<std::string>> runs = {
      {"-t"}, {"-fp", "3"}, {"-a", "at"}, {"-s1", "2", "5"}, {"-s2", "5", "1", "5", "sum"}};
  for (const Packed& kind : kKinds) {
    Scratch dir;
    generate(dir, with(kShape, {"--compress", kind.option}), kind.name);
    for (const auto& args : runs) {
      Scratch expected;
      generate(expected, kShape);
      RunResult want = run_pdsplit(expected, args);
      RunResult got = run_pdsplit(dir, args);
      ASSERT_EQ(want.status, 0) << want.err;
      EXPECT_EQ(got.status, 0) << kind.name << " " << args[0] << ": " << got.err;
      EXPECT_EQ(without_cpu_time(got.out), after_opening(without_cpu_time(want.out), kind.name))
          << kind.name << " " << args[0];
      for (const std::string& name : expected.entries()) {
        if (name == "DOSCAR") continue;
        EXPECT_EQ(read_file(dir.file(name)), read_file(expected.file(name)))
            << kind.name << " " << name;
      }
      for (const std::string& name : dir.entries())
        if (name != kind.name) ::unlink(dir.file(name).c_str());
    }
  }
}

TEST(Compressed, ThePlainFileWinsAndTheFirstBytesDecide) {
  Scratch dir;
  generate(dir, with(kShape, {"--system", "plain"}));
  generate(dir, with(kShape, {"--system", "packed", "--compress", "gz"}), "DOSCAR.gz");
  RunResult r = run_pdsplit(dir, {"-t"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" System name:  plain\n"), std::string::npos);
  EXPECT_EQ(r.out.find(" File:"), std::string::npos);
  // A compressed file under the plain name is read through its decompressor,
  // and .xz before .bz2 when only those are there.
  ::unlink(dir.file("DOSCAR").c_str());
  ::unlink(dir.file("DOSCAR.gz").c_str());
  generate(dir, with(kShape, {"--system", "bz2-in-xz", "--compress", "bz2"}), "DOSCAR.xz");
  generate(dir, with(kShape, {"--system", "bz2", "--compress", "bz2"}), "DOSCAR.bz2");
  r = run_pdsplit(dir, {"-t"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" File: DOSCAR.xz\n"), std::string::npos);
  EXPECT_NE(r.out.find(" System name:  bz2-in-xz\n"), std::string::npos);
  ::unlink(dir.file("DOSCAR.xz").c_str());
  ::unlink(dir.file("DOSCAR.bz2").c_str());
  generate(dir, with(kShape, {"--system", "gz-as-plain", "--compress", "gz"}), "DOSCAR");
  r = run_pdsplit(dir, {"-t"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" System name:  gz-as-plain\n"), std::string::npos);
}

TEST(Compressed, ConcatenatedArchivesReadAsOneText) {
  // Parallel compressors write one archive per block, one after the other.
  Scratch dir;
  generate(dir, kShape, "plain");
  std::string text = read_file(dir.file("plain"));
  std::size_t half = text.find('\n', text.size() / 2) + 1;
  write_file(dir.file("a"), text.substr(0, half));
  write_file(dir.file("b"), text.substr(half));
  for (const char* tool : {"gzip", "xz", "bzip2"}) {
    RunResult packed = run_in(dir.path(), "/bin/sh",
                              {"-c", std::string(tool) + " -c a > DOSCAR && " + tool + " -c b >> DOSCAR"});
    ASSERT_EQ(packed.status, 0) << tool;
    RunResult r = run_pdsplit(dir, {"-fa"});
    EXPECT_EQ(r.status, 0) << tool << ": " << r.err;
    reference::Doscar d = reference::parse(text);
    for (int atom = 1; atom <= 5; ++atom)
      EXPECT_EQ(read_file(dir.file("iLDOS00" + std::to_string(atom))),
                reference::table(d.atoms[atom - 1], 0)) << tool;
  }
}

TEST(Compressed, DamagedAndCutArchivesAreRefusedByName) {
  for (const Packed& kind : kKinds) {
    Scratch dir;
    generate(dir, with(kShape, {"--compress", kind.option}), "packed");
    std::string packed = read_file(dir.file("packed"));
    ::unlink(dir.file("packed").c_str());
    // Cut: at a third, and just before its end.
    for (std::size_t keep : {packed.size() / 3, packed.size() - 5}) {
      write_file(dir.file(kind.name), packed.substr(0, keep));
      RunResult r = run_pdsplit(dir, {"-s1", "1", "5"});
      EXPECT_EQ(r.status, 1) << kind.name << " cut at " << keep;
      EXPECT_EQ(r.err.rfind(std::string("Error! Cannot read ") + kind.name + ": ", 0), 0u)
          << r.err;
      EXPECT_EQ(dir.entries(), std::vector<std::string>{kind.name});
    }
    // Damaged in the middle.
    std::string damaged = packed;
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i) damaged[i] ^= 0x5a;
    write_file(dir.file(kind.name), damaged);
    RunResult r = run_pdsplit(dir, {"-a"});
    EXPECT_EQ(r.status, 1) << kind.name;
    EXPECT_EQ(r.err.rfind(std::string("Error! Cannot read ") + kind.name + ": ", 0), 0u) << r.err;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{kind.name});
  }
}

}  // namespace
