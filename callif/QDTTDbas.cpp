// TttBaseDatabase: the engine-neutral database (see QDTTDbas.h), and the
// zero-terminated text helpers of BDE records.
// Thread rules: one thread at a time (the user-interface thread).
#include "callif/QDTTDbas.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "base/endian.h"
#include "base/shortstr.h"
#include "callif/QDTTTabl.h"
#include "callif/bde_records.h"
#include "dict/bde_desc.h"

namespace qd {

namespace {

constexpr uint16_t kDatabaseVersion = 27;
constexpr size_t kVersionSize = 2;
static_assert(kTranInfoWordOffset + 4 + 2 == kTranInfoSize);

}  // namespace

void PutZeroText(uint8_t* area, size_t capacity, std::string_view text) {
  size_t n = std::min(text.size(), capacity);
  if (n > 0) std::memcpy(area, text.data(), n);
  std::memset(area + n, 0, capacity + 1 - n);
}

std::string GetZeroText(const uint8_t* area, size_t capacity) {
  const auto* chars = reinterpret_cast<const char*>(area);
  const void* zero = std::memchr(chars, 0, capacity);
  size_t n =
      zero == nullptr ? capacity : static_cast<size_t>(static_cast<const char*>(zero) - chars);
  return std::string(chars, n);
}

TttBaseDatabase::TttBaseDatabase(TttCollectionItem* parent, TttCollection* collection,
                                 const uint8_t* desc, int32_t openMode, int32_t shareMode,
                                 const char* password, uint16_t optionCount,
                                 const uint8_t* optionDescs, const uint8_t* optionValues)
    : TttBapiListItem(parent, collection), openMode_(openMode), shareMode_(shareMode) {
  if (desc != nullptr) {
    std::memcpy(desc_.data(), desc, kDatabaseDescSize);
  } else {
    PutZeroText(&desc_[kDbDescTypeOffset], kDbDescTypeCapacity, kStandardDbType);
  }
  SetPassword(password);
  ApplyOptParams(optionCount, optionDescs, optionValues);
}

TttBaseDatabase::~TttBaseDatabase() {
  cursors_.Clear();
}

// Slot 0.
TqdResult TttBaseDatabase::GetProp(uint32_t property, void* buffer, uint16_t& length,
                                   uint16_t bufferSize) {
  auto* out = static_cast<uint8_t*>(buffer);
  switch (property & 0xFFFF) {
    case kDatabasePropVersion:
      if (out == nullptr || bufferSize < kVersionSize) return SetResult(qdErrInvalidParam);
      PutUInt16LE(out, kDatabaseVersion);
      length = kVersionSize;
      return SetResult(qdOK);
    case kDatabasePropDbType: {
      // The terminator is counted in the buffer's size: the type is cut to
      // fit rather than written past the caller's buffer.
      if (out == nullptr || bufferSize == 0) return SetResult(qdErrInvalidParam);
      size_t n = CopyToZeroTerminated(GetDbType(), reinterpret_cast<char*>(out), bufferSize);
      length = static_cast<uint16_t>(n + 1);
      return SetResult(qdOK);
    }
    default:
      return NotSupportedQuietly();
  }
}

// Slot 2.
TqdResult TttBaseDatabase::ValidateProp(uint32_t property, bool forWriting) {
  uint32_t number = property & 0xFFFF;
  bool readOnly = number == kDatabasePropVersion || number == kDatabasePropDbType;
  return SetResult(readOnly && forWriting ? qdErrNotSupported : qdOK);
}

std::string TttBaseDatabase::GetDbType() {
  return GetZeroText(&desc_[kDbDescTypeOffset], kDbDescTypeCapacity);
}
const TqdDatabaseDesc& TttBaseDatabase::GetDbDesc() {
  return desc_;
}
std::string TttBaseDatabase::GetPassword() {
  return GetZeroText(reinterpret_cast<const uint8_t*>(password_.data()), kPasswordCapacity);
}

void TttBaseDatabase::SetDbType(const char* text) {
  PutZeroText(&desc_[kDbDescTypeOffset], kDbDescTypeCapacity, text == nullptr ? "" : text);
}

void TttBaseDatabase::SetPassword(const char* text) {
  PutZeroText(reinterpret_cast<uint8_t*>(password_.data()), kPasswordCapacity,
              text == nullptr ? "" : text);
}

std::string TttBaseDatabase::PhysicalName() const {
  return GetZeroText(&desc_[kDbDescPhysicalNameOffset], kDbDescPhysicalNameCapacity);
}

// Slot 8: an option named USER NAME names the database's user.
TqdResult TttBaseDatabase::ApplyOptParams(uint16_t count, const uint8_t* descs,
                                          const uint8_t* values) {
  if (descs == nullptr || values == nullptr) return SetResult(qdOK);
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* desc = descs + size_t{i} * kFieldDescSize;
    std::string name = GetZeroText(desc + kFldNameOffset, kFldNameSize - 1);
    if (!SameTextNoCase(name, kOptionUserName)) continue;
    size_t valueLength =
        std::min<size_t>(GetUInt16LE(desc + kFldLengthOffset), kDbDescNameCapacity);
    std::string value = GetZeroText(values + GetUInt16LE(desc + kFldOffsetOffset), valueLength);
    PutZeroText(&desc_[kDbDescNameOffset], kDbDescNameCapacity, value);
  }
  return SetResult(qdOK);
}

