// Cleaning up after an interruption: a run stopped by Ctrl-C or a kill
// while it writes tables removes every temporary file it has made, so
// that nothing half-written or unfinished stays behind.
#pragma once

#include <signal.h>

#include <cstddef>

namespace pdsplit {

// Installs the handlers for every signal that would end the process and
// can be caught (SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGUSR1, SIGUSR2,
// SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU), but those the caller ignores; to
// be called from the main thread. A handled signal removes every noted
// file and then ends the process by the same signal, so callers see the
// conventional status (130 for SIGINT, 141 for a closed pipe, 143 for
// SIGTERM). The handler runs on the main thread
// (another thread that gets the signal hands it on), and before it removes
// anything it waits until no other thread is creating a file and lets none
// start: no noted file can appear after the cleanup.
void install_interrupt_cleanup();

// The longest path that can be noted, with its terminating zero.
constexpr std::size_t kMaxPendingPath = 4096;

// A file noted for removal on interruption.
struct PendingNote;

// Notes `path`, a file about to be created, on any thread; there is no
// limit to how many files are noted at once. Returns the note, or null
// with `error` set: ENAMETOOLONG for a path of kMaxPendingPath characters
// or more, ENOMEM, or EINTR when the run is being interrupted (the file
// must then not be created). The creation is then tried, and
// end_pending_creation says how it went; in between the calling thread
// may take no lock and allocate no memory (the interruption waits for it).
PendingNote* note_pending_file(const char* path, int& error);

// The creation noted has been tried: `created` says whether the file now
// exists; a file that does not is forgotten.
void end_pending_creation(PendingNote* note, bool created);

// Forgets a noted file once it is renamed or removed (after the rename or
// the removal: an interruption in between finds the name gone, which is
// harmless). Any thread.
void forget_pending_file(PendingNote* note);

// Holds off interruption on the calling thread while it lives: a signal
// that comes meanwhile is handled when it ends. For short steps that must
// not be cut in the middle (putting a set of tables in place).
class InterruptionsHeld {
 public:
  InterruptionsHeld();
  ~InterruptionsHeld();
  InterruptionsHeld(const InterruptionsHeld&) = delete;
  InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace pdsplit
