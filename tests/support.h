// Running the built binaries in scratch folders, for tests that meet the
// program as users do.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or 128 + signal
  long peak_kib = 0;  // peak resident size
};

// A fresh folder that is removed with everything in it at the end.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> entries() const;

 private:
  std::string path_;
};

// Runs `program` with `args` in `folder`; `shell_prefix`, when given, is a
// shell command run before it (e.g. "ulimit -f 1"). The peak resident size
// counts the copy fork makes of the test process: fork while it is small.
RunResult run_in(const std::string& folder, const std::string& program,
                 const std::vector<std::string>& args, const std::string& shell_prefix = "");

RunResult run_pdsplit(const Scratch& dir, const std::vector<std::string>& args);

// Starts pdsplit with `args` in `dir`, its standard output a pipe of one
// page, and sends it `signal_number` once `ready(console)` holds for what it
// printed so far; returns its exit status. No clock: a run that prints more
// after that moment cannot end before the signal, as the full pipe holds it.
// SIGPIPE is a close of the pipe instead (`pdsplit | head`); `pipe_ignored`
// starts the run with SIGPIPE ignored, as some shells start their children.
int interrupt_pdsplit(const Scratch& dir, const std::vector<std::string>& args, int signal_number,
                      const std::function<bool(const std::string& console)>& ready,
                      bool pipe_ignored = false);

// Writes DOSCAR (or `name`) in `dir` with the project's generator; its text.
void generate(const Scratch& dir, const std::vector<std::string>& options,
              const std::string& name = "DOSCAR");
std::string generated(const std::vector<std::string>& options);

// A text's lines without their line feeds, and back; for tests that break files line by line.
std::vector<std::string> split_lines(const std::string& text);
std::string join_lines(const std::vector<std::string>& lines);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);

}  // namespace testing_support
