// qd-server: the program entry. Parses the command line and either prints
// the usage, writes demo data, or runs the server in the foreground.
#include <cstdio>
#include <string>
#include <vector>

#include "server/command_line.h"
#include "server/server_config.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  qd::TqdCommandLine line;
  std::string error;
  if (!qd::ParseCommandLine(args, line, error)) {
    std::fprintf(stderr, "qd-server: %s\n%s", error.c_str(), qd::UsageText());
    return 2;
  }
  if (line.Mode == qd::TqdRunMode::Help) {
    std::fputs(qd::UsageText(), stdout);
    return 0;
  }
  qd::TqdServerConfig config;
  if (line.Mode == qd::TqdRunMode::Run && !qd::LoadServerConfig(line.ConfigPath, config, error)) {
    std::fprintf(stderr, "qd-server: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
