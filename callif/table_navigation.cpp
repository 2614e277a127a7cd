// TttBaseTable: what the engine-neutral cursor builds from its primitives:
// reading records past hidden and filtered ones, relative moves, counting
// by scanning, block reads and writes, field descriptors and field access.
// Thread rules: one thread at a time (the user-interface thread).
#include <cstring>

#include "base/endian.h"
#include "callif/QDTTTabl.h"

namespace qd {

namespace {

// The number of indexes in the cursor-properties record.
constexpr size_t kCursorPropsIndexesOffset = 303;

}  // namespace

TqdResult TttBaseTable::ReadAccepted(bool forward, int32_t lock, uint8_t* record,
                                     uint8_t* properties) {
  return WithRecordBuffer(record, [&](uint8_t* buffer) {
    SetResult(qdOK);
    auto step = [&] {
      return forward ? ReadNext(dbiNOLOCK, buffer, properties)
                     : ReadPrior(dbiNOLOCK, buffer, properties);
    };
    TqdResult result = step();
    while (result == qdOK) {
      if (RecordVisible(buffer) && PassesFilters(buffer)) {
        // The record was read without a lock: it is read again under the
        // lock, so that the caller holds what the lock protects.
        if (lock != dbiNOLOCK) result = ReadCurrent(lock, buffer, properties);
        break;
      }
      result = step();
    }
    return SetResult(result);
  });
}

// Slot 62.
TqdResult TttBaseTable::GetNextRecord(int32_t lock, uint8_t* record, uint8_t* properties) {
  return ReadAccepted(true, lock, record, properties);
}

// Slot 63.
TqdResult TttBaseTable::GetPriorRecord(int32_t lock, uint8_t* record, uint8_t* properties) {
  return ReadAccepted(false, lock, record, properties);
}

// Slot 64: a record that is hidden or filtered out is not there, and keeps
// no lock.
TqdResult TttBaseTable::GetRecord(int32_t lock, uint8_t* record, uint8_t* properties) {
  return WithRecordBuffer(record, [&](uint8_t* buffer) {
    TqdResult result = ReadCurrent(lock, buffer, properties);
    if (result == qdOK && !(RecordVisible(buffer) && PassesFilters(buffer))) {
      if (lock != dbiNOLOCK) RelRecordLock(false);
      result = qdErrRecNotFound;
    }
    return SetResult(result);
  });
}

// Slot 67: only the last move takes the lock.
TqdResult TttBaseTable::GetRelativeRecord(int32_t offset, int32_t lock, uint8_t* record,
                                          uint8_t* properties) {
  if (offset == 0) return GetRecord(lock, record, properties);
  // 64 bits, so that the most negative offset has a magnitude.
  int64_t moves = offset < 0 ? -int64_t{offset} : int64_t{offset};
  TqdResult result = qdOK;
  for (int64_t move = 1; move <= moves && result == qdOK; ++move) {
    int32_t moveLock = move == moves ? lock : dbiNOLOCK;
    result = offset > 0 ? GetNextRecord(moveLock, record, properties)
                        : GetPriorRecord(moveLock, record, properties);
  }
  return SetResult(result);
}

// Counts from the beginning and comes back to where the cursor stood. A
// step that fails is the answer (with a count of 0), not a count of what
// happened to be read; the way back is tried all the same.
TqdResult TttBaseTable::CountFromBegin(uint32_t& count) {
  std::vector<uint8_t> bookmark(static_cast<size_t>(std::max<int32_t>(BookmarkSize(), 1)), 0);
  TqdResult result = GetBookMark(bookmark.data());
  bool marked = result == qdOK;
  if (result == qdOK) result = SetToBegin();
  if (result == qdOK) {
    result = WithRecordBuffer(nullptr, [&](uint8_t* buffer) {
      TqdResult read;
      while ((read = GetNextRecord(dbiNOLOCK, buffer, nullptr)) == qdOK) ++count;
      return read == qdErrEOF ? qdOK : read;
    });
  }
  if (marked) {
    TqdResult back = SetToBookmark(bookmark.data());
    if (result == qdOK) result = back;
  }
  if (result != qdOK) count = 0;
  return result;
}

// Slot 65.
TqdResult TttBaseTable::GetRecordCount(uint32_t& count) {
  count = 0;
  return SetResult(CountFromBegin(count));
}

// Slot 52.
TqdResult TttBaseTable::GetExactRecordCount(uint32_t& count) {
  return SetResult(GetRecordCount(count));
}

template <class Step>
TqdResult TttBaseTable::ForEachBlockRecord(uint32_t& count, uint8_t* buffer, Step step) {
  if (buffer == nullptr) return SetResult(qdErrInvalidHandle);
  if (count == 0) return SetResult(qdOK);
  uint32_t asked = count;
  count = 0;
  // Offsets in 64 bits: a block of large records passes 64 KiB and more.
  size_t length = static_cast<size_t>(std::max<int32_t>(RecordLength(), 0));
  TqdResult result = qdOK;
  while (count < asked && result == qdOK) {
    result = step(buffer + size_t{count} * length);
    if (result == qdOK) ++count;
  }
  return SetResult(result);
}

// Slot 86.
TqdResult TttBaseTable::ReadBlock(uint32_t& count, uint8_t* buffer) {
  return ForEachBlockRecord(count, buffer,
                            [&](uint8_t* slot) { return GetNextRecord(dbiNOLOCK, slot, nullptr); });
}

// Slot 107.
TqdResult TttBaseTable::WriteBlock(uint32_t& count, uint8_t* buffer) {
  return ForEachBlockRecord(count, buffer,
                            [&](uint8_t* slot) { return InsertRecord(dbiNOLOCK, slot); });
}

TttFieldDescItem* TttBaseTable::FieldDescOf(int32_t field) {
  if (fieldDescs_.Count() == 0) BuildFieldDescs();
  if (field < 1 || field > fieldDescs_.Count()) return nullptr;
  return dynamic_cast<TttFieldDescItem*>(fieldDescs_.Item(field - 1));
}

// Slot 53.
TqdResult TttBaseTable::GetField(int32_t field, const uint8_t* record, void* value, bool& blank) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  if (FieldDescOf(field) == nullptr) return SetResult(qdErrOutOfRange);
  return SetResult(TranslateGet(field, record, blank, value));
}

