#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <sstream>

namespace qd {
namespace {

constexpr const char* kDescription =
    "Rebuilds the indexes of a Quilldrive server's tables, as the rebuild window's three jobs do:\n"
    "  ALIAS                 every index of every table of the alias (\"Rebuild alias\")\n"
    "  ALIAS TABLE           every index of the table (\"Rebuild table\")\n"
    "  ALIAS TABLE INDEX     one index, named by name or number (\"Rebuild selected index\")";

constexpr const char* kFooter =
    "The server and transport come from the client settings, as for the window. QD_PASSWORD\n"
    "without --user logs in as the user running the program.\n"
    "Exit codes:\n"
    "  0    all done\n"
    "  1    an object failed (or an unknown alias, table or index)\n"
    "  2    usage error\n"
    "  3    time limit reached with work left\n"
    "  4    cannot connect, or login refused\n"
    "  130  interrupted by Ctrl-C (the current task finishes on the server)";

void Describe(CLI::App& app, TqdReindexOptions& o) {
  app.add_option("ALIAS", o.Alias, "server alias");
  app.add_option("TABLE", o.Table, "table of the alias");
  app.add_option("INDEX", o.Index, "index of the table, by name or number");
  app.add_flag("--pack", o.Pack, "pack each table before rebuilding its indexes");
  app.add_flag("--list", o.List, "list the aliases (no ALIAS), the tables of ALIAS, or the indexes of TABLE");
  app.add_flag("--plan", o.Plan, "print what the run would do (tables with their sizes, indexes) and exit 0");
  app.add_option("--user", o.User,
                 "login name; the password comes from QD_PASSWORD, or is asked on the terminal without echo")
      ->type_name("NAME");
  app.add_option("--server", o.Server, "attach to NAME instead of the configured server")->type_name("NAME");
  app.add_option("--report", o.ReportPath, "write a JSON report as the run goes (rewritten after each object)")
      ->type_name("FILE");
  app.add_option("--resume", o.ResumePath, "skip what an earlier report lists as done")->type_name("FILE");
  app.add_option("--time-limit", o.TimeLimitSeconds, "start no new task after this time; running tasks finish")
      ->type_name("SECONDS")
      ->check(CLI::PositiveNumber);
  app.add_flag("--keep-going", o.KeepGoing, "after a failed object, go on with the next one");
  app.add_flag("--quiet", o.Quiet, "no progress output");
  app.set_version_flag("--version", std::string(kReindexProgram) + " " + kReindexVersion);
  app.footer(kFooter);
}

TqdEarlyExit Usage(const std::string& text) {
  return TqdEarlyExit{kExitUsage, std::string(kReindexProgram) + ": " + text + "\nRun with --help for more information.\n"};
}

}  // namespace

std::variant<TqdReindexOptions, TqdEarlyExit> ParseReindexOptions(const std::vector<std::string>& arguments) {
  TqdReindexOptions options;
  CLI::App app(kDescription, kReindexProgram);
  Describe(app, options);
  // CLI11 takes a vector of arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    return TqdEarlyExit{kExitDone, app.help()};
  } catch (const CLI::CallForVersion&) {
    return TqdEarlyExit{kExitDone, app.version() + "\n"};
  } catch (const CLI::ParseError& e) {
    return Usage(e.what());
  }
  if (options.Alias.empty() && !options.List) return Usage("ALIAS is required");
  if (options.List && options.Plan) return Usage("--list and --plan exclude each other");
  if (options.List && !options.Index.empty()) return Usage("--list takes at most ALIAS and TABLE");
  // As in the window, where "Rebuild selected index" never packs.
  if (options.Pack && !options.Index.empty()) return Usage("--pack packs whole tables; it takes no INDEX");
  options.Arguments = arguments;
  return options;
}

}  // namespace qd
