// The program entry of qd-reindex: what the process offers a run (its
// streams, whether they are terminals, QD_PASSWORD, the terminal prompts,
// Ctrl-C), then the run.
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "cli/interrupt.h"
#include "cli/run_reindex.h"
#include "cli/terminal.h"

int main(int argc, char** argv) {
  qd::InstallInterruptHandler();
  qd::TqdReindexIo io{std::cout, std::cerr};
  io.OutIsTerminal = isatty(STDOUT_FILENO) != 0;
  io.CanPrompt = isatty(STDIN_FILENO) != 0;
  if (const char* password = std::getenv("QD_PASSWORD")) io.Password = password;
  io.AskLine = qd::AskLineOnTerminal;
  io.AskSecret = qd::AskSecretOnTerminal;
  io.Interrupted = qd::InterruptRequested;
  return qd::RunReindex(std::vector<std::string>(argv + 1, argv + argc), io);
}
