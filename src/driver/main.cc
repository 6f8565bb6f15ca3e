// pdsplit: splits the DOSCAR of a VASP run into DOS tables.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/run.h"
#include "sources/source.h"
#include "output/disk.h"
#include "output/interrupt.h"

int main(int argc, char** argv) {
  // A file-size limit must show as a write error, not kill the process
  // with a half-written temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  pdsplit::install_interrupt_cleanup();
  std::vector<std::string> args(argv + 1, argv + argc);
  // Two or more cores read and format in parallel; the results do not
  // depend on how many.
  unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  int status = pdsplit::run(args, stdout, stderr, pdsplit::system_disk(),
                            pdsplit::system_opener(), threads);
  // A console that cannot take the report (a full disk behind a
  // redirection) is a failure too, not a success.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "Error! Cannot write to standard output: %s\n",
                 std::strerror(errno));
    if (status == 0) status = 1;
  }
  return status;
}
