#include "cli/interrupt.h"

#include <csignal>

namespace qd {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

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