TqdResult TttBaseDatabase::AcqPersistTableLock() {
  return NotSupported("TttBaseDatabase.AcqPersistTableLock");
}

// Runs `operation` on the given cursor, or else on the named table opened
// for the purpose and freed afterwards.
template <class Operation>
TqdResult TttBaseDatabase::OnTableCursor(TttBaseTable* cursor, const char* tableName,
                                         const char* driverType, int16_t indexId,
                                         Operation operation) {
  if (cursor != nullptr) return SetResult(operation(cursor));
  if (tableName == nullptr || *tableName == '\0') return SetResult(qdErrInvalidParam);
  TttBaseTable* opened = nullptr;
  TqdResult result =
      OpenTable(tableName, driverType, nullptr, nullptr, indexId, dbiREADWRITE, dbiOPENEXCL,
                /*translationMode=*/0, /*uniDirectional=*/true, nullptr, opened);
  std::unique_ptr<TttBaseTable> owned(opened);
  // A cursor the open refused is not used: it has no table behind it.
  if (result == qdOK && owned != nullptr) result = operation(owned.get());
  return SetResult(result);
}

// Slot 10.
TqdResult TttBaseDatabase::AddIndex(TttBaseTable* cursor, const char* tableName, const char*,
                                    const uint8_t* indexDesc, const char* keyIndex) {
  if (indexDesc == nullptr) return SetResult(qdErrInvalidParam);
  int16_t indexId = GetInt16LE(indexDesc + kIdxNumberOffset);
  return OnTableCursor(cursor, tableName, nullptr, indexId,
                       [&](TttBaseTable* on) { return on->AddIndex(indexDesc, keyIndex); });
}

TqdResult TttBaseDatabase::BeginTran(int32_t, void*& transaction) {
  transaction = nullptr;
  return NotSupported("TttBaseDatabase.BeginTran");
}
TqdResult TttBaseDatabase::CopyTable() {
  return NotSupported("TttBaseDatabase.CopyTable");
}
TqdResult TttBaseDatabase::CreateInMemTable() {
  return NotSupported("TttBaseDatabase.CreateInMemTable");
}
TqdResult TttBaseDatabase::CreateTable(bool, const TqdCreateTableDesc&) {
  return NotSupported("TttBaseDatabase.CreateTable");
}
TqdResult TttBaseDatabase::CreateTempTable() {
  return NotSupported("TttBaseDatabase.CreateTempTable");
}

// Slot 16.
TqdResult TttBaseDatabase::DeleteIndex(TttBaseTable* cursor, const char* tableName,
                                       const char* driverType, const char*, const char*, uint16_t) {
  return OnTableCursor(cursor, tableName, driverType, 0,
                       [](TttBaseTable* on) { return on->DeleteIndex(); });
}

TqdResult TttBaseDatabase::DeleteTable(const char*) {
  return NotSupported("TttBaseDatabase.DeleteTable");
}
TqdResult TttBaseDatabase::DoRestructure() {
  return NotSupported("TttBaseDatabase.DoRestructure");
}

// Slot 19.
TqdResult TttBaseDatabase::EmptyTable(TttBaseTable* cursor, const char* tableName,
                                      const char* driverType) {
  return OnTableCursor(cursor, tableName, driverType, 0,
                       [](TttBaseTable* on) { return on->EmptyTable(); });
}

TqdResult TttBaseDatabase::EndTran(void*, int32_t) {
  return NotSupported("TttBaseDatabase.EndTran");
}
TqdResult TttBaseDatabase::FormFullName() {
  return NotSupportedQuietly();
}

// Slot 22. The out cursor names a match only: a failed search hands out
// none, never the last cursor it looked at.
TqdResult TttBaseDatabase::FindOpenTable(const char* name, TttBaseTable*& cursor) {
  cursor = nullptr;
  std::string_view wanted = name == nullptr ? std::string_view() : std::string_view(name);
  wanted = wanted.substr(0, wanted.find(';'));
  if (wanted.empty() || cursors_.Count() == 0) return SetResult(qdErrInvalidParam);
  bool byPath = IsPathName(wanted);
  for (int i = 0; i < cursors_.Count(); ++i) {
    auto* candidate = dynamic_cast<TttBaseTable*>(cursors_.Item(i));
    if (candidate == nullptr) continue;
    std::string_view fullName = candidate->GetFullName();
    if (fullName.empty()) continue;
    if (SameTextNoCase(byPath ? fullName : candidate->GetTableName(), wanted)) {
      cursor = candidate;
      return SetResult(qdOK);
    }
  }
  return SetResult(qdErrNoSuchTable);
}

// Slot 23.
TqdResult TttBaseDatabase::GetDirectory(void*, char* buffer) {
  if (buffer == nullptr) return SetResult(qdErrInvalidParam);
  std::string path = PhysicalName();
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return SetResult(qdOK);
}

