// Cleaning up after an interruption: a run stopped by Ctrl-C or a kill
// while it writes a table removes the temporary file it was writing, so
// that nothing half-written stays behind.
#pragma once

namespace pdsplit {

// Installs the handlers for SIGINT, SIGTERM and SIGHUP; to be called from
// the thread that writes the tables. A handled signal removes the noted
// file and then ends the process by the same signal, so callers see the
// conventional status (130 for SIGINT, 143 for SIGTERM).
void install_interrupt_cleanup();

// Notes the file to remove on interruption (a copy of `path` is kept), or
// none with nullptr. Called by the file system layer around each temporary
// file's life.
void note_pending_file(const char* path);

}  // namespace pdsplit
