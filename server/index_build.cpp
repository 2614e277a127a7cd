#include "server/index_build.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "server/key_encoding.h"
#include "server/key_run_source.h"
#include "server/key_sort.h"
#include "server/server_results.h"

namespace qd {
namespace {

void PutRowIdBE(uint8_t* out, int64_t rid) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(static_cast<uint64_t>(rid) >> (56 - 8 * i));
}

// One run of keys: fixed-size entries of key bytes then the row id
// big-endian, so that memcmp orders by key, then by record. The whole run's
// room is taken at once and never zero-filled: pages the run does not reach
// are never touched, and a growing buffer would copy and clear up to the
// run's size several times over.
class KeyRun {
 public:
  KeyRun(size_t keyWidth, bool unique, size_t capacityBytes)
      : keyWidth_(keyWidth),
        entry_(keyWidth + 8),
        unique_(unique),
        capacity_(std::max(capacityBytes, entry_)),
        bytes_(new uint8_t[capacity_]) {}

  uint8_t* Add() {
    uint8_t* entry = bytes_.get() + used_;
    used_ += entry_;
    return entry;
  }
  bool Full() const { return used_ + entry_ > capacity_; }
  bool Empty() const { return used_ == 0; }

  // Sorts the run and appends it to the key table with one statement.
  void Flush(TqdStatement& insert, TqdTaskProgress& progress) {
    std::vector<uint32_t> order = SortedEntryOrder(bytes_.get(), entry_, used_ / entry_);
    if (unique_) RefuseDuplicates(order);
    TqdKeyRunView view{bytes_.get(), entry_, keyWidth_, order.data(), order.size(), &progress};
    try {
      insert.BindPointer(1, &view, kKeyRunPointerType).RunOnce();
    } catch (const EqdStorageError& e) {
      progress.CheckCancelled();
      // A key that an earlier run of a unique index already wrote.
      if (e.SqliteCode == SQLITE_CONSTRAINT)
        throw EqdStorageError(qdErrKeyViolation, "duplicate key in a unique index");
      throw;
    }
    progress.Advance(static_cast<int64_t>(order.size()) % kKeyRunPublishEvery);
    used_ = 0;
  }

 private:
  const uint8_t* Entry(uint32_t index) const { return bytes_.get() + static_cast<size_t>(index) * entry_; }

  void RefuseDuplicates(const std::vector<uint32_t>& order) const {
    for (size_t i = 1; i < order.size(); ++i)
      if (std::memcmp(Entry(order[i]), Entry(order[i - 1]), keyWidth_) == 0)
        throw EqdStorageError(qdErrKeyViolation, "duplicate key in a unique index");
  }

  size_t keyWidth_;
  size_t entry_;
  bool unique_;
  size_t capacity_;
  std::unique_ptr<uint8_t[]> bytes_;
  size_t used_ = 0;
};

}  // namespace

int64_t LiveRecordsAtMost(TqdTableStore& store, int64_t tableId) {
  auto highest = store.Db().Prepare("SELECT MAX(rid) FROM " + TqdTableStore::RecordTableName(tableId));
  return highest.Step() ? std::max<int64_t>(highest.Int(0), 0) : 0;
}

void RebuildIndexKeys(TqdTableStore& store, int64_t tableId, const TqdDataDictionary& dict,
                      int32_t indexNo, int64_t counted, TqdTaskProgress& progress, size_t runBytes) {
  const bool unique = !dict.IndexDesc(indexNo).AllowDuplicates && !dict.IndexIsUserDefined(indexNo);
  std::string keyTable = store.KeyTableName(tableId, indexNo, unique, true);
  TqdKeyEncoder encoder(dict, indexNo);
  const size_t recordSize = static_cast<size_t>(dict.RecordSize());
  KeyRun run(encoder.Width(), unique, runBytes);
  RegisterKeyRunSource(store.Db().Handle());
  auto insert = store.Db().Prepare("INSERT INTO " + keyTable +
                                   "(key, rid) SELECT key, rid FROM qd_key_run(?)");
  auto scan = store.Db().Prepare("SELECT rid, rec FROM " + TqdTableStore::RecordTableName(tableId) +
                                 " WHERE deleted = 0");
  int64_t read = 0;
  while (scan.Step()) {
    auto record = scan.Blob(1);
    if (record.size() < recordSize)
      throw EqdStorageError(qdErrServerRead, "a stored record is shorter than the table's record");
    uint8_t* entry = run.Add();
    encoder.Encode(record.data(), entry);
    PutRowIdBE(entry + encoder.Width(), scan.Int(0));
    if (++read % kKeyRunPublishEvery == 0) {
      progress.Advance(kKeyRunPublishEvery);
      progress.CheckCancelled();
    }
    if (run.Full()) run.Flush(insert, progress);
  }
  if (read != counted) progress.Total.fetch_add(2 * (read - counted));
  progress.Advance(read % kKeyRunPublishEvery);
  if (!run.Empty()) run.Flush(insert, progress);
}

}  // namespace qd
