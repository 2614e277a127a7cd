// Reading a table's live records in the order of one of its indexes, for
// the server's cursors: a step forward or back from a position, the record
// a position is on, counting inside a range, and the keys a client's
// search names. Index n (1 or more) reads through its key table joined to
// the record table; index 0 reads the record table in record number order.
// Thread rules: one request worker at a time, on its own store.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dict/QDLLDict.h"
#include "server/cursor_position.h"
#include "server/key_encoding.h"
#include "server/table_store.h"

namespace qd {

struct TqdFoundRecord {
  std::vector<uint8_t> Key;
  int64_t Rid = 0;
  std::vector<uint8_t> Record;
  TqdCursorPosition Position() const { return TqdCursorPosition::OnRecord(Key, Rid); }
};

// How a client names a key: the key itself (the dictionary's composite key
// of the index) or a record holding it; the first `fieldCount` key fields
// (0, or more than the index has, for all), the last of them cut to its
// first `partialLength` characters when it is a text and that is above 0.
struct TqdClientKey {
  bool KeyItself = true;
  int32_t FieldCount = 0;
  int32_t PartialLength = 0;
  std::span<const uint8_t> Bytes;
};

class TqdRecordNavigator {
 public:
  // Throws EqdStorageError: qdErrNoSuchTable for a table that is gone,
  // qdErrNoSuchIndex for an index it lacks.
  TqdRecordNavigator(TqdTableStore& store, const std::string& table, int32_t indexNo);

  // The next (or previous) live record from `from` inside `range`.
  std::optional<TqdFoundRecord> Step(const TqdCursorPosition& from, bool forward, const TqdKeyRange& range);
  // The record an On position stands on, while it is still there.
  std::optional<TqdFoundRecord> At(const TqdCursorPosition& position);
  // The live record with this number, with its key in this index.
  std::optional<TqdFoundRecord> ByRid(int64_t rid);
  int64_t Count(const TqdKeyRange& range);

  // The key prefix a client's key names; qdErrInvalidParam (thrown) when
  // its bytes are fewer than it must hold.
  std::vector<uint8_t> SearchPrefix(const TqdClientKey& key) const;
  // The dictionary's composite key of a record, as the client builds it.
  std::vector<uint8_t> CompositeKeyOf(const uint8_t* record) const;

  const TqdDataDictionary& Dictionary() const { return *dict_; }
  TqdTableStore& Store() const { return store_; }
  const std::string& Table() const { return table_; }
  int64_t TableId() const { return tableId_; }
  int32_t IndexNo() const { return indexNo_; }

 private:
  std::vector<uint8_t> KeyOf(const uint8_t* record) const;
  std::optional<TqdFoundRecord> RecordFound(int64_t rid, std::span<const uint8_t> key, std::span<const uint8_t> rec);

  TqdTableStore& store_;
  std::string table_;
  int64_t tableId_;
  std::unique_ptr<TqdDataDictionary> dict_;
  int32_t indexNo_;
  std::unique_ptr<TqdKeyEncoder> encoder_;
  std::string recordTable_;
  std::string keyTable_;  // empty for index 0
};

}  // namespace qd
