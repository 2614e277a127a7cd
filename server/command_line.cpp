#include "server/command_line.h"

#include <charconv>

namespace qd {
namespace {

bool ParseCount(const std::string& text, int low, int high, int& out) {
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return false;
  out = value;
  return true;
}

}  // namespace

const char* UsageText() {
  return "Usage:\n"
         "  qd-server --config FILE\n"
         "      Serve the aliases of FILE until SIGINT or SIGTERM.\n"
         "  qd-server --make-demo DIR [--tables N] [--records M]\n"
         "      Write a demo data set and DIR/server.conf, then exit.\n"
         "  qd-server --help\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, TqdCommandLine& out, std::string& error) {
  out = TqdCommandLine{};
  if (args.size() == 1 && args[0] == "--help") return true;
  if (args.size() == 2 && args[0] == "--config" && !args[1].empty()) {
    out.Mode = TqdRunMode::Run;
    out.ConfigPath = args[1];
    return true;
  }
  if (args.size() >= 2 && args[0] == "--make-demo" && !args[1].empty()) {
    out.Mode = TqdRunMode::MakeDemo;
    out.DemoDir = args[1];
    bool tablesSeen = false;
    bool recordsSeen = false;
    for (size_t i = 2; i < args.size(); i += 2) {
      bool isTables = args[i] == "--tables" && !tablesSeen;
      bool isRecords = args[i] == "--records" && !recordsSeen;
      if ((!isTables && !isRecords) || i + 1 >= args.size()) {
        error = "unexpected argument: " + args[i];
        return false;
      }
      bool ok = isTables ? ParseCount(args[i + 1], 1, kMaxDemoTables, out.Tables)
                         : ParseCount(args[i + 1], 0, kMaxDemoRecords, out.Records);
      if (!ok) {
        error = "invalid count for " + args[i] + ": " + args[i + 1];
        return false;
      }
      (isTables ? tablesSeen : recordsSeen) = true;
    }
    return true;
  }
  error = args.empty() ? "no arguments" : "unexpected arguments";
  return false;
}

}  // namespace qd
