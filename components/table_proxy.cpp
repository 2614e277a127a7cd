#include "components/table_proxy.h"

#include "components/QDDB.h"
#include "components/errors.h"
#include "components/flag_guard.h"
#include "components/table.h"
#include "framework/definitions.h"

namespace qd {

TqdTableProxy::TqdTableProxy(TqdTable* table)
    : TqdDBListItem(table, 4, false, std::make_unique<TqdDBList>()), table_(table) {
  if (TqdSession* session = FindDefaultSession()) sessionName_ = session->SessionName();
}

TqdTableProxy::~TqdTableProxy() { DestroyNode(); }

void TqdTableProxy::SetSessionName(std::string_view name) {
  CheckInactive(true);
  if (IsReading()) {
    recordedSessionName_ = name;
    sessionNameRecorded_ = true;
    AddPendingOpen(this);  // so that Loaded applies it
    return;
  }
  if (SameNameNoCase(name, sessionName_)) return;
  TqdSession* session = FindSession(name);
  sessionName_ = session != nullptr ? session->SessionName() : std::string(name);
  if (!DeferredOpenRunning()) Detach();
}

TqdSession* TqdTableProxy::Session() { return FindSession(sessionName_); }

TqdDBListItem* TqdTableProxy::FindParent(std::string_view name) {
  // No database has an empty name; asking the server's aliases for one
  // would only cost a connection.
  if (name.empty()) return nullptr;
  if (TqdDatabase* database = FindDatabase(Session(), name, true)) return database;
  return table_->Owner() != nullptr ? FindFormDatabase(name) : nullptr;
}

TqdDBListItem* TqdTableProxy::FindFormDatabase(std::string_view name) {
  try {
    for (TqdComponent* component : table_->Owner()->Components()) {
      auto* database = dynamic_cast<TqdDatabase*>(component);
      if (database != nullptr && database->SessionName() == sessionName_ && database->DatabaseName() == name)
        return database;
    }
  } catch (const std::exception&) {
  }
  return nullptr;
}

void TqdTableProxy::DeferredOpen() {
  if (sessionNameRecorded_) {
    sessionNameRecorded_ = false;
    SetSessionName(recordedSessionName_);
  }
  TqdSession* session = Session();
  if (session != nullptr && session->DeferredOpenRunning()) return;
  TqdDBListItem::DeferredOpen();
}

void TqdTableProxy::ParentChanged() {
  // The flag speaks of the database it was told about; a table that goes on
  // with another one must close that one again when it is done.
  databaseDestroyed_ = false;
}

void TqdTableProxy::DoOpen() {
  TqdDBListItem* database = AttachedParent();
  if (database == nullptr || !database->Active()) RaiseNodeError(table_, dsCannotOpenTableDatabase, {OwnName()});
}

void TqdTableProxy::DoClose() {
  if (!closing_) {
    TqdFlagGuard guard(closing_);
    if (!table_->Closing()) table_->Close();
  }
  TqdDBListItem::DoClose();
}

void TqdTableProxy::RaiseMustBeClosed() { RaiseNodeError(this, dsTableMustBeClosed); }
void TqdTableProxy::RaiseMustBeOpen() { RaiseNodeError(this, dsTableMustBeOpen); }

void TqdTableProxyList::FreeItem(TqdDBListItem* item) {
  // The table owns its proxy: freeing the table frees both.
  delete static_cast<TqdTableProxy*>(item)->Table();
}

}  // namespace qd
