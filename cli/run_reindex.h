// qd-reindex as a function: parses the arguments, makes the component
// layer, connects, finds the alias, table and index, and lists, plans or
// runs the job on the rebuild workflow; returns the exit code. The program
// entry and the tests and benchmark call it alike; everything it reads of
// the process (terminal, password, Ctrl-C) comes in through TqdReindexIo.
// Thread rules: the calling thread owns the run and its message queue; one
// run at a time per process.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace qd {

struct TqdReindexIo {
  std::ostream& Out;
  std::ostream& Err;
  bool OutIsTerminal = false;           // progress is drawn in place
  bool CanPrompt = false;               // the login may ask on the terminal
  std::optional<std::string> Password;  // QD_PASSWORD
  std::function<std::optional<std::string>(const std::string& prompt)> AskLine;
  std::function<std::optional<std::string>(const std::string& prompt)> AskSecret;
  std::function<bool()> Interrupted;  // Ctrl-C was pressed
};

// `arguments` without the program name.
int RunReindex(const std::vector<std::string>& arguments, const TqdReindexIo& io);

}  // namespace qd
