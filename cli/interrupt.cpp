#include "cli/interrupt.h"

#include <csignal>

namespace qd {
namespace {

volatile std::sig_atomic_t interrupted = 0;

// A second Ctrl-C ends the program at once, as if no handler were there:
// a run that waits on a connection does not look at the flag.
extern "C" void OnInterrupt(int) {
  if (interrupted != 0) {
    signal(SIGINT, SIG_DFL);
    raise(SIGINT);
    return;
  }
  interrupted = 1;
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // Restarted calls keep a blocking read (a prompt, a socket) from failing
  // half way; the run sees the flag at its next look.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

bool InterruptRequested() { return interrupted != 0; }

}  // namespace qd
