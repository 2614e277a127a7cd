// The session's lists: the server's aliases and the tables of a database,
// and the temporary databases a table listing opens on an alias.
#include <algorithm>
#include <array>

#include "base/QDLLExcp.h"
#include "callif/QDCLSess.h"
#include "callif/QDClEng.h"
#include "callif/QDTTDbas.h"
#include "callif/catalogue.h"
#include "components/QDDB.h"
#include "components/with_undo.h"
#include "framework/definitions.h"

namespace qd {

namespace {

constexpr size_t kAliasNameCapacity = 31;        // the first 32 bytes of an alias row
constexpr size_t kTableNameTextCapacity = 260;   // the first 261 bytes of a table row
constexpr size_t kTableExtensionCapacity = 3;    // 4 bytes at kTblDescExtOffset

// Reads every row of `cursor` into `add`, then closes the cursor.
template <size_t RowSize, class Add>
void ReadRows(hDBICur cursor, Add add) {
  TqdClientEngine& engine = *ClientEngine();
  std::array<uint8_t, RowSize> row{};
  WithUndo(
      [&] {
        while (engine.GetNextRecord(cursor, dbiNOLOCK, row.data(), nullptr) == qdOK) add(row.data());
      },
      [&] { engine.CloseCursor(cursor); });
}

}  // namespace

void TqdSession::ListAliasNames(std::vector<std::string>& list) {
  TqdCommsEngine* engine = CommsEngine();
  bool engineWasOpen = engine != nullptr && engine->Active();
  bool wasOpen = Active();
  WithUndo(
      [&] {
        if (!wasOpen) SetActive(true);
        ReadAliasNames(list);
      },
      [&] {
        // What the listing opened is closed again, also when it failed
        // half way (a session that found no server leaves its engine open).
        if (!wasOpen && Active()) SetActive(false);
        if (engine != nullptr && !engineWasOpen && engine->Active()) engine->SetActive(false);
      });
}

void TqdSession::ReadAliasNames(std::vector<std::string>& list) {
  hDBICur cursor = nullptr;
  CheckResult(ClientEngine()->OpenDatabaseList(SessionHandle(), cursor));
  ReadRows<kDatabaseDescSize>(cursor, [&](const uint8_t* row) {
    std::string name = GetZeroText(row + kDbDescNameOffset, kAliasNameCapacity);
    bool known = std::any_of(list.begin(), list.end(), [&](const std::string& s) { return SameNameNoCase(s, name); });
    if (!known) list.push_back(std::move(name));
  });
}

void TqdSession::ListTableNames(std::string_view databaseName, std::string_view pattern, bool extensions,
                                bool systemTables, std::vector<std::string>& list) {
  list.clear();
  TqdDatabase* database = OpenDatabaseByName(databaseName);
  if (database == nullptr) return;
  WithUndo(
      [&] {
        hDBICur cursor = nullptr;
        std::string wildcard(pattern);
        CheckResult(ClientEngine()->OpenTableList(database->ClientDatabase(), extensions, systemTables,
                                                  wildcard.c_str(), cursor));
        // The cursor is closed after reading: left to its database, every
        // listing on a database that stays open would keep one more.
        ReadRows<kTableDescSize>(cursor, [&](const uint8_t* row) {
          std::string name = GetZeroText(row + kTblDescNameOffset, kTableNameTextCapacity);
          std::string extension = GetZeroText(row + kTblDescExtOffset, kTableExtensionCapacity);
          if (extensions && !extension.empty()) name += "." + extension;
          list.push_back(std::move(name));
        });
      },
      [&] { CloseTemporaryDatabase(database); });
}

TqdDatabase* TqdSession::OpenDatabaseByName(std::string_view name) {
  TqdDatabase* database = FindDatabase(this, name, true);
  if (database != nullptr) database->SetActive(true);
  return database;
}

void TqdSession::CloseTemporaryDatabase(TqdDatabase* database) {
  if (database == nullptr) return;
  database->SetActive(false);
  if (!database->Active() && database->Temporary()) delete database;
}

}  // namespace qd
