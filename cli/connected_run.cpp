#include "cli/connected_run.h"

#include "base/QDLLExcp.h"
#include "base/string_ids.h"
#include "cli/names.h"
#include "cli/plan.h"
#include "jobs/table_sizes.h"
#include "components/errors.h"
#include "platform/user_name.h"

namespace qd {
namespace {

using L = TqdRebuildList;

TqdLoginAnswers AnswersOf(const TqdReindexOptions& options, const TqdReindexIo& io) {
  TqdLoginAnswers answers{options.User, io.Password, io.CanPrompt, io.AskLine, io.AskSecret};
  // A password alone logs in as the user running the program.
  if (answers.User.empty() && answers.Password) answers.User = GetNetUserName();
  return answers;
}

TqdRunEnd Ended(int code, const char* outcome, std::string message) {
  return TqdRunEnd{code, outcome, std::move(message)};
}

TqdRunEnd NotFound(std::string message) { return Ended(kExitFailed, "failed", std::move(message)); }

}  // namespace

TqdConnectedRun::TqdConnectedRun(const TqdReindexOptions& options, const TqdReindexIo& io, TqdRunRecord& record,
                                 TqdProgressDisplay& display)
    : options_(options),
      io_(io),
      record_(record),
      display_(display),
      login_(AnswersOf(options, io)),
      view_(display),
      workflow_(view_, backend_) {}

TqdRunEnd TqdConnectedRun::Run() {
  if (auto end = Connect()) return *end;
  if (options_.List && options_.Alias.empty()) return List();
  if (auto end = PickAlias()) return *end;
  if (options_.List && options_.Table.empty()) return List();
  if (!options_.Table.empty()) {
    if (auto end = PickTable()) return *end;
  }
  if (options_.List) return List();
  if (!options_.Index.empty()) {
    if (auto end = PickIndex()) return *end;
  }
  if (options_.Plan) return Plan();
  return RunJob();
}

// The alias list is the first thing asked of the server: what fails here
// is the connection or the login.
std::optional<TqdRunEnd> TqdConnectedRun::Connect() {
  workflow_.Start();
  record_.SetServer(login_.ServerName());
  std::optional<std::string> shown = view_.TakeError();
  if (!shown) return std::nullopt;
  TqdResult result = login_.LastConnection();
  return Ended(kExitNoConnection, "no connection",
               result != qdOK ? EqdDatabaseError::CreateForCode(result).Message() : *shown);
}

TqdRunEnd TqdConnectedRun::Failure(const std::string& shown) {
  TqdResult result = login_.LastConnection();
  if (result != qdOK)
    return Ended(kExitNoConnection, "no connection", EqdDatabaseError::CreateForCode(result).Message());
  return Ended(kExitFailed, "failed", shown);
}

std::optional<TqdRunEnd> TqdConnectedRun::Pick(TqdRebuildList list, size_t item) {
  view_.SetItemIndex(list, static_cast<int>(item));
  switch (list) {
    case L::ComboBoxAlias: workflow_.AliasPicked(); break;
    case L::ComboBoxTable: workflow_.TablePicked(); break;
    case L::ComboBoxIndex: workflow_.IndexPicked(); break;
  }
  if (std::optional<std::string> shown = view_.TakeError()) return Failure(*shown);
  return std::nullopt;
}

std::optional<TqdRunEnd> TqdConnectedRun::PickAlias() {
  std::optional<size_t> alias = FindName(view_.Items(L::ComboBoxAlias), options_.Alias);
  if (!alias) return NotFound(EqdDatabaseError::CreateForCode(qdErrUnknownDB).Message());
  if (auto end = Pick(L::ComboBoxAlias, *alias)) return end;
  record_.SetServer(login_.ServerName());
  return std::nullopt;
}

std::optional<TqdRunEnd> TqdConnectedRun::PickTable() {
  std::optional<size_t> table = FindName(view_.Items(L::ComboBoxTable), options_.Table);
  if (!table) return NotFound(EqdDatabaseError::CreateForCode(qdErrNoSuchTable).Message());
  return Pick(L::ComboBoxTable, *table);
}

// The index list holds names only; the numbers come with the table's
// index entries, listed again here.
std::optional<TqdRunEnd> TqdConnectedRun::PickIndex() {
  std::optional<size_t> index;
  try {
    index = FindIndex(backend_.SelectTable(ChosenTable()), options_.Index);
  } catch (const std::exception& e) {
    return Failure(e.what());
  }
  if (!index) {
    return NotFound(EqdDatabaseError::CreateWithMessage(DatasetText(dsIndexNameMissing, {options_.Index})).Message());
  }
  return Pick(L::ComboBoxIndex, *index);
}

TqdRunEnd TqdConnectedRun::List() {
  if (options_.Alias.empty()) {
    for (const std::string& alias : view_.Items(L::ComboBoxAlias)) io_.Out << alias << '\n';
  } else if (options_.Table.empty()) {
    for (const std::string& table : view_.Items(L::ComboBoxTable)) io_.Out << table << '\n';
  } else {
    for (const TqdIndexEntry& entry : backend_.SelectTable(ChosenTable()))
      io_.Out << entry.Number << ' ' << entry.Name << '\n';
  }
  return Ended(kExitDone, "listed", "");
}

const std::string& TqdConnectedRun::ChosenTable() const {
  return view_.Items(L::ComboBoxTable).at(static_cast<size_t>(view_.ItemIndex(L::ComboBoxTable)));
}

TqdRunScope TqdConnectedRun::Scope() const {
  if (!options_.Index.empty()) return TqdRunScope::Index;
  return options_.Table.empty() ? TqdRunScope::Alias : TqdRunScope::Table;
}

TqdRunEnd TqdConnectedRun::Plan() {
  TqdPlan plan{Scope(), options_.Alias, options_.Pack && Scope() != TqdRunScope::Index, {}};
  std::map<std::string, int64_t> sizes = ListTableSizes(backend_.Database());
  const std::vector<std::string>& tables = view_.Items(L::ComboBoxTable);
  for (size_t t = 0; t < tables.size(); ++t) {
    if (plan.Scope != TqdRunScope::Alias && static_cast<int>(t) != view_.ItemIndex(L::ComboBoxTable)) continue;
    std::vector<TqdIndexEntry> indexes = backend_.SelectTable(tables[t]);
    if (plan.Scope == TqdRunScope::Index) {
      // Found before, in the same list.
      std::optional<size_t> index = FindIndex(indexes, options_.Index);
      indexes = index ? std::vector<TqdIndexEntry>{indexes[*index]} : std::vector<TqdIndexEntry>{};
    }
    plan.Tables.push_back({tables[t], sizes.count(tables[t]) ? sizes[tables[t]] : 0, std::move(indexes)});
  }
  io_.Out << PlanText(plan);
  return Ended(kExitDone, "planned", "");
}

// Each table weighs its records; the alias job walks the table list.
TqdRunShape TqdConnectedRun::Shape() {
  TqdRunShape shape{Scope(), {}};
  std::map<std::string, int64_t> sizes = ListTableSizes(backend_.Database());
  for (const std::string& table : view_.Items(L::ComboBoxTable)) shape.TableRecords.push_back(sizes[table]);
  return shape;
}

TqdRunEnd TqdConnectedRun::RunJob() {
  // Ctrl-C stops polling at once: the task goes on to its end on the server.
  TqdRunObserver observer({options_.Alias, options_.KeepGoing, options_.TimeLimitSeconds}, record_, display_,
                          {io_.Interrupted, io_.Interrupted});
  observer.Skip(record_.Report().Entries);
  view_.SetShape(Shape());
  view_.SetPack(options_.Pack);
  workflow_.SetObserver(&observer);
  display_.StartClock();
  switch (Scope()) {
    case TqdRunScope::Index: workflow_.RebuildSelectedIndex(); break;
    case TqdRunScope::Table: workflow_.RebuildTable(); break;
    case TqdRunScope::Alias: workflow_.RebuildAlias(); break;
  }
  workflow_.SetObserver(nullptr);
  view_.DrawNow();
  display_.Finish();
  if (std::optional<std::string> shown = view_.TakeError()) {
    // A step's failure has its own line already; the run's end says it again.
    return Failure(*shown);
  }
  return JobEnd(observer.Failures(), observer.Stopped());
}

TqdRunEnd TqdConnectedRun::JobEnd(int failures, TqdStopReason stopped) {
  if (stopped == TqdStopReason::Interrupted)
    return Ended(kExitInterrupted, "interrupted",
                 "qd-reindex: interrupted; a task that was running is left to finish on the server");
  if (failures > 0)
    return Ended(kExitFailed, "failed", "qd-reindex: " + std::to_string(failures) + " object(s) failed");
  if (stopped == TqdStopReason::TimeLimit)
    return Ended(kExitTimeLimit, "time limit", "qd-reindex: time limit reached with work left; --resume goes on");
  return Ended(kExitDone, "done", "");
}

}  // namespace qd
