#include "scenario.h"

#include <gtest/gtest.h>

#include "driver/run.h"

namespace testing_support {

Outcome run_in_memory(const Folder& folder, const Args& args, const ReadWay& way,
                      const DiskFaults& disk_faults) {
  MemoryFiles files;
  for (const auto& [name, text] : folder) files.add(name, text);
  files.faults = way.faults;
  MemoryDisk disk(disk_faults);
  Captured out, err;
  Outcome o;
  o.status = pdsplit::run(args, out.open(), err.open(), disk, files, way.threads, way.plan);
  o.out = without_cpu_time(out.close());
  o.err = err.close();
  o.tables = disk.files();
  if (o.status == 0 && files.counts.reads > 100) {  // a DOSCAR was read, not only opened
    EXPECT_TRUE(way.faults.interrupt_every == 0 || files.counts.interrupted > 0) << show(way);
    EXPECT_TRUE(way.faults.max_read == SIZE_MAX || files.counts.short_reads > 0) << show(way);
  }
  return o;
}

const std::vector<ReadWay>& other_ways() {
  static const std::vector<ReadWay> ways = [] {
    std::vector<ReadWay> w;
    for (unsigned threads : {2u, 3u})
      for (auto [chunk, slots] : {std::pair{997u, 1u}, {997u, 0u}, {40000u, 2u}}) {
        ReadWay way;
        way.threads = threads;
        way.plan.chunks = pdsplit::ChunkPlan{1, 1, chunk, chunk};
        way.plan.ring_slots = slots;
        w.push_back(way);
      }
    ReadWay reads;
    reads.threads = 2;
    reads.faults.max_read = 7;
    reads.faults.interrupt_every = 3;
    reads.faults.size_known = false;
    w.push_back(reads);
    return w;
  }();
  return ways;
}

Outcome run_every_way(const Folder& folder, const Args& args, const ReadFaults& read,
                      const DiskFaults& disk) {
  ReadWay first;
  first.faults = read;
  Outcome one = run_in_memory(folder, args, first, disk);
  for (ReadWay way : other_ways()) {
    way.faults.fail_at = read.fail_at;
    way.faults.fail_errno = read.fail_errno;
    expect_same(run_in_memory(folder, args, way, disk), one, show(args) + "on " + show(way));
  }
  return one;
}

void expect_same(const Outcome& got, const Outcome& want, const std::string& what) {
  EXPECT_EQ(got.status, want.status) << what;
  EXPECT_EQ(got.out, want.out) << what;
  EXPECT_EQ(got.err, want.err) << what;
  std::vector<std::string> got_names, want_names;
  for (const auto& entry : got.tables) got_names.push_back(entry.first);
  for (const auto& entry : want.tables) want_names.push_back(entry.first);
  ASSERT_EQ(got_names, want_names) << what;
  for (const auto& [name, text] : want.tables)
    EXPECT_TRUE(got.tables.at(name) == text) << what << ": table " << name << " differs";
}

std::string show(const Args& args) {
  std::string text;
  for (const std::string& a : args) text += a + " ";
  return text;
}

std::string show(const ReadWay& way) {
  return std::to_string(way.threads) + " threads, chunks of " +
         std::to_string(way.plan.chunks.min_chunk) + " bytes, ring of " +
         std::to_string(way.plan.ring_slots) + " atoms, reads of at most " +
         std::to_string(way.faults.max_read) + " bytes";
}

std::string without_cpu_time(std::string console) {
  std::size_t at = console.find(" CPU time (s):");
  if (at != std::string::npos) console.erase(at, console.find('\n', at) + 1 - at);
  return console;
}

std::string poscar(const std::string& symbols, const std::string& counts) {
  return "generated\n1.0\n 4 0 0\n 0 4 0\n 0 0 4\n" + symbols + "\n" + counts + "\nDirect\n";
}

}  // namespace testing_support
