// pdsplit: splits the DOSCAR of a VASP run into DOS tables.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/run.h"
#include "output/disk.h"

int main(int argc, char** argv) {
  // A file-size limit must show as a write error, not kill the process
  // with a half-written temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = pdsplit::run(args, stdout, stderr, pdsplit::system_disk());
  if (std::fflush(stdout) != 0 && status == 0) status = 1;
  return status;
}
