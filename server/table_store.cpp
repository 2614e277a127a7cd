#include "server/table_store.h"

#include <cctype>

#include "base/stream.h"
#include "server/dict_edit.h"
#include "base/QDLLExcp.h"
#include "server/server_results.h"

namespace qd {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS qd_tables(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " name TEXT NOT NULL UNIQUE COLLATE NOCASE, ext TEXT NOT NULL, dict BLOB NOT NULL);"
    "CREATE TABLE IF NOT EXISTS qd_indexes(key_id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " table_id INTEGER NOT NULL, number INTEGER NOT NULL, UNIQUE(table_id, number));";

std::vector<uint8_t> StreamFormOf(TqdDataDictionary& dict) {
  TqdMemoryStream stream;
  dict.SaveToStream(stream);
  return std::vector<uint8_t>(stream.Bytes().begin(), stream.Bytes().end());
}

std::string ExtensionOf(const TqdDataDictionary& dict) {
  return dict.FileCount() > 0 ? std::string(dict.FileDesc(0).Extension.View()) : std::string();
}

// Prefix and number built by appending: g++ 12 at -O2 warns falsely about
// `"k" + std::to_string(n)`.
std::string Numbered(const char* prefix, int64_t n) {
  std::string text(prefix);
  text += std::to_string(n);
  return text;
}

// Checked before the connection is made: nothing is created for a
// directory without a store.
const std::string& StoreFileToOpen(const TqdStorePlace& place, TqdOpenMode mode) {
  if (!place.HasStoreFile() && mode != TqdOpenMode::CreateIfMissing)
    throw EqdStorageError(qdErrNoSuchTable, "no store in " + place.Directory());
  return place.FilePath();
}

}  // namespace

