#include "support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t pos = 0, end; pos < text.size(); pos = end + 1) {
    end = std::min(text.find('\n', pos), text.size());
    lines.push_back(text.substr(pos, end - pos));
  }
  return lines;
}

std::string join_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

namespace fs = std::filesystem;

Scratch::Scratch() {
  std::string pattern = (fs::temp_directory_path() / "pdsplit-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

Scratch::~Scratch() {
  std::error_code ec;
  // Folders made read-only by a test must be writable again to be removed.
  for (auto& entry : fs::recursive_directory_iterator(path_, ec))
    if (entry.is_directory(ec)) fs::permissions(entry.path(), fs::perms::owner_all,
                                                fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::vector<std::string> Scratch::entries() const {
  std::vector<std::string> names;
  for (auto& entry : fs::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

RunResult run_in(const std::string& folder, const std::string& program,
                 const std::vector<std::string>& args,
                 const std::string& shell_prefix) {
  std::string out_path = folder + "/../" + fs::path(folder).filename().string() + ".out";
  std::string err_path = out_path + ".err";
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<std::string> all;
    if (shell_prefix.empty()) {
      all.push_back(program);
    } else {
      all = {"/bin/sh", "-c", shell_prefix + "; exec \"$0\" \"$@\"", program};
    }
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int wstatus = 0;
  rusage usage{};
  ::wait4(pid, &wstatus, 0, &usage);
  RunResult r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  r.peak_kib = usage.ru_maxrss;
  r.out = read_file(out_path);
  r.err = read_file(err_path);
  ::unlink(out_path.c_str());
  ::unlink(err_path.c_str());
  return r;
}

RunResult run_pdsplit(const Scratch& dir, const std::vector<std::string>& args) {
  return run_in(dir.path(), PDSPLIT_BIN, args);
}

int interrupt_pdsplit(const Scratch& dir, const std::vector<std::string>& args, int signal_number,
                      const std::function<bool(const std::string& console)>& ready,
                      bool pipe_ignored) {
  std::vector<char*> argv{const_cast<char*>(PDSPLIT_BIN)};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe");
  ::fcntl(out[1], F_SETPIPE_SZ, 4096);  // else the usual 64 KiB
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.path().c_str()) != 0 || ::dup2(out[1], 1) < 0) ::_exit(126);
    std::signal(SIGPIPE, pipe_ignored ? SIG_IGN : SIG_DFL);
    ::close(out[0]);
    ::close(out[1]);
    ::execv(PDSPLIT_BIN, argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string console;
  bool sent = false;
  char buffer[4096];
  for (long n; (n = ::read(out[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    console.append(buffer, static_cast<std::size_t>(n));
    if (sent || !ready(console)) continue;
    if (signal_number == SIGPIPE) break;
    sent = ::kill(pid, signal_number) == 0;
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

void generate(const Scratch& dir, const std::vector<std::string>& options,
              const std::string& name) {
  std::vector<std::string> args = options;
  args.push_back(name);
  RunResult r = run_in(dir.path(), DOSCAR_GEN_BIN, args);
  if (r.status != 0) throw std::runtime_error("doscar_gen failed: " + r.err);
}

std::string generated(const std::vector<std::string>& options) {
  Scratch dir;
  generate(dir, options);
  return read_file(dir.file("DOSCAR"));
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

}  // namespace testing_support
