#include "output/interrupt.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace pdsplit {

struct NoteBlock;

// One noted path. Its owner (the thread that noted it, until it is
// forgotten) alone writes its fields; the handler reads the path of a
// note only while it is live.
struct PendingNote {
  enum State { kFree, kClaimed, kLive };
  std::atomic<int> state{kFree};
  char* path = nullptr;
  std::size_t capacity = 0;
  // Owner only: whether the creation is counted in g_creating, and memory
  // to release once it is no longer counted.
  bool counted = false;
  char* retired = nullptr;
  NoteBlock* retired_block = nullptr;
};

// A signal handler can reach nothing but process-wide state, so the notes
// live in static memory: in blocks linked one after the other, never
// freed, each linked only once it is whole.
constexpr int kNotesPerBlock = 64;
struct NoteBlock {
  PendingNote notes[kNotesPerBlock];
  std::atomic<NoteBlock*> next{nullptr};
};

namespace {

NoteBlock g_first_block;

// Set by the handler: no file may be created any more.
std::atomic<bool> g_interrupted{false};
// Creations under way on threads other than the main one: from the note
// to the end of the creation. The handler waits until there are none.
std::atomic<int> g_creating{0};
std::atomic<bool> g_installed{false};
pthread_t g_main_thread;

bool on_main_thread() {
  return g_installed.load() && pthread_equal(pthread_self(), g_main_thread);
}

void pause_briefly() {
  struct timespec pause{0, 50000};
  ::nanosleep(&pause, nullptr);
}

void on_signal(int signal_number) {
  if (!pthread_equal(pthread_self(), g_main_thread)) {
    pthread_kill(g_main_thread, signal_number);
    return;
  }
  // The main thread is here, so it creates nothing; every other thread
  // finishes the creation it has begun, and begins none.
  g_interrupted.store(true);
  while (g_creating.load() > 0) pause_briefly();
  for (NoteBlock* block = &g_first_block; block != nullptr; block = block->next.load())
    for (PendingNote& note : block->notes)
      if (note.state.load() == PendingNote::kLive) ::unlink(note.path);
  struct sigaction action{};
  action.sa_handler = SIG_DFL;
  ::sigaction(signal_number, &action, nullptr);
  ::raise(signal_number);
}

// A free note, claimed for the caller; `spare` is linked at the end when
// every note is taken (and is then no longer the caller's to free).
PendingNote* claim_note(std::unique_ptr<NoteBlock>& spare) {
  NoteBlock* block = &g_first_block;
  for (;;) {
    for (PendingNote& note : block->notes) {
      int free = PendingNote::kFree;
      if (note.state.load() == free && note.state.compare_exchange_strong(free, PendingNote::kClaimed))
        return &note;
    }
    NoteBlock* next = block->next.load();
    if (next == nullptr) {
      NoteBlock* fresh = spare.get();
      if (block->next.compare_exchange_strong(next, fresh)) {
        spare.release();
        next = fresh;
      }
    }
    block = next;
  }
}

// Every signal whose default action ends the process and that a handler
// can catch, but SIGXFSZ: a file-size limit is a write failure, told as
// such. SIGQUIT is left to dump core, as asked.
constexpr int kEndingSignals[] = {SIGINT,  SIGTERM, SIGHUP,    SIGPIPE, SIGUSR1,
                                  SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU};

sigset_t interrupt_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kEndingSignals) sigaddset(&set, s);
  return set;
}

}  // namespace

void install_interrupt_cleanup() {
  g_main_thread = pthread_self();
  g_installed.store(true);
  struct sigaction action{};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  for (int s : kEndingSignals) {
    // A signal the caller ignores stays ignored (nohup, or a shell that
    // ignores SIGPIPE: a closed pipe is then a write failure, status 1).
    struct sigaction before{};
    if (::sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    ::sigaction(s, &action, nullptr);
  }
}

PendingNote* note_pending_file(const char* path, int& error) {
  std::size_t length = std::strlen(path);
  if (length >= kMaxPendingPath) {
    error = ENAMETOOLONG;
    return nullptr;
  }
  // Memory first: while the creation is counted, an allocation (or a
  // release) could wait for a lock that the interrupted main thread holds,
  // and the handler would wait for it in turn.
  std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
  std::unique_ptr<NoteBlock> spare(new (std::nothrow) NoteBlock);
  if (copy == nullptr || spare == nullptr) {
    error = ENOMEM;
    return nullptr;
  }
  std::memcpy(copy.get(), path, length + 1);
  bool counted = !on_main_thread();
  if (counted) {
    g_creating.fetch_add(1);
    if (g_interrupted.load()) {
      g_creating.fetch_sub(1);
      error = EINTR;
      return nullptr;
    }
  }
  PendingNote* note = claim_note(spare);
  note->counted = counted;
  if (note->capacity < length + 1) {
    note->retired = note->path;
    note->path = copy.release();
    note->capacity = length + 1;
  } else {
    std::memcpy(note->path, path, length + 1);
    note->retired = copy.release();
  }
  note->retired_block = spare.release();
  note->state.store(PendingNote::kLive);
  return note;
}

void end_pending_creation(PendingNote* note, bool created) {
  if (!created) note->state.store(PendingNote::kFree);
  char* retired = std::exchange(note->retired, nullptr);
  NoteBlock* block = std::exchange(note->retired_block, nullptr);
  if (note->counted) g_creating.fetch_sub(1);
  // No longer counted: memory may be released.
  delete[] retired;
  delete block;
}

void forget_pending_file(PendingNote* note) { note->state.store(PendingNote::kFree); }

InterruptionsHeld::InterruptionsHeld() {
  sigset_t held = interrupt_signals();
  ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

InterruptionsHeld::~InterruptionsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

}  // namespace pdsplit
