// TttBaseSession: the engine-neutral session. Its virtual operations follow
// the BDE session operations one for one (slots 0 to 71, in the order of
// their BDE names); everything it does not implement answers 12289, most of
// it after the not-supported message box. It owns the databases opened in
// it, the session-level cursors and an in-memory store of configuration
// records, which is never saved.
//
// The records exchanged with callers have the BDE layouts and sizes below
// and are zero-filled before they are written.
// Thread rules: one thread at a time (the user-interface thread).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "callif/QDTTBapi.h"

namespace qd {

class TttBaseDatabase;
class TttBaseTable;

inline constexpr size_t kDatabaseDescSize = 357;
inline constexpr size_t kDbDescNameOffset = 0;           // 31 characters and a zero
inline constexpr size_t kDbDescTextOffset = 32;          // 31 characters and a zero
inline constexpr size_t kDbDescPhysicalNameOffset = 64;  // 260 characters and a zero
inline constexpr size_t kDbDescTypeOffset = 325;         // 31 characters and a zero
static_assert(kDbDescTypeOffset + 32 == kDatabaseDescSize);
inline constexpr size_t kClientInfoSize = 327;
inline constexpr size_t kSessionInfoSize = 562;
inline constexpr size_t kSysInfoSize = 14;
inline constexpr size_t kDriverDescSize = 156;
inline constexpr size_t kSysConfigSize = 346;
inline constexpr size_t kSysVersionSize = 32;
inline constexpr size_t kDateFormatSize = 9;
inline constexpr size_t kNumberFormatSize = 4;
inline constexpr size_t kTimeFormatSize = 16;
inline constexpr size_t kNetUserNameCapacity = 255;
inline constexpr size_t kErrorMessageCapacity = 128;

using TqdDatabaseDesc = std::array<uint8_t, kDatabaseDescSize>;

// Session properties with a 32-bit value, and the current directory.
inline constexpr uint32_t kSessionPropCurrentDir = 0x20002;
inline constexpr uint32_t kSessionPropValueA = 0x20003;
inline constexpr uint32_t kSessionPropValueB = 0x2000C;

// The name of the session's only driver and the default database type.
inline constexpr const char* kDriverName = "QuillDrv";
inline constexpr const char* kStandardDbType = "STANDARD";

// One configuration record: a path (its key, compared without regard to
// case), 62-byte field descriptors and the values they place.
class TttBaseCfgRecord : public TttCollectionItem {
 public:
  TttBaseCfgRecord(TttCollection* collection, const char* path, int32_t fieldCount, const uint8_t* descs,
                   const uint8_t* values);
  // Frees the old contents; with a count of at least 1 keeps zero-filled
  // copies of the descriptors and values that are given.
  void SetContents(int32_t fieldCount, const uint8_t* descs, const uint8_t* values);
  const std::string& Path() const { return path_; }
  int32_t FieldCount() const { return fieldCount_; }
  const std::vector<uint8_t>& Descs() const { return descs_; }
  const std::vector<uint8_t>& Values() const { return values_; }

 private:
  std::string path_;
  int32_t fieldCount_ = 0;
  std::vector<uint8_t> descs_;
  std::vector<uint8_t> values_;
};

class TttBaseSession : public TttBapiListItem {
 public:
  // `directory` (or none) is both the network and the private directory.
  TttBaseSession(TttCollectionItem* parent, TttCollection* collection, const char* sessionName,
                 const char* directory);
  ~TttBaseSession() override;

