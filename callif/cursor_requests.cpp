#include "callif/cursor_requests.h"

#include "base/endian.h"

namespace qd {
namespace {

class RecordWriter {
 public:
  explicit RecordWriter(size_t reserve) { bytes_.reserve(reserve); }
  RecordWriter& Int32(int32_t v) {
    bytes_.resize(bytes_.size() + 4);
    PutInt32LE(bytes_.data() + bytes_.size() - 4, v);
    return *this;
  }
  RecordWriter& Byte(uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  RecordWriter& Bytes(TqdBytesIn b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace

TqdRecord<kReadRecordSize> EncodeReadRecord(int32_t cursorId, int32_t recordLength, int32_t bookmarkSize,
                                            uint8_t lock) {
  TqdRecord<kReadRecordSize> r{};
  PutInt32LE(r.data(), cursorId);
  PutInt32LE(r.data() + 4, recordLength);
  PutInt32LE(r.data() + 8, bookmarkSize);
  r[12] = lock;
  return r;
}

std::vector<uint8_t> EncodeBookmarkRequest(int32_t cursorId, int32_t bookmarkSize,
                                           std::initializer_list<TqdBytesIn> bookmarks) {
  RecordWriter w(kBookmarkHeadSize + bookmarks.size() * static_cast<size_t>(bookmarkSize));
  w.Int32(cursorId).Int32(bookmarkSize);
  for (TqdBytesIn b : bookmarks) w.Bytes(b);
  return w.Take();
}

std::vector<uint8_t> EncodeSetToKey(int32_t cursorId, uint8_t condition, bool keyItself, int32_t fieldCount,
                                    int32_t partialLength, TqdBytesIn key) {
  return RecordWriter(kSetToKeyHeadSize + key.size())
      .Int32(cursorId)
      .Byte(condition)
      .Byte(keyItself ? 1 : 0)
      .Int32(fieldCount)
      .Int32(partialLength)
      .Int32(static_cast<int32_t>(key.size()))
      .Bytes(key)
      .Take();
}

std::vector<uint8_t> EncodeRecordForKey(int32_t cursorId, bool keyItself, int32_t fieldCount, int32_t partialLength,
                                        int32_t recordLength, int32_t bookmarkSize, TqdBytesIn key) {
  return RecordWriter(kRecordForKeyHeadSize + key.size())
      .Int32(cursorId)
      .Byte(keyItself ? 1 : 0)
      .Int32(fieldCount)
      .Int32(partialLength)
      .Int32(recordLength)
      .Int32(static_cast<int32_t>(key.size()))
      .Int32(bookmarkSize)
      .Bytes(key)
      .Take();
}

std::vector<uint8_t> EncodeSetRange(int32_t cursorId, bool keyItself, const TqdRangeKey& low,
                                    const TqdRangeKey& high) {
  RecordWriter w(kSetRangeHeadSize + static_cast<size_t>(low.KeyLength + high.KeyLength));
  w.Int32(cursorId).Byte(keyItself ? 1 : 0);
  for (const TqdRangeKey* end : {&low, &high}) {
    w.Int32(end->FieldCount)
        .Int32(end->PartialLength)
        .Int32(end->Key == nullptr ? 0 : end->KeyLength)
        .Byte(end->Inclusive ? 1 : 0);
  }
  for (const TqdRangeKey* end : {&low, &high}) {
    if (end->Key != nullptr) w.Bytes({end->Key, static_cast<size_t>(end->KeyLength)});
  }
  return w.Take();
}

std::vector<uint8_t> EncodeExtractKey(int32_t cursorId, int32_t keyLength, TqdBytesIn record) {
  return RecordWriter(kExtractKeyHeadSize + record.size())
      .Int32(cursorId)
      .Int32(keyLength)
      .Byte(record.empty() ? 1 : 0)
      .Bytes(record)
      .Take();
}

std::vector<uint8_t> EncodeWriteRecord(int32_t cursorId, int32_t bookmarkSize, uint8_t flag, TqdBytesIn record) {
  return RecordWriter(kWriteRecordHeadSize + record.size())
      .Int32(cursorId)
      .Int32(static_cast<int32_t>(record.size()))
      .Int32(bookmarkSize)
      .Byte(flag)
      .Bytes(record)
      .Take();
}

TqdRecord<kTwoWordsSize> EncodeTwoWords(int32_t first, int32_t second) {
  TqdRecord<kTwoWordsSize> r{};
  PutInt32LE(r.data(), first);
  PutInt32LE(r.data() + 4, second);
  return r;
}

TqdRecord<kLockRecordSize> EncodeLockRequest(int32_t cursorId, uint8_t value) {
  TqdRecord<kLockRecordSize> r{};
  PutInt32LE(r.data(), cursorId);
  r[4] = value;
  return r;
}

TqdRecord<kRelTableLockSize> EncodeRelTableLock(int32_t cursorId, bool all, uint8_t lock) {
  TqdRecord<kRelTableLockSize> r{};
  PutInt32LE(r.data(), cursorId);
  r[4] = all ? 1 : 0;
  r[5] = lock;
  return r;
}

std::vector<uint8_t> EncodeBlobRequest(int32_t cursorId, int32_t blob, std::initializer_list<uint32_t> numbers,
                                       TqdBytesIn bytes) {
  RecordWriter w(8 + 4 * numbers.size() + bytes.size());
  w.Int32(cursorId).Int32(blob);
  for (uint32_t n : numbers) w.Int32(static_cast<int32_t>(n));
  return w.Bytes(bytes).Take();
}

}  // namespace qd
