#include "server/index_build.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "server/key_encoding.h"
#include "server/server_results.h"

namespace qd {
namespace {

// Counters are published every this many rows: often enough for an exact
// percentage, rarely enough to cost nothing.
constexpr int64_t kPublishEvery = 256;

void PutRowIdBE(uint8_t* out, int64_t rid) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(static_cast<uint64_t>(rid) >> (56 - 8 * i));
}

int64_t GetRowIdBE(const uint8_t* in) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | in[i];
  return static_cast<int64_t>(v);
}

// One run of keys: fixed-size entries of key bytes then the row id
// big-endian, so that memcmp orders by key, then by record.
class KeyRun {
 public:
  KeyRun(size_t keyWidth, bool unique) : keyWidth_(keyWidth), entry_(keyWidth + 8), unique_(unique) {}

  uint8_t* Add() {
    bytes_.resize(bytes_.size() + entry_);
    return bytes_.data() + bytes_.size() - entry_;
  }
  bool Full() const { return bytes_.size() + entry_ > kKeyRunBytes; }
  bool Empty() const { return bytes_.empty(); }

  void Flush(TqdStatement& insert, TqdTaskProgress& progress) {
    size_t count = bytes_.size() / entry_;
    // Sorting by the first sixteen key bytes first keeps most comparisons
    // inside the order array instead of the scattered entries.
    struct Slot {
      uint64_t Prefix;
      uint64_t Next;
      uint32_t Index;
    };
    std::vector<Slot> slots(count);
    const uint8_t* base = bytes_.data();
    const size_t entry = entry_;
    for (size_t i = 0; i < count; ++i) {
      uint64_t prefix = 0, next = 0;
      const uint8_t* e = base + i * entry;
      for (size_t b = 0; b < 8; ++b) prefix = (prefix << 8) | (b < entry ? e[b] : 0);
      for (size_t b = 8; b < 16; ++b) next = (next << 8) | (b < entry ? e[b] : 0);
      slots[i] = {prefix, next, static_cast<uint32_t>(i)};
    }
    std::sort(slots.begin(), slots.end(), [base, entry](const Slot& a, const Slot& b) {
      if (a.Prefix != b.Prefix) return a.Prefix < b.Prefix;
      if (a.Next != b.Next) return a.Next < b.Next;
      return std::memcmp(base + a.Index * entry, base + b.Index * entry, entry) < 0;
    });
    std::vector<uint32_t> order(count);
    for (size_t i = 0; i < count; ++i) order[i] = slots[i].Index;
    slots = {};
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* e = base + static_cast<size_t>(order[i]) * entry;
      if (unique_ && i > 0 && std::memcmp(e, base + static_cast<size_t>(order[i - 1]) * entry, keyWidth_) == 0)
        throw EqdStorageError(qdErrKeyViolation, "duplicate key in a unique index");
      insert.BindBlobInPlace(1, {e, keyWidth_}).Bind(2, GetRowIdBE(e + keyWidth_));
      insert.RunOnce();
      if ((i + 1) % kPublishEvery == 0) {
        progress.Done.fetch_add(kPublishEvery, std::memory_order_relaxed);
        progress.CheckCancelled();
      }
    }
    progress.Done.fetch_add(static_cast<int64_t>(count % kPublishEvery), std::memory_order_relaxed);
    bytes_.clear();
  }

 private:
  size_t keyWidth_;
  size_t entry_;
  bool unique_;
  std::vector<uint8_t> bytes_;
};

}  // namespace

int32_t TqdTaskProgress::Percent() const {
  int64_t total = Total.load(std::memory_order_relaxed);
  int64_t done = Done.load(std::memory_order_relaxed);
  if (total <= 0) return 100;
  if (done >= total) return 100;
  return static_cast<int32_t>(done * 100 / total);
}

void TqdTaskProgress::CheckCancelled() const {
  if (Cancelled.load(std::memory_order_relaxed))
    throw EqdStorageError(qdErrServerUnexpected, "the server is shutting down");
}

int64_t CountLiveRecords(TqdTableStore& store, int64_t tableId) {
  auto count = store.Db().Prepare("SELECT COUNT(*) FROM " + TqdTableStore::RecordTableName(tableId) +
                                  " WHERE deleted = 0");
  return count.Step() ? count.Int(0) : 0;
}

void RebuildIndexKeys(TqdTableStore& store, int64_t tableId, const TqdDataDictionary& dict,
                      int32_t indexNo, TqdTaskProgress& progress) {
  const bool unique = !dict.IndexDesc(indexNo).AllowDuplicates && !dict.IndexIsUserDefined(indexNo);
  std::string keyTable = store.KeyTableName(tableId, indexNo, unique, true);
  TqdKeyEncoder encoder(dict, indexNo);
  const size_t recordSize = static_cast<size_t>(dict.RecordSize());
  KeyRun run(encoder.Width(), unique);
  auto insert = store.Db().Prepare("INSERT INTO " + keyTable + "(key, rid) VALUES(?, ?)");
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
    if (++read % kPublishEvery == 0) {
      progress.Done.fetch_add(kPublishEvery, std::memory_order_relaxed);
      progress.CheckCancelled();
    }
    if (run.Full()) run.Flush(insert, progress);
  }
  progress.Done.fetch_add(read % kPublishEvery, std::memory_order_relaxed);
  if (!run.Empty()) run.Flush(insert, progress);
}

}  // namespace qd
