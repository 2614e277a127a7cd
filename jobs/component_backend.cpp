#include "jobs/component_backend.h"

#include "base/QDLLExcp.h"
#include "callif/maintenance.h"
#include "components/QDDB.h"
#include "components/database.h"
#include "components/session.h"
#include "components/table.h"
#include "jobs/table_sizes.h"

namespace qd {

namespace {

// The name by which the table finds the database in the automatic session;
// the user never sees it.
constexpr const char* kPrivateDatabaseName = "RIMainDatabase";
constexpr const char* kAutomaticSession = "[automatic]";

}  // namespace

TqdComponentBackend::TqdComponentBackend() : form_(std::make_unique<TqdComponent>(nullptr)) {
  form_->SetName("FrmRIMain");
  database_ = &CreateComponent<TqdDatabase>(*form_);
  database_->SetName("qdDatabase");
  database_->SetSessionName(kAutomaticSession);
  database_->SetDatabaseName(kPrivateDatabaseName);
  table_ = &CreateComponent<TqdTable>(*form_);
  table_->SetName("qdTable");
  table_->SetSessionName(kAutomaticSession);
  table_->SetDatabaseName(kPrivateDatabaseName);
}

TqdComponentBackend::~TqdComponentBackend() = default;

std::vector<std::string> TqdComponentBackend::ListAliasNames() {
  std::vector<std::string> names;
  database_->OwningSession()->ListAliasNames(names);
  return names;
}

void TqdComponentBackend::CloseAlias() {
  table_->SetTableName("");
  database_->SetConnected(false);
  database_->SetAliasName("");
}

std::vector<std::string> TqdComponentBackend::OpenAlias(const std::string& alias) {
  CloseAlias();
  database_->SetAliasName(alias);
  database_->SetConnected(true);
  std::vector<std::string> tables;
  database_->OwningSession()->ListTableNames(alias, "", false, false, tables);
  return tables;
}

std::vector<TqdIndexEntry> TqdComponentBackend::SelectTable(const std::string& table) {
  table_->SetTableName("");
  table_->SetTableName(table);
  std::vector<TqdIndexEntry> indexes;
  table_->ListIndexes(indexes);
  return indexes;
}

int32_t TqdComponentBackend::RebuildIndex(const std::string& table, int32_t indexNumber) {
  int32_t task = kNoTask;
  CheckResult(ReIndexTable(database_->ClientDatabase(), table, indexNumber, task));
  return task;
}

int32_t TqdComponentBackend::PackTable(const std::string& table) {
  int32_t task = kNoTask;
  CheckResult(qd::PackTable(database_->ClientDatabase(), table, task));
  return task;
}

// Polled on the default session, which owns the database: the same
// connection as the requests.
TqdTaskProgress TqdComponentBackend::TaskStatus(int32_t task) {
  bool finished = false;
  qd::TaskStatus status;
  CheckResult(GetTaskStatus(DefaultSession()->SessionHandle(), task, finished, status));
  return {finished, status.PercentDone()};
}

std::map<std::string, int64_t> TqdComponentBackend::TableSizes() { return ListTableSizes(*database_); }

// For now only the open alias and table are forgotten; the connection
// itself is re-made when the session next opens.
void TqdComponentBackend::Reconnect() { CloseAlias(); }

}  // namespace qd
