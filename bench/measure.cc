// measure: runs a command several times in a folder and prints the median
// wall time in seconds and the peak resident memory in KiB of its runs,
// then the median processor time (user and system) in seconds.
//
//   measure RUNS FOLDER COMMAND [ARG...]
//
// Standard output of the command is discarded; a run that fails is
// reported and ends the measurement with status 1.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: measure RUNS FOLDER COMMAND [ARG...]\n");
    return 2;
  }
  int runs = std::atoi(argv[1]);
  std::vector<double> times, cpu;
  long peak_kib = 0;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(argv[2]) != 0) _exit(126);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      execvp(argv[3], argv + 3);
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    auto stop = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "measure: %s failed\n", argv[3]);
      return 1;
    }
    times.push_back(std::chrono::duration<double>(stop - start).count());
    auto seconds = [](const timeval& t) {
      return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
    };
    cpu.push_back(seconds(usage.ru_utime) + seconds(usage.ru_stime));
    peak_kib = std::max(peak_kib, usage.ru_maxrss);
  }
  std::sort(times.begin(), times.end());
  std::sort(cpu.begin(), cpu.end());
  std::printf("%.6f %ld %.6f\n", times[times.size() / 2], peak_kib, cpu[cpu.size() / 2]);
  return 0;
}
