// TttBaseSession: creation, properties, database descriptions and opening,
// the session-level lists and the operations the engine-neutral session
// answers by itself or does not support. The records it fills are in
// session_info.cpp, the configuration records in cfg_records.cpp.
// Thread rules: one thread at a time (the user-interface thread).
#include "callif/QDTTSess.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "base/endian.h"
#include "base/shortstr.h"
#include "callif/QDTTDbas.h"
#include "callif/QDTTTabl.h"
#include "callif/bde_records.h"
#include "platform/user_name.h"

namespace qd {

namespace {

constexpr size_t kPropValueSize = 4;

std::optional<std::string> CopyOf(const char* text) {
  return text == nullptr ? std::nullopt : std::optional<std::string>(text);
}

// Copies at most `length` characters and a terminator.
void CopyCharacters(char* destination, const char* source, uint32_t length) {
  uint32_t n = 0;
  for (; n < length && source[n] != '\0'; ++n) destination[n] = source[n];
  destination[n] = '\0';
}

}  // namespace

TttBaseSession::TttBaseSession(TttCollectionItem* parent, TttCollection* collection,
                               const char* sessionName, const char* directory)
    : TttBapiListItem(parent, collection),
      sessionName_(CopyOf(sessionName)),
      networkDir_(CopyOf(directory)),
      privateDir_(CopyOf(directory)) {}

TttBaseSession::~TttBaseSession() {
  FreeChildren();
  cfgRecords_.Clear();
}

void TttBaseSession::FreeChildren() {
  databases_.Clear();
  sessionCursors_.Clear();
}

// Slot 0: a value goes out only into a buffer that holds it; the current
// directory is cut to the buffer.
TqdResult TttBaseSession::GetProp(uint32_t property, void* buffer, uint16_t& length,
                                  uint16_t bufferSize) {
  auto* out = static_cast<uint8_t*>(buffer);
  switch (property) {
    case kSessionPropCurrentDir: {
      if (out == nullptr || bufferSize == 0) return SetResult(qdErrInvalidParam);
      std::error_code error;
      std::string directory = std::filesystem::current_path(error).string();
      size_t n = CopyToZeroTerminated(error ? std::string() : directory,
                                      reinterpret_cast<char*>(out), bufferSize);
      length = static_cast<uint16_t>(n + 1);
      return SetResult(qdOK);
    }
    case kSessionPropValueA:
    case kSessionPropValueB:
      if (out == nullptr || bufferSize < kPropValueSize) return SetResult(qdErrInvalidParam);
      PutUInt32LE(out, property == kSessionPropValueA ? propValueA_ : propValueB_);
      length = kPropValueSize;
      return SetResult(qdOK);
    default:
      return TttBapiListItem::GetProp(property, buffer, length, bufferSize);
  }
}

// Slot 1: other properties are accepted and forgotten.
TqdResult TttBaseSession::SetProp(uint32_t property, uint32_t value) {
  if (property == kSessionPropValueA) propValueA_ = value;
  if (property == kSessionPropValueB) propValueB_ = value;
  return SetResult(qdOK);
}

TqdResult TttBaseSession::Reserved3() {
  return qdOK;
}

TqdResult TttBaseSession::AddAlias(void*, const char*, const char*, const char*, bool) {
  return NotSupported("TttBaseSession.AddAlias");
}
TqdResult TttBaseSession::AddPassword() {
  return NotSupported("TttBaseSession.AddPassword");
}

// Slots 6 and 46: without a language object there is nothing to translate.
TqdResult TttBaseSession::CopyUntranslated(std::string_view operation, void* languageObject,
                                           char* destination, const char* source, uint32_t length) {
  if (languageObject != nullptr) return NotSupported(operation);
  if (destination == nullptr || source == nullptr) return SetResult(qdErrInvalidParam);
  CopyCharacters(destination, source, length);
  return SetResult(qdOK);
}

TqdResult TttBaseSession::AnsiToNative(void* languageObject, char* destination, const char* source,
                                       uint32_t length) {
  return CopyUntranslated("TttBaseSession.AnsiToNative", languageObject, destination, source,
                          length);
}

TqdResult TttBaseSession::NativeToAnsi(void* languageObject, char* destination, const char* source,
                                       uint32_t length) {
  return CopyUntranslated("TttBaseSession.NativeToAnsi", languageObject, destination, source,
                          length);
}

TqdResult TttBaseSession::CfgBuildPath() {
  return NotSupported("TttBaseSession.CfgBuildPath");
}
TqdResult TttBaseSession::CfgGetHelp() {
  return NotSupported("TttBaseSession.CfgGetHelp");
}
TqdResult TttBaseSession::CfgGetNextNode() {
  return NotSupported("TttBaseSession.CfgGetNextNode");
}
TqdResult TttBaseSession::CfgMerge() {
  return NotSupported("TttBaseSession.CfgMerge");
}
TqdResult TttBaseSession::CfgPosition() {
  return NotSupportedQuietly();
}
TqdResult TttBaseSession::CfgSave() {
  return NotSupportedQuietly();
}
TqdResult TttBaseSession::CfgTranslate() {
  return NotSupported("TttBaseSession.CfgTranslate");
}
TqdResult TttBaseSession::CheckRefresh() {
  return SetResult(qdOK);
}
TqdResult TttBaseSession::CloseConfigFile() {
  return NotSupported("TttBaseSession.CloseConfigFile");
}

// Slot 20: only a database of this session is freed here.
TqdResult TttBaseSession::CloseDatabase(TttBaseDatabase*& database) {
  if (database == nullptr || database->Collection() != &databases_)
    return SetResult(qdErrInvalidHandle);
  delete database;
  database = nullptr;
  return SetResult(qdOK);
}

TqdResult TttBaseSession::CloseFieldXlt() {
  return NotSupported("TttBaseSession.CloseFieldXlt");
}
TqdResult TttBaseSession::DeleteAlias() {
  return NotSupported("TttBaseSession.DeleteAlias");
}
TqdResult TttBaseSession::DropPassword() {
  return NotSupported("TttBaseSession.DropPassword");
}

TqdResult TttBaseSession::GetCallBack(TttBaseTable* cursor) {
  if (cursor == nullptr) return NotSupportedQuietly();
  return SetResult(cursor->GetCallBack());
}

// Slot 26.
TqdResult TttBaseSession::GetDatabaseDesc(const char* name, uint8_t* record) {
  if (name == nullptr || *name == '\0') return SetResult(qdErrUnknownDB);
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  return SetResult(LookupDatabaseDesc(name, record, false));
}

TqdResult TttBaseSession::GetErrorContext() {
  return NotSupported("TttBaseSession.GetErrorContext");
}

// Slot 30: reports the thread's last error and leaves the session's result
// as it was, so that asking does not change the answer.
TqdResult TttBaseSession::GetErrorEntry(int32_t entry, uint32_t& nativeCode, char* message) {
  nativeCode = 0;
  if (message != nullptr) message[0] = '\0';
  return entry == 1 ? ThreadLastError() : qdOK;
}

TqdResult TttBaseSession::GetErrorInfo() {
  return NotSupported("TttBaseSession.GetErrorInfo");
}
TqdResult TttBaseSession::GetErrorString(TqdResult, char*) {
  return NotSupported("TttBaseSession.GetErrorString");
}
TqdResult TttBaseSession::GetFieldTypeDesc() {
  return NotSupported("TttBaseSession.GetFieldTypeDesc");
}
TqdResult TttBaseSession::GetIndexTypeDesc() {
  return NotSupported("TttBaseSession.GetIndexTypeDesc");
}
TqdResult TttBaseSession::GetLdName() {
  return NotSupportedQuietly();
}

TqdResult TttBaseSession::GetLdObj(TttBaseTable* cursor, void*& object) {
  if (cursor != nullptr) return SetResult(cursor->GetLdObj(object));
  object = nullptr;
  return SetResult(qdOK);
}

// Slot 37.
TqdResult TttBaseSession::GetNetUserName(char* buffer) {
  if (buffer == nullptr) return SetResult(qdErrInvalidHandle);
  CopyToZeroTerminated(qd::GetNetUserName(), buffer, kNetUserNameCapacity + 1);
  return SetResult(qdOK);
}

TqdResult TttBaseSession::GetTableTypeDesc() {
  return NotSupported("TttBaseSession.GetTableTypeDesc");
}
TqdResult TttBaseSession::LoadDriver() {
  return NotSupported("TttBaseSession.LoadDriver");
}
TqdResult TttBaseSession::OpenCfgInfoList() {
  return NotSupported("TttBaseSession.OpenCfgInfoList");
}
TqdResult TttBaseSession::OpenConfigFile() {
  return NotSupported("TttBaseSession.OpenConfigFile");
}

// Slot 49: an unknown name still goes to the open, with an empty path, so
// that the server gives the answer.
TqdResult TttBaseSession::OpenDatabase(const char* name, const char*, int32_t openMode,
                                       int32_t shareMode, const char* password,
                                       uint16_t optionCount, const uint8_t* optionDescs,
                                       const uint8_t* optionValues, TttBaseDatabase*& database) {
  database = nullptr;
  if (name == nullptr) return SetResult(qdErrUnknownDB);
  TqdDatabaseDesc desc{};
  LookupDatabaseDesc(name, desc.data(), true);
  return SetResult(OpenDatabaseInternal(desc.data(), openMode, shareMode, password, optionCount,
                                        optionDescs, optionValues, database));
}

TqdResult TttBaseSession::OpenDatabaseList(TttBaseTable*& cursor) {
  cursor = nullptr;
  return NotSupported("TttBaseSession.OpenDatabaseList");
}

// Slots 51, 55 and 57: lists without records, owned by the caller alone.
TqdResult TttBaseSession::OpenDriverList(TttBaseTable*& cursor) {
  cursor = new TqdEmptyTable(nullptr, "DriverList", nullptr);
  return SetResult(qdOK);
}
TqdResult TttBaseSession::OpenLdList(TttBaseTable*& cursor) {
  cursor = new TqdEmptyTable(nullptr, "LdList", nullptr);
  return SetResult(qdOK);
}
TqdResult TttBaseSession::OpenUserList(TttBaseTable*& cursor) {
  cursor = new TqdEmptyTable(nullptr, "UsersList", nullptr);
  return SetResult(qdOK);
}

TqdResult TttBaseSession::OpenFieldTypesList() {
  return NotSupported("TttBaseSession.OpenFieldTypesList");
}
TqdResult TttBaseSession::OpenFieldXlt() {
  return NotSupported("TttBaseSession.OpenFieldXlt");
}
TqdResult TttBaseSession::OpenIndexTypesList() {
  return NotSupported("TttBaseSession.OpenIndexTypesList");
}
TqdResult TttBaseSession::OpenTableTypesList() {
  return NotSupported("TttBaseSession.OpenTableTypesList");
}

TqdResult TttBaseSession::RegisterCallBack(TttBaseTable* cursor) {
  if (cursor == nullptr) return NotSupportedQuietly();
  return SetResult(cursor->RegisterCallBack());
}

TqdResult TttBaseSession::SetLockRetry(int16_t value) {
  lockRetry_ = value;
  return SetResult(qdOK);
}

TqdResult TttBaseSession::SetPrivateDir(const char* directory) {
  privateDir_ = CopyOf(directory);
  return SetResult(qdOK);
}

TqdResult TttBaseSession::TranslateField() {
  return NotSupported("TttBaseSession.TranslateField");
}
TqdResult TttBaseSession::TranslateRecordStructure() {
  return NotSupported("TttBaseSession.TranslateRecordStructure");
}
TqdResult TttBaseSession::UseIdleTime() {
  return SetResult(qdOK);
}

void TttBaseSession::GetDriverName(char* buffer) {
  if (buffer != nullptr) std::strcpy(buffer, kDriverName);
}

void TttBaseSession::SetDefaultDbType(bool keepType, uint8_t* record) {
  if (!keepType && record != nullptr)
    PutZeroText(record + kDbDescTypeOffset, kDbDescTypeCapacity, kStandardDbType);
}

// Slot 69: a path is described as it is; an alias is looked up in the
// session's alias list.
TqdResult TttBaseSession::LookupDatabaseDesc(const char* name, uint8_t* record, bool keepType) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  std::memset(record, 0, kDatabaseDescSize);
  if (name == nullptr) return SetResult(qdErrUnknownDB);
  if (IsPathName(name)) {
    PutZeroText(record + kDbDescNameOffset, kDbDescNameCapacity, "PATH");
    PutZeroText(record + kDbDescTextOffset, kDbDescTextCapacity, "PATH");
    PutZeroText(record + kDbDescPhysicalNameOffset, kDbDescPhysicalNameCapacity, name);
    SetDefaultDbType(false, record);
    return SetResult(qdOK);
  }
  TttBaseTable* list = nullptr;
  TqdResult opened = OpenDatabaseList(list);
  std::unique_ptr<TttBaseTable> owned(list);
  if (opened != qdOK || owned == nullptr) return SetResult(qdErrUnknownDB);
  // Read aside, so that a name the list does not hold leaves the record
  // empty rather than describing the last alias read.
  TqdDatabaseDesc entry{};
  while (owned->GetNextRecord(dbiNOLOCK, entry.data(), nullptr) == qdOK) {
    if (SameTextNoCase(GetZeroText(&entry[kDbDescNameOffset], kDbDescNameCapacity), name)) {
      std::memcpy(record, entry.data(), kDatabaseDescSize);
      SetDefaultDbType(keepType, record);
      return SetResult(qdOK);
    }
  }
  return SetResult(qdErrUnknownDB);
}