bool MatchesWildcard(const std::string& pattern, const std::string& name) {
  // Iterative glob with one back-track point: linear in practice, never
  // exponential on hostile patterns.
  size_t p = 0, n = 0, star = std::string::npos, mark = 0;
  auto same = [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
  };
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

TqdTableStore::TqdTableStore(const std::string& directory, const TqdOpenOptions& options)
    : place_(directory), db_(StoreFileToOpen(place_, options.Mode), options) {
  place_.Settle();
  if (db_.QueryInt("SELECT COUNT(*) FROM sqlite_master WHERE name = 'qd_tables'") == 0) {
    TqdTransaction txn(db_);
    db_.Exec(kSchema);
    txn.Commit();
  }
}


std::string TqdTableStore::RecordTableName(int64_t tableId) { return Numbered("r", tableId); }

std::vector<TqdTableInfo> TqdTableStore::ListTables(const std::string& pattern) {
  std::vector<TqdTableInfo> tables;
  auto list = db_.Prepare("SELECT id, name, ext FROM qd_tables ORDER BY name COLLATE NOCASE");
  while (list.Step()) {
    TqdTableInfo info{list.Int(0), list.Text(1), list.Text(2)};
    if (!pattern.empty() && !MatchesWildcard(pattern, info.Name) &&
        !MatchesWildcard(pattern, info.Name + "." + info.Extension))
      continue;
    auto count = db_.Prepare("SELECT COALESCE(SUM(deleted = 0), 0), COALESCE(SUM(deleted <> 0), 0) FROM " +
                             RecordTableName(info.Id));
    if (count.Step()) {
      info.Records = count.Int(0);
      info.Deleted = count.Int(1);
    }
    tables.push_back(std::move(info));
  }
  return tables;
}

std::optional<int64_t> TqdTableStore::FindTable(const std::string& name) {
  auto find = db_.Prepare("SELECT id FROM qd_tables WHERE name = ?");
  find.Bind(1, name);
  if (!find.Step()) return std::nullopt;
  return find.Int(0);
}

int64_t TqdTableStore::RequireTable(const std::string& name) {
  auto id = FindTable(name);
  if (!id) throw EqdStorageError(qdErrNoSuchTable, "no table " + name);
  return *id;
}

std::vector<uint8_t> TqdTableStore::DictionaryBytes(int64_t tableId) {
  auto read = db_.Prepare("SELECT dict FROM qd_tables WHERE id = ?");
  read.Bind(1, tableId);
  if (!read.Step()) throw EqdStorageError(qdErrNoSuchTable, "table gone");
  auto blob = read.Blob(0);
  return std::vector<uint8_t>(blob.begin(), blob.end());
}

std::unique_ptr<TqdDataDictionary> TqdTableStore::LoadDictionary(int64_t tableId) {
  TqdMemoryStream stream(DictionaryBytes(tableId));
  auto dict = std::make_unique<TqdDataDictionary>();
  try {
    dict->LoadFromStream(stream);
  } catch (const Exception& e) {
    throw EqdStorageError(qdErrServerRead, std::string("stored dictionary unreadable: ") + e.what());
  }
  return dict;
}

void TqdTableStore::SaveDictionary(int64_t tableId, TqdDataDictionary& dict) {
  auto save = db_.Prepare("UPDATE qd_tables SET dict = ?, ext = ? WHERE id = ?");
  save.BindBlob(1, StreamFormOf(dict)).Bind(2, ExtensionOf(dict)).Bind(3, tableId).Run();
}

std::string TqdTableStore::KeyTableName(int64_t tableId, int32_t number, bool unique, bool recreate) {
  auto find = db_.Prepare("SELECT key_id FROM qd_indexes WHERE table_id = ? AND number = ?");
  find.Bind(1, tableId).Bind(2, number);
  int64_t keyId;
  if (find.Step()) {
    keyId = find.Int(0);
    find.Reset();
  } else {
    find.Reset();
    db_.Prepare("INSERT INTO qd_indexes(table_id, number) VALUES(?, ?)")
        .Bind(1, tableId)
        .Bind(2, number)
        .Run();
    keyId = db_.LastInsertRowId();
  }
  std::string name = Numbered("k", keyId);
  db_.Exec("CREATE TABLE IF NOT EXISTS " + name +
           (unique ? "(key BLOB PRIMARY KEY, rid INTEGER NOT NULL) WITHOUT ROWID"
                   : "(key BLOB NOT NULL, rid INTEGER NOT NULL, PRIMARY KEY(key, rid)) WITHOUT ROWID"));
  // Emptied rather than dropped and made again: the schema stays as it was,
  // so the other connections to the store need not read it afresh. (A key
  // table keeps its shape for life: an index's uniqueness only changes with
  // a new table.)
  if (recreate) db_.Exec("DELETE FROM " + name);
  return name;
}

std::optional<std::string> TqdTableStore::ExistingKeyTable(int64_t tableId, int32_t number) {
  auto find = db_.Prepare("SELECT key_id FROM qd_indexes WHERE table_id = ? AND number = ?");
  find.Bind(1, tableId).Bind(2, number);
  if (!find.Step()) return std::nullopt;
  return Numbered("k", find.Int(0));
}

int64_t TqdTableStore::CreateTable(const std::string& name, TqdDataDictionary& dict, bool overwrite) {
  std::vector<uint8_t> bytes = StreamFormOf(dict);
  TqdTransaction txn(db_);
  if (auto existing = FindTable(name)) {
    if (!overwrite) throw EqdStorageError(qdErrTableExists, "table exists: " + name);
    DropTableContent(*existing);
  }
  db_.Prepare("INSERT INTO qd_tables(name, ext, dict) VALUES(?, ?, ?)")
      .Bind(1, name)
      .Bind(2, ExtensionOf(dict))
      .BindBlob(3, bytes)
      .Run();
  int64_t id = db_.LastInsertRowId();
  db_.Exec("CREATE TABLE " + RecordTableName(id) + kRecordColumns);
  for (int32_t i = 1; i < dict.IndexCount(); ++i)
    KeyTableName(id, i, !dict.IndexDesc(i).AllowDuplicates && !dict.IndexIsUserDefined(i));
  txn.Commit();
  return id;
}

std::vector<int64_t> TqdTableStore::KeyIdsOf(int64_t tableId) {
  auto keys = db_.Prepare("SELECT key_id FROM qd_indexes WHERE table_id = ?");
  keys.Bind(1, tableId);
  std::vector<int64_t> keyIds;
  while (keys.Step()) keyIds.push_back(keys.Int(0));
  return keyIds;
}

void TqdTableStore::DropTableContent(int64_t tableId) {
  for (int64_t k : KeyIdsOf(tableId)) db_.Exec(Numbered("DROP TABLE IF EXISTS k", k));
  db_.Prepare("DELETE FROM qd_indexes WHERE table_id = ?").Bind(1, tableId).Run();
  db_.Exec("DROP TABLE IF EXISTS " + RecordTableName(tableId));
  db_.Prepare("DELETE FROM qd_tables WHERE id = ?").Bind(1, tableId).Run();
}

void TqdTableStore::DeleteTable(const std::string& name) {
  TqdTransaction txn(db_);
  DropTableContent(RequireTable(name));
  txn.Commit();
}

void TqdTableStore::RenameTable(const std::string& from, const std::string& to) {
  TqdTransaction txn(db_);
  int64_t id = RequireTable(from);
  auto other = FindTable(to);
  if (other && *other != id) throw EqdStorageError(qdErrTableExists, "table exists: " + to);
  db_.Prepare("UPDATE qd_tables SET name = ? WHERE id = ?").Bind(1, to).Bind(2, id).Run();
  txn.Commit();
}

void TqdTableStore::EmptyTable(const std::string& name) {
  TqdTransaction txn(db_);
  int64_t id = RequireTable(name);
  db_.Exec("DELETE FROM " + RecordTableName(id));
  for (int64_t k : KeyIdsOf(id)) db_.Exec(Numbered("DELETE FROM k", k));
  txn.Commit();
}

void TqdTableStore::DeleteIndex(const std::string& name, int32_t indexNo) {
  TqdTransaction txn(db_);
  int64_t id = RequireTable(name);
  auto dict = LoadDictionary(id);
  if (indexNo < 1 || indexNo >= dict->IndexCount())
    throw EqdStorageError(qdErrNoSuchIndex, Numbered("no index ", indexNo));
  auto edited = CopyDictionary(*dict, indexNo);
  SaveDictionary(id, *edited);
  auto find = db_.Prepare("SELECT key_id FROM qd_indexes WHERE table_id = ? AND number = ?");
  find.Bind(1, id).Bind(2, indexNo);
  std::optional<int64_t> keyId;
  if (find.Step()) keyId = find.Int(0);
  find.Reset();
  if (keyId) db_.Exec(Numbered("DROP TABLE IF EXISTS k", *keyId));
  db_.Prepare("DELETE FROM qd_indexes WHERE table_id = ? AND number = ?").Bind(1, id).Bind(2, indexNo).Run();
  // Two steps, so that no two rows share a number on the way.
  db_.Prepare("UPDATE qd_indexes SET number = 1 - number WHERE table_id = ? AND number > ?")
      .Bind(1, id)
      .Bind(2, indexNo)
      .Run();
  db_.Prepare("UPDATE qd_indexes SET number = -number WHERE table_id = ? AND number < 0").Bind(1, id).Run();
  txn.Commit();
}

int64_t TqdTableStore::AppendRecord(int64_t tableId, const std::vector<uint8_t>& record, bool deleted) {
  auto insert = db_.Prepare("INSERT INTO " + RecordTableName(tableId) + "(deleted, rec) VALUES(?, ?)");
  insert.Bind(1, deleted ? 1 : 0).BindBlob(2, record).Run();
  return db_.LastInsertRowId();
}

}  // namespace qd
