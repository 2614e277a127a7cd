// qd-server: the program entry. Parses the command line and either prints
// the usage, writes demo data, or serves in the foreground until SIGINT or
// SIGTERM, after which running tasks are stopped (their work rolled back)
// and every file is closed.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "server/command_line.h"
#include "server/demo_data.h"
#include "server/server_config.h"
#include "server/server_runner.h"

namespace {

void OnStopSignal(int) { qd::TqdServerRunner::Stop(); }

int Serve(const std::string& configPath) {
  qd::TqdServerConfig config;
  std::string error;
  if (!qd::LoadServerConfig(configPath, config, error)) {
    std::fprintf(stderr, "qd-server: %s\n", error.c_str());
    return 1;
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  try {
    qd::TqdServerRunner runner(config);
    for (const std::string& line : runner.Start())
      std::printf("qd-server %s: %s\n", config.Name.c_str(), line.c_str());
    std::printf("qd-server %s: serving %zu aliases from %s\n", config.Name.c_str(), config.Aliases.size(),
                config.DataDir.c_str());
    std::fflush(stdout);
    runner.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qd-server: %s\n", e.what());
    return 1;
  }
  std::printf("qd-server %s: stopped\n", config.Name.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  qd::TqdCommandLine line;
  std::string error;
  if (!qd::ParseCommandLine(args, line, error)) {
    std::fprintf(stderr, "qd-server: %s\n%s", error.c_str(), qd::UsageText());
    return 2;
  }
  switch (line.Mode) {
    case qd::TqdRunMode::Help:
      std::fputs(qd::UsageText(), stdout);
      return 0;
    case qd::TqdRunMode::MakeDemo:
      if (!qd::MakeDemoData(line.DemoDir, line.Tables, line.Records, error)) {
        std::fprintf(stderr, "qd-server: %s\n", error.c_str());
        return 1;
      }
      std::printf("qd-server: demo data written; run: qd-server --config %s/server.conf\n", line.DemoDir.c_str());
      return 0;
    case qd::TqdRunMode::Run:
      return Serve(line.ConfigPath);
  }
  return 2;
}
