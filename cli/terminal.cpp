#include "cli/terminal.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

namespace qd {
namespace {

// Reads one line of standard input without the stream buffering past it.
std::optional<std::string> ReadLine() {
  std::string line;
  char c = 0;
  for (;;) {
    ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n <= 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
    if (c == '\n') return line;
    if (line.size() < 4096) line += c;
  }
}

}  // namespace

std::optional<std::string> AskLineOnTerminal(const std::string& prompt) {
  std::cerr << prompt << std::flush;
  return ReadLine();
}

std::optional<std::string> AskSecretOnTerminal(const std::string& prompt) {
  std::cerr << prompt << std::flush;
  termios saved{};
  bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (quiet) {
    termios noEcho = saved;
    noEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &noEcho);
  }
  std::optional<std::string> secret = ReadLine();
  if (quiet) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::cerr << '\n';
  return secret;
}

}  // namespace qd
