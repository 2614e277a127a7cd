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

// The properties are set as a form is read: outside the reading, the
// database's name would be checked against the server's aliases, which
// connects and logs in before the window has asked for anything.
TqdComponentBackend::TqdComponentBackend() : form_(std::make_unique<TqdComponent>(nullptr)) {
  form_->SetName("FrmRIMain");
  BeginReadingForm(*form_);
  database_ = &CreateComponent<TqdDatabase>(*form_);
  database_->SetName("qdDatabase");
  database_->SetSessionName(kAutomaticSession);
  database_->SetDatabaseName(kPrivateDatabaseName);
  table_ = &CreateComponent<TqdTable>(*form_);
  table_->SetName("qdTable");
  table_->SetSessionName(kAutomaticSession);
  table_->SetDatabaseName(kPrivateDatabaseName);
  EndReadingForm(*form_);
}

TqdComponentBackend::~TqdComponentBackend() = default;

TqdSession& TqdComponentBackend::Session() { return *database_->OwningSession(); }

void TqdComponentBackend::Reach(bool needsAlias) {
  Session().ReconnectIfLost();
  // A re-made connection closed the alias with the session: it is opened
  // again on the new one. (A failed open or a failed re-making left it
  // closed too.)
  if (needsAlias && !database_->Connected() && !database_->AliasName().empty()) database_->SetConnected(true);
}

std::vector<std::string> TqdComponentBackend::ListAliasNames() {
  Reach(false);
  std::vector<std::string> names;
  Session().ListAliasNames(names);
  return names;
}

void TqdComponentBackend::CloseAlias() {
  table_->SetTableName("");
  database_->SetConnected(false);
  database_->SetAliasName("");
}

std::vector<std::string> TqdComponentBackend::OpenAlias(const std::string& alias) {
  CloseAlias();
  Reach(false);
  database_->SetAliasName(alias);
  database_->SetConnected(true);
  std::vector<std::string> tables;
  Session().ListTableNames(alias, "", false, false, tables);
  return tables;
}

std::vector<TqdIndexEntry> TqdComponentBackend::SelectTable(const std::string& table) {
  Reach(true);
  table_->SetTableName("");
  table_->SetTableName(table);
  std::vector<TqdIndexEntry> indexes;
  table_->ListIndexes(indexes);
  return indexes;
}

int32_t TqdComponentBackend::RebuildIndex(const std::string& table, int32_t indexNumber) {
  Reach(true);
  int32_t task = kNoTask;
  CheckResult(ReIndexTable(database_->ClientDatabase(), table, indexNumber, task));
  return task;
}

int32_t TqdComponentBackend::PackTable(const std::string& table) {
  Reach(true);
  int32_t task = kNoTask;
  CheckResult(qd::PackTable(database_->ClientDatabase(), table, task));
  return task;
}

// Polled on the session that owns the database: the same connection as
// the requests. A task lives on the connection that started it, so a poll
// never connects: one whose connection was lost fails with the request's
// code, and a session no longer open is a connection lost.
TqdTaskProgress TqdComponentBackend::TaskStatus(int32_t task) {
  hDBISes session = Session().HeldSessionHandle();
  if (session == nullptr) CheckResult(qdErrNetServerNotFound);
  bool finished = false;
  qd::TaskStatus status;
  CheckResult(GetTaskStatus(session, task, finished, status));
  return {finished, status.PercentDone()};
}

std::map<std::string, int64_t> TqdComponentBackend::TableSizes() {
  Reach(true);
  return ListTableSizes(*database_);
}

void TqdComponentBackend::Reconnect() {
  CloseAlias();
  Session().Reconnect();
}

}  // namespace qd
