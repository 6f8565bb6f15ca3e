// The modes as users run them, in memory: for each row, a generated
// DOSCAR, a command line, and the console and tables the tests' own model
// of the file says the run must give, the same on any threads, chunks,
// ring and reads.
#include <gtest/gtest.h>

#include <functional>

#include "reference.h"
#include "scenario.h"
#include "support.h"

namespace {

using namespace testing_support;
using reference::Doscar;

// What a successful run must give on `d`: its console and its tables.
using Expected = std::function<std::pair<std::string, Folder>(const Doscar& d)>;

struct Scenario {
  Args generator;
  Args command;
  Expected expected;
};

std::string atom_suffix(int atom) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%03d", atom);
  return buf;
}

const Scenario kScenarios[] = {
    {{"--natom", "2", "--ngrid", "60", "--npcol", "9"}, {"-t"},
     [](const Doscar& d) {
       return std::pair{reference::success("TOTAL DOS", reference::summary(d)),
                        Folder{{"iDOS", reference::table(d.total, d.efermi)}}};
     }},
    {{"--natom", "3", "--ngrid", "40", "--npcol", "16", "--atom-shift"}, {"-fa", "at"},
     [](const Doscar& d) {
       Folder tables;
       for (int k = 1; k <= d.natom; ++k)
         tables["at" + atom_suffix(k)] = reference::table(d.atoms[k - 1], 0.0);
       return std::pair{reference::success("PROJECTED DOS FOR ALL ATOMS", reference::summary(d),
                                           false, true),
                        tables};
     }},
    {{"--natom", "4", "--ngrid", "40", "--npcol", "18", "--atom-shift"}, {"-s2", "3", "2", "3", "list"},
     [](const Doscar& d) {
       return std::pair{reference::success("SUM PROJECTED DOS OF DISCRETE ATOMS", reference::summary(d)),
                        Folder{{"list", reference::table(reference::sum_atoms(d, {3, 2, 3}), d.efermi)}}};
     }},
};

TEST(Scenarios, ConsoleAndTablesAsTheModelSaysOnEveryWayOfReading) {
  for (const Scenario& s : kScenarios) {
    std::string doscar = generated(s.generator);
    Doscar d = reference::parse(doscar);
    Outcome got = run_every_way({{"DOSCAR", doscar}}, s.command);
    auto [console, tables] = s.expected(d);
    expect_same(got, Outcome{0, console, "", tables}, show(s.command));
  }
}

}  // namespace
