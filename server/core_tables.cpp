// The table handlers of the core: table list, open table, switch to index
// and close cursor, dictionary, restructure, delete, rename and empty
// table, delete index.
// Each reads its record on the serving thread and does the storage work on
// a request worker.
#include "base/QDLLExcp.h"
#include "base/endian.h"
#include "comms/QDNetMsg.h"
#include "server/dict_edit.h"
#include "server/record_navigation.h"
#include "server/server_core.h"
#include "server/server_results.h"
#include "server/wire_records.h"

namespace qd {
namespace {

int32_t Clamp32(int64_t v) { return v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v); }

// The index a request names: by name (without regard to ASCII case) when
// it gives one, else by number; -1 when the dictionary has no such index.
int32_t ChosenIndex(const TqdDataDictionary& dict, const std::string& name, int32_t id) {
  int32_t index = name.empty() ? id : dict.IndexNumberOf(name);
  return index >= 0 && index < dict.IndexCount() ? index : -1;
}

}  // namespace

void TqdServerCore::OnTableList(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto list = ReadTableListRequest(request.Data);
  const std::string* dir =
      RequestDirectory(c, client, request, list.has_value(), list ? list->DatabaseId : 0, kDataKindStream);
  if (!dir) return;
  Defer(c, msgGetTableList, kDataKindStream, [d = *dir, pattern = list->Pattern](TqdStoreCache& stores) {
    TqdJobResult result;
    TqdTableStore* store = stores.Find(d);
    if (store == nullptr) return result;  // a directory without a store has no tables
    for (const TqdTableInfo& t : store->ListTables(pattern)) {
      auto dict = store->LoadDictionary(t.Id);
      AppendTableRow(result.Data, t.Name, t.Extension, Clamp32(t.Records), Clamp32(t.Deleted), dict->IndexCount());
    }
    return result;
  });
}

// Open table (1280): the reply stream is the cursor id, the stored
// dictionary and the index chosen (by name when one is given, else by id).
void TqdServerCore::OnOpenTable(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto open = ReadOpenTableRequest(request.Data);
  const std::string* dir =
      RequestDirectory(c, client, request, open.has_value(), open ? open->DatabaseId : 0, kDataKindStream);
  if (!dir) return;
  std::string table = TableNameOf(open->Table);
  Defer(
      c, msgOpenTable, kDataKindStream,
      [d = *dir, table, o = *open](TqdStoreCache& stores) {
        TqdTableStore& store = stores.For(d);
        auto id = store.FindTable(table);
        if (!id) return TqdJobResult{qdErrNoSuchTable, {}};
        auto dict = store.LoadDictionary(*id);
        int32_t index = ChosenIndex(*dict, o.IndexName, o.IndexId);
        if (index < 0) return TqdJobResult{qdErrNoSuchIndex, {}};
        TqdJobResult result;
        result.Data.resize(4);  // the cursor id, filled in on the serving thread
        auto bytes = store.DictionaryBytes(*id);
        result.Data.insert(result.Data.end(), bytes.begin(), bytes.end());
        result.Data.resize(result.Data.size() + 4);
        PutInt32LE(result.Data.data() + result.Data.size() - 4, index);
        return result;
      },
      [this, c, dbId = open->DatabaseId, table, exclusive = !open->Shared](Client& owner, TqdJobResult& result) {
        if (result.Result != qdOK) return;
        if (!owner.HasRoomForHandle()) {
          result = {qdErrNoMemory, {}};
          return;
        }
        // A table opened to itself is open nowhere else.
        const std::string* d = DirectoryOf(owner, dbId);
        if (d == nullptr || OpenElsewhere(PackKey(*d, table), {c, 0}, !exclusive)) {
          result = {qdErrNoExclusiveAccess, {}};
          return;
        }
        int32_t cursor = NextId();
        // The index chosen is the reply's last word.
        Cursor opened{dbId, table, GetInt32LE(result.Data.data() + result.Data.size() - 4)};
        opened.Exclusive = exclusive;
        owner.Cursors[cursor] = std::move(opened);
        PutInt32LE(result.Data.data(), cursor);
      });
}

void TqdServerCore::OnCloseCursor(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto id = ReadIdRequest(request.Data);
  if (id) locks_.ForgetCursor({c, *id});
  Reply(c, msgCloseCursor, !id ? qdErrInvalidParam : client.Cursors.erase(*id) > 0 ? qdOK : qdErrInvalidHandle);
}

// Switch to index (1798): a cursor of this connection reads by another
// index of its table from now on, its range gone; kept on its record when
// asked to, else before the first record. No reply data.
void TqdServerCore::OnSwitchToIndex(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto sw = ReadSwitchToIndexRequest(request.Data);
  WorkOnCursor(c, client, msgSwitchToIndex, sw ? std::optional(sw->CursorId) : std::nullopt,
               [s = sw.value_or(TqdSwitchToIndexRequest{})](TqdRecordNavigator& nav, TqdServerCursorView& view) {
                 int32_t index = ChosenIndex(nav.Dictionary(), s.IndexName, s.IndexId);
                 if (index < 0) return TqdJobResult{qdErrNoSuchIndex, {}};
                 TqdRecordNavigator next(nav.Store(), nav.Table(), index);
                 std::optional<TqdFoundRecord> kept;
                 if (s.KeepCurrent && view.Position.Where == TqdCursorPosition::On) kept = next.ByRid(view.Position.Rid);
                 view.Position = kept ? kept->Position() : TqdCursorPosition{};
                 view.Range = {};
                 view.IndexId = index;
                 return TqdJobResult{qdOK, {}};
               });
}

