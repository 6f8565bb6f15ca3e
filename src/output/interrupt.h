// Cleaning up after an interruption: a run stopped by Ctrl-C or a kill
// while it writes a table removes the temporary file it was writing, so
// that nothing half-written stays behind.
#pragma once

#include <cstddef>

namespace pdsplit {

// Installs the handlers for SIGINT, SIGTERM and SIGHUP; to be called from
// the thread that writes the tables. A handled signal removes the noted
// file and then ends the process by the same signal, so callers see the
// conventional status (130 for SIGINT, 143 for SIGTERM).
void install_interrupt_cleanup();

// The longest path that can be noted, with its terminating zero.
constexpr std::size_t kMaxPendingPath = 4096;

// Notes a file to remove on interruption (a copy of `path` is kept); false
// when the path is too long or 32 files are noted already (the caller then
// does not create the file).
// Called by the file system layer, on the main thread, before each
// temporary file is created.
bool note_pending_file(const char* path);

// Forgets a noted file once it is renamed or removed.
void forget_pending_file(const char* path);

}  // namespace pdsplit