TqdResult TttBaseDatabase::GetObjFromName() {
  return SetResult(qdErrNotApplicable);
}

// Slot 25: table names count in their first 31 characters, as the server
// keeps them.
TqdResult TttBaseDatabase::GetTableOpenCount(const char* tableName, uint32_t& count) {
  count = 0;
  if (tableName == nullptr) return SetResult(qdErrInvalidParam);
  for (int i = 0; i < cursors_.Count(); ++i) {
    auto* cursor = dynamic_cast<TttBaseTable*>(cursors_.Item(i));
    if (cursor != nullptr &&
        SameTextNoCase(cursor->GetTableName(), tableName, kTableNameCapacityBDE))
      ++count;
  }
  return SetResult(count > 0 ? qdOK : qdErrNoSuchTable);
}

// Slot 26.
TqdResult TttBaseDatabase::GetTranInfo(void*, uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  std::memset(record, 0, kTranInfoSize);
  PutInt32LE(record + kTranInfoStateOffset, transactionState_);
  PutInt32LE(record + kTranInfoWordOffset, transactionWord_);
  return SetResult(qdOK);
}

TqdResult TttBaseDatabase::OpenFamilyList() {
  return NotSupported("TttBaseDatabase.OpenFamilyList");
}
TqdResult TttBaseDatabase::OpenFieldList(const char*, const char*, bool, TttBaseTable*& cursor) {
  cursor = nullptr;
  return NotSupported("TttBaseDatabase.OpenFieldList");
}

// Slot 29.
TqdResult TttBaseDatabase::OpenFileList(const char* wildcard, TttBaseTable*& cursor) {
  return SetResult(OpenTableList(false, false, wildcard, cursor));
}

TqdResult TttBaseDatabase::OpenFunctionList() {
  return NotSupported("TttBaseDatabase.OpenFunctionList");
}
TqdResult TttBaseDatabase::OpenFunctionArgList() {
  return NotSupported("TttBaseDatabase.OpenFunctionArgList");
}
TqdResult TttBaseDatabase::OpenIndexList(const char*, const char*, TttBaseTable*& cursor) {
  cursor = nullptr;
  return NotSupported("TttBaseDatabase.OpenIndexList");
}
TqdResult TttBaseDatabase::OpenRintList() {
  return NotSupported("TttBaseDatabase.OpenRintList");
}
TqdResult TttBaseDatabase::OpenSecurityList() {
  return NotSupported("TttBaseDatabase.OpenSecurityList");
}
TqdResult TttBaseDatabase::OpenSPList() {
  return NotSupported("TttBaseDatabase.OpenSPList");
}
TqdResult TttBaseDatabase::OpenSPParamList() {
  return NotSupported("TttBaseDatabase.OpenSPParamList");
}
TqdResult TttBaseDatabase::OpenTable(const char*, const char*, const char*, const char*, int16_t,
                                     int32_t, int32_t, int32_t, bool, const uint8_t*,
                                     TttBaseTable*& cursor) {
  cursor = nullptr;
  return NotSupported("TttBaseDatabase.OpenTable");
}
TqdResult TttBaseDatabase::OpenTableList(bool, bool, const char*, TttBaseTable*& cursor) {
  cursor = nullptr;
  return NotSupported("TttBaseDatabase.OpenTableList");
}
TqdResult TttBaseDatabase::OpenVchkList(const char*, const char*, TttBaseTable*& cursor) {
  cursor = nullptr;
  return NotSupported("TttBaseDatabase.OpenVchkList");
}
TqdResult TttBaseDatabase::PackTable() {
  return NotSupported("TttBaseDatabase.PackTable");
}
TqdResult TttBaseDatabase::QAlloc() {
  return NotSupported("TttBaseDatabase.QAlloc");
}
TqdResult TttBaseDatabase::QExecDirect() {
  return NotSupported("TttBaseDatabase.QExecDirect");
}
TqdResult TttBaseDatabase::QExecProcDirect() {
  return NotSupported("TttBaseDatabase.QExecProcDirect");
}
TqdResult TttBaseDatabase::QPrepareExt() {
  return NotSupported("TttBaseDatabase.QPrepareExt");
}
TqdResult TttBaseDatabase::QPrepareProc() {
  return NotSupported("TttBaseDatabase.QPrepareProc");
}
TqdResult TttBaseDatabase::RegenIndex() {
  return NotSupported("TttBaseDatabase.RegenIndex");
}
TqdResult TttBaseDatabase::RelPersistTableLock() {
  return NotSupported("TttBaseDatabase.RelPersistTableLock");
}
TqdResult TttBaseDatabase::RenameTable(const char*, const char*) {
  return NotSupported("TttBaseDatabase.RenameTable");
}

// Slot 49.
TqdResult TttBaseDatabase::SetDirectory(const char* directory) {
  PutZeroText(&desc_[kDbDescPhysicalNameOffset], kDbDescPhysicalNameCapacity,
              directory == nullptr ? "" : directory);
  return SetResult(qdOK);
}

TqdResult TttBaseDatabase::SortTable() {
  return NotSupported("TttBaseDatabase.SortTable");
}

}  // namespace qd
