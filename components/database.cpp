#include "components/database.h"

#include "callif/QDClEng.h"
#include "components/QDDB.h"
#include "components/errors.h"
#include "components/table.h"

namespace qd {

TqdDatabase::TqdDatabase(TqdComponent* owner)
    : TqdDBListItem(owner, 3, false, std::make_unique<TqdTableProxyList>()) {
  if (TqdSession* session = FindDefaultSession()) StoreParentName(session->SessionName());
}

TqdDatabase::~TqdDatabase() {
  for (int i = 0; i < TableProxyCount(); ++i) TableProxies(i)->SetDatabaseDestroyed(true);
  DestroyNode();
}

void TqdDatabase::SetDatabaseName(std::string_view name) {
  if (!IsReading()) {
    TqdSession* session = static_cast<TqdSession*>(Parent());
    if (Owner() != nullptr && IsAliasName(session, name)) RaiseDatasetMessage(dsDatabaseNameIsAlias, {name});
    TqdDBListItem* other = session == nullptr ? nullptr : session->Children().FindByName(name);
    if (other != nullptr && other != this) RaiseDatasetMessage(dsDatabaseNameExists, {name});
  }
  SetOwnName(name);
}

void TqdDatabase::SetAliasName(std::string_view name) {
  CheckInactive(false);
  aliasName_ = name;
}

void TqdDatabase::SetExclusive(bool exclusive) {
  CheckInactive(false);
  exclusive_ = exclusive;
  if (!exclusive) return;
  for (int i = 0; i < TableProxyCount(); ++i) TableProxies(i)->Table()->SetExclusive(true);
}

void TqdDatabase::SetReadOnly(bool readOnly) {
  CheckInactive(false);
  readOnly_ = readOnly;
  if (!readOnly) return;
  for (int i = 0; i < TableProxyCount(); ++i) TableProxies(i)->Table()->SetReadOnly(true);
}

hDBIDb TqdDatabase::ClientDatabase() {
  if (!Active()) SetActive(true);
  if (database_ == nullptr) RaiseMustBeOpen();
  return database_;
}

TqdSession* TqdDatabase::OwningSession() {
  auto* session = static_cast<TqdSession*>(Parent());
  if (session == nullptr) RaiseNodeError(this, dsDatabaseHasNoSession, {DatabaseName()});
  return session;
}

TqdTableProxy* TqdDatabase::TableProxies(int index) {
  return static_cast<TqdTableProxy*>(Children().Items(index));
}

TqdDBListItem* TqdDatabase::FindParent(std::string_view name) {
  return name.empty() ? FindDefaultSession() : FindSession(name);
}

void TqdDatabase::DoOpen() {
  const std::string& name = aliasName_.empty() ? DatabaseName() : aliasName_;
  hDBISes session = OwningSession()->SessionHandle();
  CheckResult(ClientEngine()->OpenDatabase(session, name.c_str(), "", readOnly_ ? dbiREADONLY : dbiREADWRITE,
                                           exclusive_ ? dbiOPENEXCL : dbiOPENSHARED, "", 0, nullptr, nullptr,
                                           database_));
}

void TqdDatabase::DoClose() {
  TqdDBListItem::DoClose();
  if (database_ == nullptr) return;
  // Closed through the session object it was opened in, never one opened
  // for the purpose: a session that closes closes its databases first, and
  // one whose object is gone took the database object with it.
  hDBISes session = OwningSession()->HeldSessionHandle();
  if (session == nullptr) {
    database_ = nullptr;
    return;
  }
  // A database object the server would not close stays with its session
  // object, which frees it; the handle is forgotten either way, so that a
  // later close does not send the same request again.
  TqdResult result = ClientEngine()->CloseDatabase(session, database_);
  database_ = nullptr;
  CheckResult(result);
}

void TqdDatabase::RaiseMustBeClosed() { RaiseNodeError(this, dsDatabaseMustBeClosed); }
void TqdDatabase::RaiseMustBeOpen() { RaiseNodeError(this, dsDatabaseMustBeOpen); }

}  // namespace qd
