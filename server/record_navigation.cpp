#include "server/record_navigation.h"

#include <algorithm>
#include <cstring>

#include "server/server_results.h"

namespace qd {

std::optional<std::vector<uint8_t>> KeyAfterPrefix(std::vector<uint8_t> prefix) {
  while (!prefix.empty() && prefix.back() == 0xFF) prefix.pop_back();
  if (prefix.empty()) return std::nullopt;
  ++prefix.back();
  return prefix;
}

namespace {

bool IsText(uint8_t type) {
  return type == fkShortString || type == fkShortStringAlt || type == fkNullString || type == fkNullStringAlt ||
         type == fkWideString || type == fkChar || type == fkWideChar;
}

}  // namespace

TqdRecordNavigator::TqdRecordNavigator(TqdTableStore& store, const std::string& table, int32_t indexNo)
    : store_(store), table_(table), indexNo_(indexNo) {
  auto id = store.FindTable(table);
  if (!id) throw EqdStorageError(qdErrNoSuchTable, "no table " + table);
  tableId_ = *id;
  dict_ = store.LoadDictionary(tableId_);
  if (indexNo < 0 || indexNo >= dict_->IndexCount())
    throw EqdStorageError(qdErrNoSuchIndex, "no index " + std::to_string(indexNo));
  encoder_ = std::make_unique<TqdKeyEncoder>(*dict_, indexNo);
  recordTable_ = TqdTableStore::RecordTableName(tableId_);
  if (indexNo > 0) {
    auto keys = store.ExistingKeyTable(tableId_, indexNo);
    if (!keys) throw EqdStorageError(qdErrNoSuchIndex, "no keys for index " + std::to_string(indexNo));
    keyTable_ = *keys;
  }
}

std::vector<uint8_t> TqdRecordNavigator::KeyOf(const uint8_t* record) const {
  std::vector<uint8_t> key(encoder_->Width());
  if (!key.empty()) encoder_->Encode(record, key.data());
  return key;
}

std::optional<TqdFoundRecord> TqdRecordNavigator::RecordFound(int64_t rid, std::span<const uint8_t> key,
                                                               std::span<const uint8_t> rec) {
  if (rec.size() < static_cast<size_t>(dict_->RecordSize()))
    throw EqdStorageError(qdErrServerRead, "a stored record is shorter than the table's record");
  TqdFoundRecord found;
  found.Rid = rid;
  found.Record.assign(rec.begin(), rec.begin() + dict_->RecordSize());
  found.Key.assign(key.begin(), key.end());
  return found;
}

std::optional<TqdFoundRecord> TqdRecordNavigator::Step(const TqdCursorPosition& from, bool forward,
                                                       const TqdKeyRange& range) {
  using P = TqdCursorPosition;
  if ((forward && from.Where == P::AfterLast) || (!forward && from.Where == P::BeforeFirst)) return std::nullopt;
  const bool fromStart = from.Where == P::BeforeFirst || from.Where == P::AfterLast;
  const char* after = from.Where == P::Before ? ">=" : ">";
  const char* relation = forward ? after : "<";
  std::string sql;
  if (keyTable_.empty()) {
    sql = "SELECT rid, x'', rec FROM " + recordTable_ + " WHERE deleted = 0";
    if (!fromStart) sql += std::string(" AND rid ") + relation + " ?2";
    sql += forward ? " ORDER BY rid LIMIT 1" : " ORDER BY rid DESC LIMIT 1";
  } else {
    sql = "SELECT k.rid, k.key, r.rec FROM " + keyTable_ + " AS k JOIN " + recordTable_ +
          " AS r ON r.rid = k.rid WHERE r.deleted = 0";
    if (!fromStart) sql += std::string(" AND (k.key, k.rid) ") + relation + " (?1, ?2)";
    if (range.Low) sql += " AND k.key >= ?3";
    if (range.High) sql += " AND k.key < ?4";
    sql += forward ? " ORDER BY k.key, k.rid LIMIT 1" : " ORDER BY k.key DESC, k.rid DESC LIMIT 1";
  }
  auto step = store_.Db().Prepare(sql);
  if (!fromStart) {
    if (!keyTable_.empty()) step.BindBlob(1, from.Key);
    step.Bind(2, from.Rid);
  }
  if (!keyTable_.empty() && range.Low) step.BindBlob(3, *range.Low);
  if (!keyTable_.empty() && range.High) step.BindBlob(4, *range.High);
  if (!step.Step()) return std::nullopt;
  return RecordFound(step.Int(0), step.Blob(1), step.Blob(2));
}

std::optional<TqdFoundRecord> TqdRecordNavigator::At(const TqdCursorPosition& position) {
  if (position.Where != TqdCursorPosition::On) return std::nullopt;
  auto found = ByRid(position.Rid);
  // The record must still have the key the cursor knows it by.
  if (found && found->Key != position.Key) return std::nullopt;
  return found;
}

std::optional<TqdFoundRecord> TqdRecordNavigator::ByRid(int64_t rid) {
  auto read = store_.Db().Prepare("SELECT rec FROM " + recordTable_ + " WHERE rid = ?1 AND deleted = 0");
  read.Bind(1, rid);
  if (!read.Step()) return std::nullopt;
  auto rec = read.Blob(0);
  if (rec.size() < static_cast<size_t>(dict_->RecordSize()))
    throw EqdStorageError(qdErrServerRead, "a stored record is shorter than the table's record");
  std::vector<uint8_t> key = KeyOf(rec.data());
  return RecordFound(rid, key, rec);
}

int64_t TqdRecordNavigator::Count(const TqdKeyRange& range) {
  if (keyTable_.empty()) return store_.Db().QueryInt("SELECT COUNT(*) FROM " + recordTable_ + " WHERE deleted = 0");
  std::string sql = "SELECT COUNT(*) FROM " + keyTable_ + " WHERE 1";
  if (range.Low) sql += " AND key >= ?1";
  if (range.High) sql += " AND key < ?2";
  auto count = store_.Db().Prepare(sql);
  if (range.Low) count.BindBlob(1, *range.Low);
  if (range.High) count.BindBlob(2, *range.High);
  return count.Step() ? count.Int(0) : 0;
}

// A key itself is turned back into a record (its fields' bytes in key
// order, then one null bit per key field), so that one encoder makes every
// key the server compares.
std::vector<uint8_t> TqdRecordNavigator::SearchPrefix(const TqdClientKey& key) const {
  const TqdDictIndex& index = dict_->IndexDesc(indexNo_);
  const int32_t fields = index.IsUserDefined() ? 0 : index.FieldCount;
  std::vector<uint8_t> record(static_cast<size_t>(dict_->RecordSize()), 0);
  if (key.KeyItself) {
    const size_t keyLength = static_cast<size_t>(index.KeyLength);
    if (key.Bytes.size() < keyLength) throw EqdStorageError(qdErrInvalidParam, "key shorter than the index's key");
    dict_->ClearRecord(record.data());
    const uint8_t* nulls = key.Bytes.data() + keyLength - NullFlagBytes(fields);
    size_t at = 0;
    for (int32_t k = 0; k < fields; ++k) {
      const int32_t n = index.FieldNumbers[static_cast<size_t>(k)];
      const bool isNull = (nulls[k / 8] >> (k % 8)) & 1;
      dict_->WriteFieldValue(n, record.data(), isNull ? nullptr : key.Bytes.data() + at);
      at += static_cast<size_t>(dict_->FieldDesc(n).Length);
    }
  } else {
    if (key.Bytes.size() < record.size()) throw EqdStorageError(qdErrInvalidParam, "record shorter than the table's");
    std::memcpy(record.data(), key.Bytes.data(), record.size());
  }
  std::vector<uint8_t> encoded = KeyOf(record.data());
  const int32_t used = key.FieldCount <= 0 || key.FieldCount > fields ? fields : key.FieldCount;
  size_t length = 0;
  for (int32_t k = 0; k < used; ++k) {
    const TqdDictField& field = dict_->FieldDesc(index.FieldNumbers[static_cast<size_t>(k)]);
    const size_t width = KeyFieldWidth(field);
    const bool last = k == used - 1;
    if (last && key.PartialLength > 0 && IsText(field.FieldType) && encoded[length] != 0) {
      const size_t unit = field.FieldType == fkWideString || field.FieldType == fkWideChar ? 2 : 1;
      length += 1 + std::min(width - 1, unit * static_cast<size_t>(key.PartialLength));
    } else {
      length += width;
    }
  }
  encoded.resize(length);
  return encoded;
}

std::vector<uint8_t> TqdRecordNavigator::CompositeKeyOf(const uint8_t* record) const {
  std::vector<uint8_t> key(static_cast<size_t>(dict_->IndexKeyLength(indexNo_)));
  dict_->BuildCompositeKey(indexNo_, record, key.data());
  return key;
}

}  // namespace qd
