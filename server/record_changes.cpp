#include "server/record_changes.h"

#include "server/server_results.h"

namespace qd {

TqdRecordChanges::TqdRecordChanges(TqdRecordNavigator& nav) : nav_(nav) {
  const TqdDataDictionary& dict = nav.Dictionary();
  for (int32_t n = 1; n < dict.IndexCount(); ++n) {
    auto keys = nav.Store().ExistingKeyTable(nav.TableId(), n);
    if (!keys) throw EqdStorageError(qdErrNoSuchIndex, "no keys for index " + std::to_string(n));
    indexes_.push_back({std::make_unique<TqdKeyEncoder>(dict, n), *keys});
  }
}

void TqdRecordChanges::CheckSize(std::span<const uint8_t> record) const {
  if (record.size() != static_cast<size_t>(nav_.Dictionary().RecordSize()))
    throw EqdStorageError(qdErrInvalidParam, "a record of another size than the table's");
}

std::vector<uint8_t> TqdRecordChanges::KeyOf(const Index& index, const uint8_t* record) const {
  std::vector<uint8_t> key(index.Encoder->Width());
  if (!key.empty()) index.Encoder->Encode(record, key.data());
  return key;
}

void TqdRecordChanges::AddKey(const Index& index, const std::vector<uint8_t>& key, int64_t rid) {
  try {
    nav_.Store().Db().Prepare("INSERT INTO " + index.KeyTable + "(key, rid) VALUES(?, ?)").BindBlob(1, key).Bind(2, rid).Run();
  } catch (const EqdStorageError& e) {
    if (e.SqliteCode == SQLITE_CONSTRAINT) throw EqdStorageError(qdErrKeyViolation, "key violation");
    throw;
  }
}

void TqdRecordChanges::RemoveKey(const Index& index, const std::vector<uint8_t>& key, int64_t rid) {
  nav_.Store().Db().Prepare("DELETE FROM " + index.KeyTable + " WHERE key = ? AND rid = ?").BindBlob(1, key).Bind(2, rid).Run();
}

TqdFoundRecord TqdRecordChanges::Existing(int64_t rid) {
  auto found = nav_.ByRid(rid);
  if (!found) throw EqdStorageError(qdErrRecDeleted, "the record is gone");
  return *found;
}

TqdFoundRecord TqdRecordChanges::Insert(std::span<const uint8_t> record) {
  CheckSize(record);
  TqdSqliteDb& db = nav_.Store().Db();
  TqdTransaction txn(db);
  db.Prepare("INSERT INTO " + TqdTableStore::RecordTableName(nav_.TableId()) + "(deleted, rec) VALUES(0, ?)")
      .BindBlob(1, record)
      .Run();
  const int64_t rid = db.LastInsertRowId();
  for (const Index& index : indexes_) AddKey(index, KeyOf(index, record.data()), rid);
  TqdFoundRecord found = Existing(rid);
  txn.Commit();
  return found;
}

TqdFoundRecord TqdRecordChanges::Modify(int64_t rid, std::span<const uint8_t> record) {
  CheckSize(record);
  TqdSqliteDb& db = nav_.Store().Db();
  TqdTransaction txn(db);
  const TqdFoundRecord old = Existing(rid);
  for (const Index& index : indexes_) {
    std::vector<uint8_t> before = KeyOf(index, old.Record.data()), after = KeyOf(index, record.data());
    if (before == after) continue;
    RemoveKey(index, before, rid);
    AddKey(index, after, rid);
  }
  db.Prepare("UPDATE " + TqdTableStore::RecordTableName(nav_.TableId()) + " SET rec = ? WHERE rid = ?")
      .BindBlob(1, record)
      .Bind(2, rid)
      .Run();
  TqdFoundRecord found = Existing(rid);
  txn.Commit();
  return found;
}

TqdFoundRecord TqdRecordChanges::Delete(int64_t rid) {
  TqdSqliteDb& db = nav_.Store().Db();
  TqdTransaction txn(db);
  TqdFoundRecord old = Existing(rid);
  for (const Index& index : indexes_) RemoveKey(index, KeyOf(index, old.Record.data()), rid);
  db.Prepare("UPDATE " + TqdTableStore::RecordTableName(nav_.TableId()) + " SET deleted = 1 WHERE rid = ?")
      .Bind(1, rid)
      .Run();
  txn.Commit();
  return old;
}

}  // namespace qd
