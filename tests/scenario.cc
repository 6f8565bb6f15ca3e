#include "scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "driver/run.h"
#include "reference.h"
#include "support.h"

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
  // The faults that change nothing did happen, on a run that read a DOSCAR.
  if (o.status == 0 && files.counts.reads > 100) {
    EXPECT_TRUE(way.faults.interrupt_every == 0 || files.counts.interrupted > 0) << show(way);
    EXPECT_TRUE(way.faults.max_read == SIZE_MAX || files.counts.short_reads > 0) << show(way);
  }
  return o;
}

const std::vector<ReadWay>& other_ways() {
  static const std::vector<ReadWay> ways = [] {
    std::vector<ReadWay> w;
    for (unsigned threads : {2u, 3u})
      for (auto [chunk, slots] : {std::pair{997u, 1u}, {997u, 0u}, {40000u, 2u}})
        w.push_back({threads, {.chunks = {1, 1, chunk, chunk}, .ring_slots = slots}, {}});
    w.push_back({8, {.chunks = {1, 1, 997, 997}, .ring_slots = 1}, {}});  // more threads than atoms
    w.push_back({2, {}, {.max_read = 7, .interrupt_every = 3, .size_known = false}});
    return w;
  }();
  return ways;
}

Outcome run_every_way(const Folder& folder, const Args& args, const ReadFaults& read,
                      const DiskFaults& disk) {
  Outcome one = run_in_memory(folder, args, {1, {}, read}, disk);
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
  auto names = [](const Outcome& o) {
    std::vector<std::string> n;
    for (const auto& entry : o.tables) n.push_back(entry.first);
    return n;
  };
  ASSERT_EQ(names(got), names(want)) << what;
  for (const auto& [name, text] : want.tables)
    EXPECT_TRUE(got.tables.at(name) == text) << what << ": table " << name << " differs";
}

std::string show(const Args& args) {
  std::string text;
  for (const std::string& a : args) text += a + " ";
  return text;
}

std::string show(const ReadWay& way) {
  return std::to_string(way.threads) + " threads, chunks of " + std::to_string(way.plan.chunks.min_chunk) +
         " bytes, ring of " + std::to_string(way.plan.ring_slots) + " atoms, reads of at most " +
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

Args shape(int natom, int ngrid, const std::string& npcol, Args more) {
  Args a = {"--natom", std::to_string(natom), "--ngrid", std::to_string(ngrid), "--npcol", npcol};
  a.insert(a.end(), more.begin(), more.end());
  return a;
}

const std::string& doscar(const Args& options) {
  static std::map<Args, std::string> made;
  auto it = made.find(options);
  if (it == made.end()) it = made.emplace(options, generated(options)).first;
  return it->second;
}

namespace {

Edit on_lines(std::function<void(std::vector<std::string>&)> change) {
  return [=](const std::string& text) {
    std::vector<std::string> lines = split_lines(text);
    change(lines);
    return join_lines(lines);
  };
}

Folder tables_of(const reference::Doscar& d, const std::vector<std::string>& entries, double shift) {
  Folder out;
  for (const std::string& entry : entries) {
    std::size_t at = entry.find_first_of(":=*");
    std::string name = entry.substr(0, at);
    if (at == std::string::npos) {
      out[name] = reference::table(d.total, shift);
    } else if (entry[at] == '*') {
      for (int k = 1; k <= d.natom; ++k) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%03d", k);
        out[name + suffix] = reference::table(d.atoms[k - 1], shift);
      }
    } else if (entry[at] == ':') {
      out[name] = reference::table(d.atoms.at(std::stoul(entry.substr(at + 1)) - 1), shift);
    } else {
      std::vector<int> atoms;
      std::istringstream in(entry.substr(at + 1));
      for (std::string a; std::getline(in, a, '+');) atoms.push_back(std::stoi(a));
      out[name] = reference::table(reference::sum_atoms(d, atoms), shift);
    }
  }
  return out;
}

std::string console(const Case& c, const reference::Doscar& d, const std::string& option) {
  std::string out = reference::banner();
  if (c.stop == Stop::Banner) return out + reference::error_block(c.message);
  out += " ::: " + reference::heading_of(option) + " :::\n";
  if (c.stop == Stop::Missing) return out + " " + c.message + "\n";
  if (c.stop == Stop::Heading) return out;
  std::string opening = " Opening DOSCAR file...\n";
  if (c.name != "DOSCAR") opening += " File: " + c.name + "\n";
  if (c.stop == Stop::Opening) return out + opening;
  std::string summary = reference::summary(d).replace(0, 24, opening);
  if (!c.elements.empty()) summary.insert(summary.find('\n', summary.find(" Number of atoms")) + 1, c.elements + "\n");
  bool shifted = option.find('f') == std::string::npos;
  bool several = option.find_first_of("ae") != std::string::npos;
  if (c.stop == Stop::Done) return reference::success(reference::heading_of(option), summary, shifted, several);
  out += summary;
  if (c.stop == Stop::Summary) return out;
  out += std::string(" Closing DOSCAR file...\n") +
         (shifted ? " Fermi level is shifted\n" : " Fermi level is not shifted\n");
  if (c.stop == Stop::Closing) return out + reference::error_block(c.message);
  return out + (several ? " Creating output files...\n" : " Creating output file...\n");
}

}  // namespace

