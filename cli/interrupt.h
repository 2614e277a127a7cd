// Ctrl-C for a run: a SIGINT handler that only sets a flag (all a handler
// may safely do); the run looks at the flag between two polls and before
// each new task. A second Ctrl-C ends the program the usual way.
// Thread rules: install on the main thread before the run; the flag may be
// read from any thread.
#pragma once

namespace qd {

void InstallInterruptHandler();
bool InterruptRequested();

}  // namespace qd
