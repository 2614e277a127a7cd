// The run from its arguments to its exit code: options, the report of an
// earlier run for --resume (checked before anything is sent), the report
// of this one, and the component layer around the part that talks to the
// server. The report's last state is written whatever the outcome.
#include "cli/run_reindex.h"

#include <variant>

#include "cli/connected_run.h"
#include "components/QDDB.h"

namespace qd {
namespace {

TqdReportScope ScopeOf(const TqdReindexOptions& o) { return {o.Alias, o.Table, o.Index, o.Pack}; }

std::string Describe(const TqdReportScope& scope) {
  std::string text = scope.Alias;
  for (const std::string* part : {&scope.Table, &scope.Index})
    if (!part->empty()) text += " " + *part;
  return text + (scope.Pack ? " --pack" : "");
}

// The done entries of the report to resume, or why it cannot be resumed.
std::variant<std::vector<TqdReportEntry>, std::string> EarlierDone(const TqdReindexOptions& options) {
  std::string error;
  std::optional<TqdRunReport> earlier = ReadReportFile(options.ResumePath, error);
  if (!earlier) return "qd-reindex: " + error;
  if (earlier->Scope != ScopeOf(options))
    return "qd-reindex: " + options.ResumePath + " is the report of \"" + Describe(earlier->Scope) +
           "\", not of \"" + Describe(ScopeOf(options)) + "\"";
  std::vector<TqdReportEntry> done;
  for (const TqdReportEntry& entry : earlier->Entries)
    if (entry.State == kEntryDone) done.push_back(entry);
  return done;
}

TqdRunEnd Connected(const TqdReindexOptions& options, const TqdReindexIo& io, TqdRunRecord& record) {
  TqdProgressMode mode = options.Quiet || options.List || options.Plan ? TqdProgressMode::Quiet
                         : io.OutIsTerminal                            ? TqdProgressMode::Terminal
                                                                       : TqdProgressMode::Lines;
  TqdProgressDisplay display(io.Out, mode);
  TqdRunEnd end;
  InitializeComponentLayer();
  try {
    if (!options.Server.empty()) DefaultCommsEngine()->SetServerName(options.Server);
    TqdConnectedRun run(options, io, record, display);
    end = run.Run();
  } catch (const std::exception& e) {
    end = TqdRunEnd{kExitFailed, "failed", e.what()};
  }
  FinalizeComponentLayer();
  return end;
}

}  // namespace

int RunReindex(const std::vector<std::string>& arguments, const TqdReindexIo& io) {
  auto parsed = ParseReindexOptions(arguments);
  if (auto* early = std::get_if<TqdEarlyExit>(&parsed)) {
    (early->ExitCode == kExitDone ? io.Out : io.Err) << early->Text;
    return early->ExitCode;
  }
  const TqdReindexOptions& options = std::get<TqdReindexOptions>(parsed);
  TqdRunReport initial;
  initial.Scope = ScopeOf(options);
  initial.KeepGoing = options.KeepGoing;
  initial.TimeLimitSeconds = options.TimeLimitSeconds;
  initial.Arguments = options.Arguments;
  if (!options.ResumePath.empty()) {
    auto earlier = EarlierDone(options);
    if (auto* error = std::get_if<std::string>(&earlier)) {
      io.Err << *error << '\n';
      return kExitUsage;
    }
    // Carried over first, so a run that ends early still reports them.
    initial.Entries = std::get<std::vector<TqdReportEntry>>(earlier);
  }
  TqdRunRecord record(std::move(initial), options.ReportPath, io.Err);
  // A night's run whose report cannot be written does not start.
  if (record.WriteFailed()) return kExitUsage;
  TqdRunEnd end = Connected(options, io, record);
  record.Finish(end.Outcome, end.ExitCode, end.Message);
  if (!end.Message.empty()) io.Err << end.Message << '\n';
  return end.ExitCode;
}

}  // namespace qd