Edit keep(std::size_t lines) { return on_lines([=](auto& l) { l.resize(lines); }); }
Edit replace(std::size_t line, std::size_t column, std::string text) {
  return on_lines([=](auto& l) { l[line - 1].replace(column, text.size(), text); });
}
Edit append(std::size_t line, std::string text) {
  return on_lines([=](auto& l) { l[line - 1].insert(l[line - 1].find_last_not_of('\r') + 1, text); });
}
Edit cut_inside(std::size_t line) {
  return [=](const std::string& text) {
    std::vector<std::string> l = split_lines(text);
    std::string half = l[line - 1].substr(0, l[line - 1].size() / 2);
    l.resize(line - 1);
    return join_lines(l) + half;
  };
}

void expect_case(const Case& c) {
  std::string what = show(c.cmd) + c.message;
  SCOPED_TRACE(what);
  Folder folder = c.beside;
  reference::Doscar d;
  ReadFaults read;
  if (!c.gen.empty()) {
    Args plain = c.gen;
    auto packed = std::find(plain.begin(), plain.end(), "--compress");
    bool compressed = packed != plain.end();
    if (compressed) plain.erase(packed, packed + 2);
    std::string text = c.edit ? c.edit(doscar(c.gen)) : doscar(c.gen);
    bool edited = c.model == Model::Edited || (c.model == Model::Default && c.stop == Stop::Done);
    d = reference::parse(edited && c.edit && !compressed ? text : doscar(plain));
    folder[c.name] = text;
    if (c.fail_line != 0) {
      std::vector<std::uint64_t> starts{0};
      for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') starts.push_back(i + 1);
      read.fail_at = starts.at(c.fail_line > 0 ? c.fail_line - 1 : starts.size() + c.fail_line - 1) + c.fail_column;
      read.fail_errno = c.fail_errno;
    }
  }
  std::string option;  // the mode's: the first argument of one dash
  for (const std::string& a : c.cmd)
    if (option.empty() && a.size() > 1 && a[0] == '-' && a[1] != '-') option = a;
  double shift = option.find('f') == std::string::npos ? d.efermi : 0.0;
  DiskFaults disk = c.disk;
  if (!c.fail_table.empty()) disk.marker = split_lines(tables_of(d, {c.fail_table}, shift).begin()->second)[0];
  bool on_console = c.stop == Stop::Done || c.stop == Stop::Banner || c.stop == Stop::Closing ||
                    c.stop == Stop::Missing;
  Outcome want{c.stop == Stop::Done ? 0 : c.stop == Stop::Banner || c.stop == Stop::Closing ? 2 : 1,
               console(c, d, option), on_console ? "" : c.message + "\n", tables_of(d, c.tables, shift)};
  Outcome got = run_every_way(folder, c.cmd, read, disk);
  if (c.message.ends_with(": ") && got.err.starts_with(c.message) && got.err.find('\n') == got.err.size() - 1)
    want.err = got.err;
  expect_same(got, want, what);
}

void expect_cases(const std::vector<Case>& cases) {
  for (const Case& c : cases) expect_case(c);
}

}  // namespace testing_support