void TqdServerCore::OnGetDictionary(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto get = ReadTableRequest(request.Data);
  const std::string* dir =
      RequestDirectory(c, client, request, get.has_value(), get ? get->DatabaseId : 0, kDataKindStream);
  if (!dir) return;
  Defer(c, msgGetDictionary, kDataKindStream, [d = *dir, table = TableNameOf(get->Table)](TqdStoreCache& stores) {
    TqdTableStore& store = stores.For(d);
    auto id = store.FindTable(table);
    if (!id) return TqdJobResult{qdErrNoSuchTable, {}};
    return TqdJobResult{qdOK, store.DictionaryBytes(*id)};
  });
}

// Restructure (1300): creates the table from the dictionary that follows
// the header, in the server's canonical form.
void TqdServerCore::OnRestructure(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  if (request.Data.size() > kMaxRestructureBytes) {
    Reply(c, msgRestructureTable, qdErrInvalidRecStruct);
    return;
  }
  auto restructure = ReadRestructureRequest(request.Data);
  const std::string* dir =
      RequestDirectory(c, client, request, restructure.has_value(), restructure ? restructure->DatabaseId : 0);
  if (!dir) return;
  std::string table = TableNameOf(restructure->Table);
  if (table.empty()) {
    Reply(c, msgRestructureTable, qdErrInvalidTableName);
    return;
  }
  if (TableInUse(c, *dir, table)) {
    Reply(c, msgRestructureTable, qdErrTableBusy);
    return;
  }
  std::vector<uint8_t> stream(restructure->Dictionary.begin(), restructure->Dictionary.end());
  Defer(c, msgRestructureTable, 0,
        [d = *dir, table, overwrite = restructure->Overwrite, stream,
         create = IsAliasDirectory(*dir)](TqdStoreCache& stores) {
          auto dict = ReadClientDictionary(stream);
          (create ? stores.ForCreating(d) : stores.For(d)).CreateTable(table, *dict, overwrite);
          return TqdJobResult{};
        });
}

void TqdServerCore::OnDeleteTable(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto del = ReadTableRequest(request.Data);
  const std::string* dir = RequestDirectory(c, client, request, del.has_value(), del ? del->DatabaseId : 0);
  if (!dir) return;
  std::string table = TableNameOf(del->Table);
  if (TableInUse(c, *dir, table)) {
    Reply(c, msgDeleteTable, qdErrTableBusy);
    return;
  }
  Defer(c, msgDeleteTable, 0, [d = *dir, table](TqdStoreCache& stores) {
    stores.For(d).DeleteTable(table);
    return TqdJobResult{};
  });
}

void TqdServerCore::OnRenameTable(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto rename = ReadRenameTableRequest(request.Data);
  const std::string* dir =
      RequestDirectory(c, client, request, rename.has_value(), rename ? rename->DatabaseId : 0);
  if (!dir) return;
  std::string from = TableNameOf(rename->From);
  std::string to = TableNameOf(rename->To);
  if (to.empty()) {
    Reply(c, msgRenameTable, qdErrInvalidTableName);
  } else if (TableInUse(c, *dir, from)) {
    Reply(c, msgRenameTable, qdErrTableBusy);
  } else {
    Defer(c, msgRenameTable, 0, [d = *dir, from, to](TqdStoreCache& stores) {
      stores.For(d).RenameTable(from, to);
      return TqdJobResult{};
    });
  }
}

// Empty table (1304) and delete index (1306) name the table, or leave the
// name empty and give a cursor of the client on it.
void TqdServerCore::OnEmptyTable(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto empty = ReadEmptyTableRequest(request.Data);
  const std::string* dir = RequestDirectory(c, client, request, empty.has_value(), empty ? empty->DatabaseId : 0);
  if (!dir) return;
  std::string table = IdleTableOf(c, client, request, *dir, empty->Table, empty->CursorId);
  if (table.empty()) return;
  Defer(c, msgEmptyTable, 0, [d = *dir, table](TqdStoreCache& stores) {
    stores.For(d).EmptyTable(table);
    return TqdJobResult{};
  });
}

void TqdServerCore::OnDeleteIndex(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto del = ReadDeleteIndexRequest(request.Data);
  const std::string* dir = RequestDirectory(c, client, request, del.has_value(), del ? del->DatabaseId : 0);
  if (!dir) return;
  std::string table = IdleTableOf(c, client, request, *dir, del->Table, del->CursorId);
  if (table.empty()) return;
  Defer(c, msgDeleteIndex, 0,
        [d = *dir, table, indexName = del->IndexName, indexId = del->IndexId](TqdStoreCache& stores) {
          TqdTableStore& store = stores.For(d);
          int32_t number = indexId;
          if (!indexName.empty()) {
            auto id = store.FindTable(table);
            if (!id) return TqdJobResult{qdErrNoSuchTable, {}};
            number = store.LoadDictionary(*id)->IndexNumberOf(indexName);
          }
          store.DeleteIndex(table, number);
          return TqdJobResult{};
        });
}

}  // namespace qd
