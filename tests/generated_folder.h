// A scratch folder holding a DOSCAR made by the project's generator, with
// that DOSCAR parsed by the tests' own reader, for end-to-end tests that
// compute their expectations from the file's text.
#pragma once

#include <string>
#include <vector>

#include "reference.h"
#include "support.h"

namespace testing_support {

struct GeneratedFolder {
  Scratch dir;
  reference::Doscar d;
  explicit GeneratedFolder(const std::vector<std::string>& options) {
    generate(dir, options);
    d = reference::parse(read_file(dir.file("DOSCAR")));
  }
  RunResult run(const std::vector<std::string>& args) const { return run_pdsplit(dir, args); }
  std::string file(const std::string& name) const { return read_file(dir.file(name)); }
  void write(const std::string& name, const std::string& text) const { write_file(dir.file(name), text); }
};

}  // namespace testing_support
