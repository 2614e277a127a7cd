#include "callif/QDClEng.h"

#include <cstring>
#include <memory>
#include <string>

#include "base/endian.h"
#include "callif/QDCLDbas.h"
#include "callif/QDCLSess.h"
#include "callif/QDTTTabl.h"
#include "callif/engine_forward.h"

namespace qd {

namespace {

TqdClientEngine* globalEngine = nullptr;

constexpr size_t kDatabaseNameCapacity = 260;

// "[server] alias" names the alias: the bracketed part and the one
// separator after it go.
std::string WithoutServerPrefix(const char* name) {
  std::string text = name == nullptr ? std::string() : std::string(name).substr(0, kDatabaseNameCapacity);
  size_t open = text.find('[');
  if (open == std::string::npos) return text;
  size_t close = text.find(']', open);
  if (close == std::string::npos) return text;
  size_t end = close + 1 < text.size() ? close + 2 : close + 1;
  return text.erase(open, end - open);
}


}  // namespace

TqdClientEngine::TqdClientEngine() : TttBapiListItem(nullptr, nullptr) {}
TqdClientEngine::~TqdClientEngine() = default;

TqdResult TqdClientEngine::GetProp(uint32_t property, void* buffer, uint16_t& length, uint16_t bufferSize) {
  if (property != kEnginePropValue) return TttBapiListItem::GetProp(property, buffer, length, bufferSize);
  if (buffer == nullptr || bufferSize < 4) return SetResult(qdErrInvalidParam);
  PutUInt32LE(static_cast<uint8_t*>(buffer), propValue_);
  length = 4;
  return SetResult(qdOK);
}

TqdResult TqdClientEngine::SetProp(uint32_t property, uint32_t value) {
  if (property != kEnginePropValue) return TttBapiListItem::SetProp(property, value);
  propValue_ = value;
  return SetResult(qdOK);
}

TqdResult TqdClientEngine::NewSession(const char* name, hDBISes& session, TqdClientCommsEngine* commsEngine) {
  auto* s = new TqdClientSession(this, &sessions_, name, nullptr, commsEngine);
  currentSession_ = s->Handle();
  session = currentSession_;
  return SetResult(qdOK);
}

TqdResult TqdClientEngine::OpenSession(const char* name, hDBISes& session, uint32_t option,
                                       TqdClientCommsEngine* commsEngine) {
  session = nullptr;
  auto s = std::make_unique<TqdClientSession>(this, &sessions_, name, nullptr, commsEngine);
  s->SetOptionValue(option);
  TqdResult result = s->Connect();
  // A session that could not connect is freed, so that the next call
  // connects afresh instead of using a session without a server.
  if (result != qdOK) return SetResult(result);
  currentSession_ = s.release()->Handle();
  session = currentSession_;
  return SetResult(qdOK);
}

TqdResult TqdClientEngine::SetCurrentSession(hDBISes session) {
  auto* s = LiveObject<TqdClientSession>(session);
  if (s == nullptr) return SetResult(qdErrInvalidSesHandle);
  currentSession_ = session;
  return SetResult(qdOK);
}

TqdClientSession* TqdClientEngine::CurrentSession() {
  // The current session may have been freed by its owner meanwhile.
  if (auto* current = LiveObject<TqdClientSession>(currentSession_)) return current;
  currentSession_ = nullptr;
  hDBISes session = nullptr;
  defaultSessionResult_ = OpenSession(nullptr, session, 0, nullptr);
  return defaultSessionResult_ == qdOK ? LiveObject<TqdClientSession>(session) : nullptr;
}

TqdClientSession* TqdClientEngine::SessionOf(hDBISes session) {
  return session == nullptr ? CurrentSession() : LiveObject<TqdClientSession>(session);
}

// Session handle.

TqdResult TqdClientEngine::OpenDatabase(hDBISes session, const char* name, const char* type, int32_t openMode,
                                        int32_t shareMode, const char* password, uint16_t optionCount,
                                        const uint8_t* optionDescs, const uint8_t* optionValues, hDBIDb& database) {
  TqdClientSession* s = SessionOf(session);
  if (s == nullptr) return SetResult(session == nullptr ? defaultSessionResult_ : qdErrInvalidHandle);
  std::string alias = WithoutServerPrefix(name);
  TttBaseDatabase* db = nullptr;
  TqdResult result = s->OpenDatabase(alias.c_str(), type, openMode, shareMode, password, optionCount, optionDescs,
                                     optionValues, db);
  database = db == nullptr ? nullptr : db->Handle();
  return SetResult(result);
}

TqdResult TqdClientEngine::CloseDatabase(hDBISes session, hDBIDb& database) {
  TqdClientSession* s = SessionOf(session);
  if (s == nullptr) return SetResult(session == nullptr ? defaultSessionResult_ : qdErrInvalidHandle);
  auto* db = LiveObject<TttBaseDatabase>(database);
  if (db == nullptr) return SetResult(qdErrInvalidHandle);
  TqdResult result = ClosedAnyway(s->CloseDatabase(db));
  if (db == nullptr) database = nullptr;
  return SetResult(result);
}

TqdResult TqdClientEngine::OpenDatabaseList(hDBISes session, hDBICur& cursor) {
  TqdClientSession* s = SessionOf(session);
  if (s == nullptr) return SetResult(session == nullptr ? defaultSessionResult_ : qdErrInvalidHandle);
  TttBaseTable* list = nullptr;
  TqdResult result = s->OpenDatabaseList(list);
  cursor = list == nullptr ? nullptr : list->Handle();
  return SetResult(result);
}

// Database handle.

TqdResult TqdClientEngine::OpenTable(hDBIDb database, const char* tableName, const char* driverType,
                                     const char* indexName, const char* tagName, int16_t indexId, int32_t openMode,
                                     int32_t shareMode, int32_t translationMode, bool uniDirectional,
                                     const uint8_t* options, hDBICur& cursor) {
  return Forward<TttBaseDatabase>(database, [&](TttBaseDatabase& db) {
    TttBaseTable* table = nullptr;
    TqdResult result = db.OpenTable(tableName, driverType, indexName, tagName, indexId, openMode, shareMode,
                                    translationMode, uniDirectional, options, table);
    cursor = table == nullptr ? nullptr : table->Handle();
    return result;
  });
}

TqdResult TqdClientEngine::OpenTableList(hDBIDb database, bool extended, bool systemTables, const char* wildcard,
                                         hDBICur& cursor) {
  return Forward<TttBaseDatabase>(database, [&](TttBaseDatabase& db) {
    TttBaseTable* list = nullptr;
    TqdResult result = db.OpenTableList(extended, systemTables, wildcard == nullptr ? "" : wildcard, list);
    cursor = list == nullptr ? nullptr : list->Handle();
    return result;
  });
}

// Process-wide functions.

TqdResult StartClientEngine() {
  if (globalEngine != nullptr) return qdErrMultipleInit;
  globalEngine = new TqdClientEngine;
  return qdOK;
}

void StopClientEngine() {
  TqdClientEngine* engine = globalEngine;
  globalEngine = nullptr;
  delete engine;
}

bool ClientEngineStarted() { return globalEngine != nullptr; }
TqdClientEngine* ClientEngine() { return globalEngine; }

}  // namespace qd