  TqdResult GetProp(uint32_t property, void* buffer, uint16_t& length, uint16_t bufferSize) override;  // 0
  TqdResult SetProp(uint32_t property, uint32_t value) override;                                       // 1
  virtual TqdResult Reserved3();                                                                        // 3
  virtual TqdResult AddAlias(void* cfg, const char* aliasName, const char* driverType, const char* params,
                             bool persistent);
  virtual TqdResult AddPassword();
  virtual TqdResult AnsiToNative(void* languageObject, char* destination, const char* source, uint32_t length);
  virtual TqdResult CfgAddRecord(void* cfg, const char* path, int32_t fieldCount, const uint8_t* descs,
                                 const uint8_t* values);
  virtual TqdResult CfgBuildPath();
  virtual TqdResult CfgDropRecord(void* cfg, const char* path);
  virtual TqdResult CfgGetHelp();
  virtual TqdResult CfgGetNextNode();
  virtual TqdResult CfgGetRecord(void* cfg, const char* path, int32_t& fieldCount, uint8_t* descs, uint8_t* values);
  virtual TqdResult CfgMerge();
  virtual TqdResult CfgModifyRecord(void* cfg, const char* path, int32_t fieldCount, const uint8_t* descs,
                                    const uint8_t* values);
  virtual TqdResult CfgPosition();
  virtual TqdResult CfgSave();
  virtual TqdResult CfgTranslate();
  virtual TqdResult CheckRefresh();
  virtual TqdResult CloseConfigFile();
  virtual TqdResult CloseDatabase(TttBaseDatabase*& database);  // 20
  virtual TqdResult CloseFieldXlt();
  virtual TqdResult DeleteAlias();
  virtual TqdResult DropPassword();
  virtual TqdResult GetCallBack(TttBaseTable* cursor);
  virtual TqdResult GetClientInfo(uint8_t* record);
  virtual TqdResult GetDatabaseDesc(const char* name, uint8_t* record);
  virtual TqdResult GetDateFormat(uint8_t* record);
  virtual TqdResult GetDriverDesc(const char* typeName, uint8_t* record);
  virtual TqdResult GetErrorContext();
  virtual TqdResult GetErrorEntry(int32_t entry, uint32_t& nativeCode, char* message);  // 30
  virtual TqdResult GetErrorInfo();
  virtual TqdResult GetErrorString(TqdResult code, char* buffer);
  virtual TqdResult GetFieldTypeDesc();
  virtual TqdResult GetIndexTypeDesc();
  virtual TqdResult GetLdName();
  virtual TqdResult GetLdObj(TttBaseTable* cursor, void*& object);
  virtual TqdResult GetNetUserName(char* buffer);
  virtual TqdResult GetNumberFormat(uint8_t* record);
  virtual TqdResult GetSesInfo(uint8_t* record);
  virtual TqdResult GetSysConfig(uint8_t* record);  // 40
  virtual TqdResult GetSysInfo(uint8_t* record);
  virtual TqdResult GetSysVersion(uint8_t* record);
  virtual TqdResult GetTableTypeDesc();
  virtual TqdResult GetTimeFormat(uint8_t* record);
  virtual TqdResult LoadDriver();
  virtual TqdResult NativeToAnsi(void* languageObject, char* destination, const char* source, uint32_t length);
  virtual TqdResult OpenCfgInfoList();
  virtual TqdResult OpenConfigFile();
  virtual TqdResult OpenDatabase(const char* name, const char* type, int32_t openMode, int32_t shareMode,
                                 const char* password, uint16_t optionCount, const uint8_t* optionDescs,
                                 const uint8_t* optionValues, TttBaseDatabase*& database);
  virtual TqdResult OpenDatabaseList(TttBaseTable*& cursor);  // 50
  virtual TqdResult OpenDriverList(TttBaseTable*& cursor);
  virtual TqdResult OpenFieldTypesList();
  virtual TqdResult OpenFieldXlt();
  virtual TqdResult OpenIndexTypesList();
  virtual TqdResult OpenLdList(TttBaseTable*& cursor);
  virtual TqdResult OpenTableTypesList();
  virtual TqdResult OpenUserList(TttBaseTable*& cursor);
  virtual TqdResult RegisterCallBack(TttBaseTable* cursor);
  virtual TqdResult SetDateFormat(const uint8_t* record);
  virtual TqdResult SetLockRetry(int16_t value);  // 60
  virtual TqdResult SetNumberFormat(const uint8_t* record);
  virtual TqdResult SetPrivateDir(const char* directory);
  virtual TqdResult SetTimeFormat(const uint8_t* record);
  virtual TqdResult TranslateField();
  virtual TqdResult TranslateRecordStructure();
  virtual TqdResult UseIdleTime();
  virtual void GetDriverName(char* buffer);
  virtual void SetDefaultDbType(bool keepType, uint8_t* record);
  virtual TqdResult LookupDatabaseDesc(const char* name, uint8_t* record, bool keepType);
  virtual TqdResult OpenDatabaseInternal(const uint8_t* desc, int32_t openMode, int32_t shareMode,
                                         const char* password, uint16_t optionCount, const uint8_t* optionDescs,
                                         const uint8_t* optionValues, TttBaseDatabase*& database);  // 70
  virtual TqdResult GetTableOpenCount(void* handle, const char* tableName, uint32_t& count);

  TttCollection& Databases() { return databases_; }
  TttCollection& SessionCursors() { return sessionCursors_; }
  TttCollection& CfgRecords() { return cfgRecords_; }
  const std::optional<std::string>& SessionName() const { return sessionName_; }
  const std::optional<std::string>& NetworkDirectory() const { return networkDir_; }
  const std::optional<std::string>& PrivateDirectory() const { return privateDir_; }
  int16_t LockRetry() const { return lockRetry_; }

 protected:
  // Frees the databases and the session cursors (and with them their
  // cursors) while the session's connection still stands.
  void FreeChildren();
  // The first record whose path matches without regard to case, or nullptr.
  TttBaseCfgRecord* FindCfgRecord(const char* path);

  uint32_t propValueA_ = 0;
  uint32_t propValueB_ = 0;
  TttCollection databases_;
  std::array<uint8_t, kDateFormatSize> dateFormat_{};
  int16_t lockRetry_ = 0;
  std::optional<std::string> sessionName_;
  std::optional<std::string> networkDir_;
  std::array<uint8_t, kNumberFormatSize> numberFormat_{};
  std::optional<std::string> privateDir_;
  std::array<uint8_t, kTimeFormatSize> timeFormat_{};
  TttCollection cfgRecords_;
  TttCollection sessionCursors_;

 private:
  // AnsiToNative and NativeToAnsi: a copy of at most `length` characters.
  TqdResult CopyUntranslated(std::string_view operation, void* languageObject, char* destination,
                             const char* source, uint32_t length);
  // The date, number and time formats: N bytes copied verbatim.
  template <size_t N>
  TqdResult CopyFormat(const uint8_t* from, uint8_t* to);
};

}  // namespace qd
