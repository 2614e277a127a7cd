#include "components/QDDB.h"

#include <memory>

#include "callif/QDClEng.h"
#include "components/errors.h"
#include "framework/definitions.h"

namespace qd {

namespace {

std::unique_ptr<TqdDBList>& EngineList() {
  static std::unique_ptr<TqdDBList> list;
  return list;
}

}  // namespace

TqdDBList* CommsEngines() { return EngineList().get(); }

void InitializeComponentLayer() {
  if (EngineList()) return;
  EngineList() = std::make_unique<TqdDBList>(true);
  auto* engine = new TqdCommsEngine(nullptr);  // the list frees it
  engine->SetCommsEngineName(kAutomaticName);
  engine->SetIsDefault(true);
  engine->SetProtocol(TqdProtocolType::ptRegistry);
  auto* session = new TqdSession(nullptr);  // its comms engine frees it
  session->SetSessionName(kAutomaticName);
  session->SetIsDefault(true);
}

void FinalizeComponentLayer() {
  if (TqdDBList* list = CommsEngines()) {
    list->CloseAll();
    list->ReleaseAll(nullptr);
    EngineList().reset();
  }
  if (ClientEngineStarted()) StopClientEngine();
}

TqdCommsEngine* FindCommsEngine(std::string_view name) {
  TqdDBList* list = CommsEngines();
  return list == nullptr ? nullptr : static_cast<TqdCommsEngine*>(list->FindByName(name));
}

TqdCommsEngine* FindAutoCommsEngine() { return FindCommsEngine(kAutomaticName); }

TqdCommsEngine* FindDefaultCommsEngine() {
  if (CommsEngines() == nullptr) return nullptr;
  for (TqdDBListItem* item : CommsEngines()->Snapshot()) {
    auto* engine = static_cast<TqdCommsEngine*>(item);
    if (engine->IsDefault()) return engine;
  }
  return nullptr;
}

TqdCommsEngine* DefaultCommsEngine() {
  TqdCommsEngine* engine = FindDefaultCommsEngine();
  if (engine == nullptr) RaiseDatasetMessage(dsNoDefaultCommsEngine);
  return engine;
}

TqdSession* FindDefaultSession() {
  TqdCommsEngine* engine = FindDefaultCommsEngine();
  return engine == nullptr ? nullptr : engine->DefaultSessionOf();
}

TqdSession* DefaultSession() {
  TqdSession* session = DefaultCommsEngine()->DefaultSessionOf();
  if (session == nullptr) RaiseDatasetMessage(dsDefaultEngineNoSessions);
  return session;
}

TqdSession* FindSession(std::string_view name) {
  if (CommsEngines() == nullptr) return nullptr;
  for (TqdDBListItem* engine : CommsEngines()->Snapshot()) {
    if (TqdDBListItem* session = engine->Children().FindByName(name)) return static_cast<TqdSession*>(session);
  }
  return nullptr;
}

TqdDatabase* FindDatabase(TqdSession* session, std::string_view name, bool create) {
  if (session == nullptr) return nullptr;
  if (TqdDBListItem* found = session->Children().FindByName(name)) return static_cast<TqdDatabase*>(found);
  if (!create || !IsAliasName(session, name)) return nullptr;
  auto* database = new TqdDatabase(nullptr);  // its session frees it
  database->SetSessionName(session->SessionName());
  database->SetDatabaseName(name);
  database->SetTemporary(true);
  database->Parent();  // joins the session now, so that the session frees it
  return database;
}

bool IsAliasName(TqdSession* session, std::string_view name) {
  if (session == nullptr) return false;
  std::vector<std::string> aliases;
  try {
    session->ListAliasNames(aliases);
  } catch (const std::exception&) {
    return false;
  }
  for (const std::string& alias : aliases) {
    if (SameNameNoCase(alias, name)) return true;
  }
  return false;
}

bool IsDatabaseName(TqdSession* session, std::string_view name) {
  return session != nullptr && session->Children().FindByName(name) != nullptr;
}

}  // namespace qd
