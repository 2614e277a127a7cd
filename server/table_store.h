// The storage of one alias directory: one SQLite file holding, per table,
// its dictionary (stream form), its records as record buffers with a
// deleted mark, and one key table per index of order-preserving binary keys
// (key_encoding.h). Unique indexes keep one row per key; the others order
// equal keys by record number.
//
// Schema: qd_tables(id, name, ext, dict); qd_indexes(key_id, table_id,
// number); records in r<id>(rid, deleted, rec); keys in k<key_id>(key, rid).
// Tables and key tables are named by numbers, never by client text.
//
// A store is opened only where one exists unless its creation is asked for,
// and never through a symbolic link (store_place.h).
//
// Thread rules: a store is one connection, used by one thread at a time.
// Several stores (threads) may use the same file; WAL lets readers go on
// while a writer works.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dict/QDLLDict.h"
#include "server/sqlite_db.h"
#include "server/store_place.h"

namespace qd {

struct TqdTableInfo {
  int64_t Id = 0;
  std::string Name;
  std::string Extension;
  int64_t Records = 0;  // not deleted
  int64_t Deleted = 0;
};

class TqdTableStore {
 public:
  // Opens the store of `directory` (canonical). Raises qdErrNoSuchTable
  // when there is none and options.Mode does not create it (nothing is
  // created then), qdErrServerFileOpen when the directory is not canonical
  // or the store file or a directory on the way is a symbolic link.
  explicit TqdTableStore(const std::string& directory, const TqdOpenOptions& options = {});

  TqdSqliteDb& Db() { return db_; }
  const std::string& Directory() const { return place_.Directory(); }
  const std::string& FilePath() const { return place_.FilePath(); }
  // False once the directory or the store file is no longer the one opened
  // (moved, or replaced by a link): the store must not be used again.
  bool StillInPlace() const { return place_.Unchanged(); }

  // Tables whose name matches `pattern` (* and ?, no regard to case; an
  // empty pattern matches all), sorted by name.
  std::vector<TqdTableInfo> ListTables(const std::string& pattern);
  std::optional<int64_t> FindTable(const std::string& name);
  // The stored stream form of the table's dictionary.
  std::vector<uint8_t> DictionaryBytes(int64_t tableId);
  std::unique_ptr<TqdDataDictionary> LoadDictionary(int64_t tableId);
  void SaveDictionary(int64_t tableId, TqdDataDictionary& dict);

  // Creates an empty table (replacing one of that name when `overwrite`);
  // qdErrTableExists when it exists and overwrite is off.
  int64_t CreateTable(const std::string& name, TqdDataDictionary& dict, bool overwrite);
  void DeleteTable(const std::string& name);
  // qdErrNoSuchTable when `from` is missing; qdErrTableExists when `to` is
  // taken by another table.
  void RenameTable(const std::string& from, const std::string& to);
  void EmptyTable(const std::string& name);
  // Removes index `indexNo` (1 or more) from the dictionary with its keys.
  void DeleteIndex(const std::string& name, int32_t indexNo);

  // The key table of index `number` (1 or more), created when missing;
  // with `recreate` it is emptied. A new one has the shape `unique` asks for.
  std::string KeyTableName(int64_t tableId, int32_t number, bool unique, bool recreate = false);
  static std::string RecordTableName(int64_t tableId);
  // The columns of every record table; a table with the same ones takes
  // its rows in a raw copy.
  static constexpr const char* kRecordColumns =
      "(rid INTEGER PRIMARY KEY, deleted INTEGER NOT NULL DEFAULT 0, rec BLOB NOT NULL)";
  // The key table of index `number` when it has one; nothing is created.
  std::optional<std::string> ExistingKeyTable(int64_t tableId, int32_t number);

  // Appends a record without touching the key tables: a rebuild follows.
  int64_t AppendRecord(int64_t tableId, const std::vector<uint8_t>& record, bool deleted);

 private:
  int64_t RequireTable(const std::string& name);
  void DropTableContent(int64_t tableId);
  // The numbers of the table's key tables (the statement is done on return).
  std::vector<int64_t> KeyIdsOf(int64_t tableId);

  TqdStorePlace place_;
  TqdSqliteDb db_;
};

// True when `name` matches the wildcard pattern (* any run, ? one
// character), without regard to ASCII case.
bool MatchesWildcard(const std::string& pattern, const std::string& name);

}  // namespace qd
