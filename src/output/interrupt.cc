#include "output/interrupt.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace pdsplit {

namespace {

// A signal handler can reach nothing but process-wide state, so the
// pending paths live here: one slot per temporary file that may exist at
// once (several when tables are written side by side). A slot's flag is
// set only once its path is complete.
constexpr int kSlots = 32;
char g_pending_path[kSlots][kMaxPendingPath];
std::atomic<bool> g_pending[kSlots];
// Only the main thread creates and renames tables; handling the signal on
// it means no new temporary file can appear while the handler cleans up.
pthread_t g_main_thread;

void on_signal(int signal_number) {
  if (!pthread_equal(pthread_self(), g_main_thread)) {
    pthread_kill(g_main_thread, signal_number);
    return;
  }
  for (int i = 0; i < kSlots; ++i)
    if (g_pending[i].load()) ::unlink(g_pending_path[i]);
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

bool note_pending_file(const char* path) {
  std::size_t length = std::strlen(path);
  if (length >= sizeof g_pending_path[0]) return false;
  for (int i = 0; i < kSlots; ++i) {
    if (g_pending[i].load()) continue;
    std::memcpy(g_pending_path[i], path, length + 1);
    g_pending[i].store(true);
    return true;
  }
  return false;
}

void forget_pending_file(const char* path) {
  for (int i = 0; i < kSlots; ++i)
    if (g_pending[i].load() && std::strcmp(g_pending_path[i], path) == 0) {
      g_pending[i].store(false);
      return;
    }
}

}  // namespace pdsplit
