#include "server/blob_store.h"

#include <set>

#include "base/endian.h"
#include "dict/field_kinds.h"
#include "server/server_results.h"

namespace qd {
namespace {

constexpr const char* kBlobSchema =
    "CREATE TABLE IF NOT EXISTS qd_blobs(num INTEGER PRIMARY KEY AUTOINCREMENT, table_id INTEGER NOT NULL,"
    " data BLOB NOT NULL)";

}  // namespace

bool TqdBlobStore::Exists() const {
  return store_.Db().QueryInt("SELECT COUNT(*) FROM sqlite_master WHERE name = 'qd_blobs'") != 0;
}

void TqdBlobStore::Make() {
  if (!Exists()) store_.Db().Exec(kBlobSchema);
}

int32_t TqdBlobStore::Create() {
  Make();
  TqdSqliteDb& db = store_.Db();
  db.Prepare("INSERT INTO qd_blobs(table_id, data) VALUES(?, x'')").Bind(1, tableId_).Run();
  const int64_t number = db.LastInsertRowId();
  if (number > INT32_MAX) throw EqdStorageError(qdErrInvalidBlobHandle, "BLOB numbers are used up");
  return static_cast<int32_t>(number);
}

int64_t TqdBlobStore::Size(int32_t blob) {
  if (blob <= 0 || !Exists()) throw EqdStorageError(qdErrInvalidBlobHandle, "no such BLOB");
  auto size = store_.Db().Prepare("SELECT length(data) FROM qd_blobs WHERE num = ? AND table_id = ?");
  size.Bind(1, blob).Bind(2, tableId_);
  if (!size.Step()) throw EqdStorageError(qdErrInvalidBlobHandle, "no such BLOB");
  return size.Int(0);
}

std::vector<uint8_t> TqdBlobStore::Read(int32_t blob, int64_t offset, int64_t length) {
  const int64_t size = Size(blob);
  if (offset < 0 || offset > size) throw EqdStorageError(qdErrBlobOffset, "offset past the BLOB's end");
  const int64_t count = std::max<int64_t>(0, std::min(length, size - offset));
  if (count == 0) return {};
  auto read = store_.Db().Prepare("SELECT substr(data, ?, ?) FROM qd_blobs WHERE num = ?");
  read.Bind(1, offset + 1).Bind(2, count).Bind(3, blob);
  if (!read.Step()) return {};
  auto bytes = read.Blob(0);
  return {bytes.begin(), bytes.end()};
}

// Written whole: a BLOB is read, changed and stored again.
void TqdBlobStore::Write(int32_t blob, int64_t offset, std::span<const uint8_t> bytes) {
  const int64_t size = Size(blob);
  if (offset < 0 || offset > size) throw EqdStorageError(qdErrBlobOffset, "offset past the BLOB's end");
  const int64_t end = offset + static_cast<int64_t>(bytes.size());
  if (end > kMaxBlobBytes) throw EqdStorageError(qdErrInvalidParam, "BLOB too large");
  std::vector<uint8_t> data = Read(blob, 0, size);
  if (static_cast<int64_t>(data.size()) < end) data.resize(static_cast<size_t>(end));
  std::copy(bytes.begin(), bytes.end(), data.begin() + offset);
  store_.Db().Prepare("UPDATE qd_blobs SET data = ? WHERE num = ?").BindBlob(1, data).Bind(2, blob).Run();
}

void TqdBlobStore::Truncate(int32_t blob, int64_t length) {
  const int64_t size = Size(blob);
  if (length < 0 || length > size) throw EqdStorageError(qdErrBlobOffset, "length past the BLOB's end");
  std::vector<uint8_t> data = Read(blob, 0, length);
  store_.Db().Prepare("UPDATE qd_blobs SET data = ? WHERE num = ?").BindBlob(1, data).Bind(2, blob).Run();
}

void TqdBlobStore::RemoveUnnamed(const TqdDataDictionary& dict) {
  if (!Exists()) return;
  std::vector<const TqdDictField*> blobFields;
  for (int32_t n = 0; n < dict.FieldCount(); ++n)
    if (IsBlobKind(dict.FieldDesc(n).FieldType)) blobFields.push_back(&dict.FieldDesc(n));
  std::set<int64_t> named;
  auto records = store_.Db().Prepare("SELECT rec FROM " + TqdTableStore::RecordTableName(tableId_) +
                                     " WHERE deleted = 0");
  while (records.Step()) {
    auto rec = records.Blob(0);
    if (rec.size() < static_cast<size_t>(dict.RecordSize())) continue;
    for (const TqdDictField* field : blobFields)
      if (!dict.FieldIsNull(field->Number, rec.data())) named.insert(GetInt32LE(rec.data() + field->Offset));
  }
  records.Reset();
  auto all = store_.Db().Prepare("SELECT num FROM qd_blobs WHERE table_id = ?");
  all.Bind(1, tableId_);
  std::vector<int64_t> unnamed;
  while (all.Step())
    if (named.count(all.Int(0)) == 0) unnamed.push_back(all.Int(0));
  all.Reset();
  auto remove = store_.Db().Prepare("DELETE FROM qd_blobs WHERE num = ?");
  for (int64_t number : unnamed) remove.Bind(1, number).Run();
}

}  // namespace qd