TqdResult TttBaseSession::OpenDatabaseInternal(const uint8_t*, int32_t, int32_t, const char*,
                                               uint16_t, const uint8_t*, const uint8_t*,
                                               TttBaseDatabase*& database) {
  database = nullptr;
  return NotSupported("TttBaseSession.OpenDatabaseInternal");
}

// Slot 71: the databases are asked in order; the first that fails (one
// without such a cursor answers 10024) ends the count with its code.
TqdResult TttBaseSession::GetTableOpenCount(void* handle, const char* tableName, uint32_t& count) {
  count = 0;
  if (handle == nullptr) return SetResult(qdErrInvalidHandle);
  // A database without the table adds nothing; it does not hide the
  // cursors of the databases after it.
  bool someLackIt = false;
  for (int i = 0; i < databases_.Count(); ++i) {
    auto* database = dynamic_cast<TttBaseDatabase*>(databases_.Item(i));
    if (database == nullptr) continue;
    uint32_t open = 0;
    TqdResult result = database->GetTableOpenCount(tableName, open);
    if (result == qdErrNoSuchTable) {
      someLackIt = true;
      continue;
    }
    if (result != qdOK) return SetResult(result);
    count += open;
  }
  return SetResult(someLackIt && count == 0 ? qdErrNoSuchTable : qdOK);
}

}  // namespace qd
