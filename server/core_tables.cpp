// The table handlers of the core: table list, open table and close cursor,
// dictionary, restructure, delete, rename and empty table, delete index.
// Each reads its record on the serving thread and does the storage work on
// a request worker.
#include "base/QDLLExcp.h"
#include "base/endian.h"
#include "comms/QDNetMsg.h"
#include "server/dict_edit.h"
#include "server/server_core.h"
#include "server/server_results.h"
#include "server/wire_records.h"

namespace qd {
namespace {

int32_t Clamp32(int64_t v) { return v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v); }

// Reads a dictionary a client sent; anything malformed is 10003, and so is
// a dictionary whose file 0 is not the data file (the table's records
// would be described by a BLOB file).
std::unique_ptr<TqdDataDictionary> ReadClientDictionary(TqdBytes bytes) {
  try {
    TqdMemoryStream stream(bytes.data(), bytes.size());
    TqdDataDictionary received;
    received.LoadFromStream(stream);
    if (received.FileCount() == 0 || received.FileDesc(0).FileType != kFileTypeData)
      throw EqdStorageError(qdErrInvalidRecStruct, "file 0 of the dictionary is not the data file");
    auto canonical = CopyDictionary(received);
    canonical->Validate();
    return canonical;
  } catch (const Exception& e) {
    throw EqdStorageError(qdErrInvalidRecStruct, e.what());
  }
}

}  // namespace

void TqdServerCore::OnTableList(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  const std::string* dir = RequestDirectory(c, client, request, kTableListRequestSize, kDataKindStream);
  if (!dir) return;
  std::string pattern = ShortStringAt(request.Data, 4, 35);
  Defer(c, msgGetTableList, kDataKindStream, [d = *dir, pattern](TqdStoreCache& stores) {
    TqdTableStore& store = stores.For(d);
    TqdJobResult result;
    for (const TqdTableInfo& t : store.ListTables(pattern)) {
      auto dict = store.LoadDictionary(t.Id);
      AppendTableRow(result.Data, t.Name, t.Extension, Clamp32(t.Records), Clamp32(t.Deleted), dict->IndexCount());
    }
    return result;
  });
}

// Open table (1280): the reply stream is the cursor id, the stored
// dictionary and the index chosen (by name when one is given, else by id).
void TqdServerCore::OnOpenTable(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto open = ReadOpenTableRequest(request.Data);
  const std::string* dir = open ? DirectoryOf(client, open->DatabaseId) : nullptr;
  if (!dir) {
    Reply(c, msgOpenTable, open ? qdErrUnknownDB : qdErrInvalidParam, {}, kDataKindStream);
    return;
  }
  std::string table = TableNameOf(open->Table);
  Defer(
      c, msgOpenTable, kDataKindStream,
      [d = *dir, table, o = *open](TqdStoreCache& stores) {
        TqdTableStore& store = stores.For(d);
        auto id = store.FindTable(table);
        if (!id) return TqdJobResult{qdErrNoSuchTable, {}};
        auto dict = store.LoadDictionary(*id);
        int32_t index = o.IndexName.empty() ? o.IndexId : dict->IndexNumberOf(o.IndexName);
        if (index < 0 || index >= dict->IndexCount()) return TqdJobResult{qdErrNoSuchIndex, {}};
        TqdJobResult result;
        result.Data.resize(4);  // the cursor id, filled in on the serving thread
        auto bytes = store.DictionaryBytes(*id);
        result.Data.insert(result.Data.end(), bytes.begin(), bytes.end());
        result.Data.resize(result.Data.size() + 4);
        PutInt32LE(result.Data.data() + result.Data.size() - 4, index);
        return result;
      },
      [this, dbId = open->DatabaseId, table](Client& owner, TqdJobResult& result) {
        if (result.Result != qdOK) return;
        if (!owner.HasRoomForHandle()) {
          result = {qdErrNoMemory, {}};
          return;
        }
        int32_t cursor = NextId();
        owner.Cursors[cursor] = Cursor{dbId, table};
        PutInt32LE(result.Data.data(), cursor);
      });
}

