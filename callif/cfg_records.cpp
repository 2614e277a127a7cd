// The session's in-memory configuration records: TttBaseCfgRecord and the
// session operations that add, find, change and drop them. Nothing here is
// ever saved or loaded.
// Thread rules: one thread at a time (the user-interface thread).
#include <cstring>
#include <limits>
#include <new>

#include "base/endian.h"
#include "base/shortstr.h"
#include "callif/QDTTSess.h"
#include "dict/bde_desc.h"

namespace qd {

TttBaseCfgRecord::TttBaseCfgRecord(TttCollection* collection, const char* path, int32_t fieldCount,
                                   const uint8_t* descs, const uint8_t* values)
    : TttCollectionItem(nullptr, collection), path_(path == nullptr ? "" : path) {
  SetContents(fieldCount, descs, values);
}

void TttBaseCfgRecord::SetContents(int32_t fieldCount, const uint8_t* descs,
                                   const uint8_t* values) {
  // Built aside, so that a record that cannot be had leaves the old one.
  std::vector<uint8_t> newDescs;
  std::vector<uint8_t> newValues;
  if (fieldCount >= 1) {
    newDescs.assign(size_t(fieldCount) * kFieldDescSize, 0);
    if (descs != nullptr) std::memcpy(newDescs.data(), descs, newDescs.size());
    // The values block holds what the descriptors' length words add up to.
    size_t valuesSize = 0;
    for (size_t at = 0; at < newDescs.size(); at += kFieldDescSize) {
      valuesSize += GetUInt16LE(&newDescs[at + kFldLengthOffset]);
    }
    newValues.assign(valuesSize, 0);
    if (values != nullptr && valuesSize > 0) std::memcpy(newValues.data(), values, valuesSize);
  }
  fieldCount_ = fieldCount >= 1 ? fieldCount : 0;
  descs_.swap(newDescs);
  values_.swap(newValues);
}

TttBaseCfgRecord* TttBaseSession::FindCfgRecord(const char* path) {
  if (path == nullptr) return nullptr;
  for (int i = 0; i < cfgRecords_.Count(); ++i) {
    auto* record = dynamic_cast<TttBaseCfgRecord*>(cfgRecords_.Item(i));
    if (record != nullptr &&
        CompareShortTextNoCase(record->Path(), path, std::numeric_limits<size_t>::max()) == 0) {
      return record;
    }
  }
  return nullptr;
}

// Slot 7: a path that has a record keeps it as it is.
TqdResult TttBaseSession::CfgAddRecord(void*, const char* path, int32_t fieldCount,
                                       const uint8_t* descs, const uint8_t* values) {
  if (path == nullptr) return SetResult(qdErrInvalidParam);
  if (FindCfgRecord(path) != nullptr) return SetResult(qdOK);
  try {
    new TttBaseCfgRecord(&cfgRecords_, path, fieldCount, descs, values);
  } catch (const std::bad_alloc&) {
    return SetResult(qdErrNoMemory);
  }
  return SetResult(qdOK);
}

// Slot 9.
TqdResult TttBaseSession::CfgDropRecord(void*, const char* path) {
  if (path == nullptr) return SetResult(qdErrInvalidParam);
  TttBaseCfgRecord* record = FindCfgRecord(path);
  if (record == nullptr) return SetResult(qdErrRecNotFound);
  delete record;
  return SetResult(qdOK);
}

// Slot 12: copies into each buffer that is given.
TqdResult TttBaseSession::CfgGetRecord(void*, const char* path, int32_t& fieldCount, uint8_t* descs,
                                       uint8_t* values) {
  fieldCount = 0;
  if (path == nullptr) return SetResult(qdErrInvalidParam);
  TttBaseCfgRecord* record = FindCfgRecord(path);
  if (record == nullptr) return SetResult(qdErrRecNotFound);
  fieldCount = record->FieldCount();
  if (fieldCount != 0) {
    if (descs != nullptr) std::memcpy(descs, record->Descs().data(), record->Descs().size());
    if (values != nullptr && !record->Values().empty()) {
      std::memcpy(values, record->Values().data(), record->Values().size());
    }
  }
  return SetResult(qdOK);
}

// Slot 14.
TqdResult TttBaseSession::CfgModifyRecord(void*, const char* path, int32_t fieldCount,
                                          const uint8_t* descs, const uint8_t* values) {
  if (path == nullptr) return SetResult(qdErrInvalidParam);
  TttBaseCfgRecord* record = FindCfgRecord(path);
  if (record == nullptr) return SetResult(qdErrRecNotFound);
  try {
    record->SetContents(fieldCount, descs, values);
  } catch (const std::bad_alloc&) {
    return SetResult(qdErrNoMemory);
  }
  return SetResult(qdOK);
}

}  // namespace qd
