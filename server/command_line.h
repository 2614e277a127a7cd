// The command line of qd-server: exactly --config FILE, --make-demo DIR
// [--tables N] [--records M], or --help.
// Thread rules: pure functions.
#pragma once

#include <string>
#include <vector>

namespace qd {

inline constexpr int kDefaultDemoTables = 3;
inline constexpr int kDefaultDemoRecords = 1000;
inline constexpr int kMaxDemoTables = 100;
inline constexpr int kMaxDemoRecords = 10'000'000;

enum class TqdRunMode { Help, Run, MakeDemo };

struct TqdCommandLine {
  TqdRunMode Mode = TqdRunMode::Help;
  std::string ConfigPath;
  std::string DemoDir;
  int Tables = kDefaultDemoTables;
  int Records = kDefaultDemoRecords;
};

// False with a message for anything else than the three forms.
bool ParseCommandLine(const std::vector<std::string>& args, TqdCommandLine& out, std::string& error);

const char* UsageText();

}  // namespace qd