void TqdServerCore::OnCloseCursor(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  bool ok = request.Data.size() >= 4 && client.Cursors.erase(GetInt32LE(request.Data.data())) > 0;
  Reply(c, msgCloseCursor, request.Data.size() < 4 ? qdErrInvalidParam : ok ? qdOK : qdErrInvalidHandle);
}

void TqdServerCore::OnGetDictionary(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  const std::string* dir = RequestDirectory(c, client, request, kTableRequestSize, kDataKindStream);
  if (!dir) return;
  std::string table = TableNameOf(ShortStringAt(request.Data, 4, 31));
  Defer(c, msgGetDictionary, kDataKindStream, [d = *dir, table](TqdStoreCache& stores) {
    TqdTableStore& store = stores.For(d);
    auto id = store.FindTable(table);
    if (!id) return TqdJobResult{qdErrNoSuchTable, {}};
    return TqdJobResult{qdOK, store.DictionaryBytes(*id)};
  });
}

// Restructure (1300): creates the table from the dictionary that follows
// the header, in the server's canonical form.
void TqdServerCore::OnRestructure(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  const auto& data = request.Data;
  if (data.size() < kRestructureHeaderSize || data.size() > kMaxRestructureBytes) {
    Reply(c, msgRestructureTable, data.size() < kRestructureHeaderSize ? qdErrInvalidParam : qdErrInvalidRecStruct);
    return;
  }
  const std::string* dir = DirectoryOf(client, GetInt32LE(data.data()));
  std::string table = TableNameOf(ShortStringAt(data, 5, 31));
  bool overwrite = data[4] != 0;
  if (!dir || table.empty()) {
    Reply(c, msgRestructureTable, !dir ? qdErrUnknownDB : qdErrInvalidTableName);
    return;
  }
  if (tasks_.TableBusy(*dir, table)) {
    Reply(c, msgRestructureTable, qdErrTableBusy);
    return;
  }
  std::vector<uint8_t> stream(data.begin() + kRestructureHeaderSize, data.end());
  Defer(c, msgRestructureTable, 0, [d = *dir, table, overwrite, stream](TqdStoreCache& stores) {
    auto dict = ReadClientDictionary(stream);
    stores.For(d).CreateTable(table, *dict, overwrite);
    return TqdJobResult{};
  });
}

void TqdServerCore::OnDeleteTable(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  const std::string* dir = RequestDirectory(c, client, request, kTableRequestSize);
  if (!dir) return;
  std::string table = TableNameOf(ShortStringAt(request.Data, 4, 31));
  if (tasks_.TableBusy(*dir, table)) {
    Reply(c, msgDeleteTable, qdErrTableBusy);
  } else {
    Defer(c, msgDeleteTable, 0, [d = *dir, table](TqdStoreCache& stores) {
      stores.For(d).DeleteTable(table);
      return TqdJobResult{};
    });
  }
}

void TqdServerCore::OnRenameTable(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  const auto& data = request.Data;
  const std::string* dir = RequestDirectory(c, client, request, kRenameTableRequestSize);
  if (!dir) return;
  std::string from = TableNameOf(ShortStringAt(data, 4, 31));
  std::string to = TableNameOf(ShortStringAt(data, 36, 31));
  if (to.empty()) {
    Reply(c, msgRenameTable, qdErrInvalidTableName);
  } else if (tasks_.TableBusy(*dir, from)) {
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
  const std::string* dir = RequestDirectory(c, client, request, kEmptyTableRequestSize);
  if (!dir) return;
  std::string table = IdleTableOf(c, client, request, *dir, 8);
  if (table.empty()) return;
  Defer(c, msgEmptyTable, 0, [d = *dir, table](TqdStoreCache& stores) {
    stores.For(d).EmptyTable(table);
    return TqdJobResult{};
  });
}

void TqdServerCore::OnDeleteIndex(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  const std::string* dir = RequestDirectory(c, client, request, kDeleteIndexRequestSize);
  if (!dir) return;
  std::string table = IdleTableOf(c, client, request, *dir, 8);
  if (table.empty()) return;
  std::string indexName = ShortStringAt(request.Data, 40, 31);
  int32_t indexId = GetInt32LE(request.Data.data() + 72);
  Defer(c, msgDeleteIndex, 0, [d = *dir, table, indexName, indexId](TqdStoreCache& stores) {
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
