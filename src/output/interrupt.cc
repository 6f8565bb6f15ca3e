#include "output/interrupt.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace pdsplit {

namespace {

// A signal handler can reach nothing but process-wide state, so the one
// pending path lives here. The flag is set only once the path is complete.
char g_pending_path[4096];
std::atomic<bool> g_pending{false};
// Only the main thread creates and renames tables; handling the signal on
// it means no new temporary file can appear while the handler cleans up.
pthread_t g_main_thread;

void on_signal(int signal_number) {
  if (!pthread_equal(pthread_self(), g_main_thread)) {
    pthread_kill(g_main_thread, signal_number);
    return;
  }
  if (g_pending.load()) ::unlink(g_pending_path);
  struct sigaction action{};
  action.sa_handler = SIG_DFL;
  ::sigaction(signal_number, &action, nullptr);
  ::raise(signal_number);
}

}  // namespace

void install_interrupt_cleanup() {
  g_main_thread = pthread_self();
  struct sigaction action{};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &action, nullptr);
}

void note_pending_file(const char* path) {
  g_pending.store(false);
  if (path == nullptr || std::strlen(path) >= sizeof g_pending_path) return;
  std::memcpy(g_pending_path, path, std::strlen(path) + 1);
  g_pending.store(true);
}

}  // namespace pdsplit
