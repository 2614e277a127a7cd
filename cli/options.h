// The command line of qd-reindex: what a run is asked to do, parsed with
// CLI11. Parsing does no I/O beyond the text it hands back for --help,
// --version and usage errors.
// Thread rules: none; a plain function of its arguments.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace qd {

inline constexpr const char* kReindexProgram = "qd-reindex";
inline constexpr const char* kReindexVersion = "1.0";

// The exit codes, as --help and the README list them.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitTimeLimit = 3;
inline constexpr int kExitNoConnection = 4;
inline constexpr int kExitInterrupted = 130;

struct TqdReindexOptions {
  std::string Alias;  // empty only with --list
  std::string Table;  // empty: every table of the alias
  std::string Index;  // empty: every index of the table; a name or a number
  bool Pack = false;
  bool List = false;
  bool Plan = false;
  bool KeepGoing = false;
  bool Quiet = false;
  std::string User;
  std::string Server;
  std::string ReportPath;
  std::string ResumePath;
  std::optional<double> TimeLimitSeconds;
  // The arguments as given, for the report.
  std::vector<std::string> Arguments;
};

// A command line that ends before any run: --help, --version or a usage
// error. The text goes to standard output for exit code 0, else to
// standard error.
struct TqdEarlyExit {
  int ExitCode = kExitUsage;
  std::string Text;
};

// `arguments` without the program name.
std::variant<TqdReindexOptions, TqdEarlyExit> ParseReindexOptions(const std::vector<std::string>& arguments);

}  // namespace qd