// Slot 85.
TqdResult TttBaseTable::PutField(int32_t field, uint8_t* record, const void* value) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  if (FieldDescOf(field) == nullptr) return SetResult(qdErrOutOfRange);
  return SetResult(TranslatePut(field, record, value));
}

// Slot 54: the logical descriptors when values are translated.
TqdResult TttBaseTable::GetFieldDescs(uint8_t* buffer) {
  if (fieldDescs_.Count() == 0) BuildFieldDescs();
  if (buffer == nullptr) return SetResult(qdErrInvalidParam);
  for (int i = 0; i < fieldDescs_.Count(); ++i) {
    uint8_t* slot = buffer + size_t(i) * kFieldDescSize;
    auto* desc = dynamic_cast<TttFieldDescItem*>(fieldDescs_.Item(i));
    if (desc == nullptr) {
      std::memset(slot, 0, kFieldDescSize);
      continue;
    }
    const TqdFieldDescBytes& bytes = translationMode_ == xltFIELD ? desc->Logical : desc->Physical;
    std::memcpy(slot, bytes.data(), kFieldDescSize);
  }
  return SetResult(qdOK);
}

// Slot 57: one description per index, in index-number order.
TqdResult TttBaseTable::GetIndexDescs(uint8_t* buffer) {
  if (buffer == nullptr) return SetResult(qdErrInvalidParam);
  std::array<uint8_t, kCursorPropsSize> props{};
  TqdResult result = GetCursorProps(props.data());
  uint16_t indexes = GetUInt16LE(&props[kCursorPropsIndexesOffset]);
  for (uint16_t number = 1; number <= indexes && result == qdOK; ++number) {
    result = GetIndexDesc(number, buffer + size_t{number - 1u} * kIndexDescSize);
  }
  return SetResult(result);
}

}  // namespace qd
