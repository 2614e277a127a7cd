// TttBaseDatabase: the engine-neutral database. Its virtual operations
// follow the BDE database operations (slots 0 to 50, in the order of their
// BDE names) and answer 12289 for everything it does not implement. It
// owns every cursor opened on it, table cursors and catalogue cursors.
// Thread rules: one thread at a time (the user-interface thread).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "callif/QDTTBapi.h"
#include "callif/QDTTSess.h"

namespace qd {

class TttBaseTable;

inline constexpr size_t kTranInfoSize = 10;
inline constexpr size_t kPasswordCapacity = 31;
inline constexpr size_t kTableNameCapacityBDE = 31;
inline constexpr uint32_t kDatabasePropVersion = 0;    // the 16-bit value 27
inline constexpr uint32_t kDatabasePropDbType = 2;
// The end kind of EndTran that aborts.
inline constexpr int32_t xendABORT = 2;

// The option descriptors that a database understands by name.
inline constexpr const char* kOptionQdPath = "QDPATH";
inline constexpr const char* kOptionUserName = "USER NAME";

// A table to create: the BDE table description, flattened to its parts.
// Field descriptors are 62 bytes, index descriptions 893 and validity-check
// descriptions 1219, each array holding its count of records.
struct TqdCreateTableDesc {
  const char* TableName = nullptr;
  uint16_t FieldCount = 0;
  const uint8_t* FieldDescs = nullptr;
  uint16_t IndexCount = 0;
  const uint8_t* IndexDescs = nullptr;
  uint16_t VchkCount = 0;
  const uint8_t* VchkDescs = nullptr;
};

class TttBaseDatabase : public TttBapiListItem {
 public:
  // A missing description gives a zero one of type STANDARD.
  TttBaseDatabase(TttCollectionItem* parent, TttCollection* collection, const uint8_t* desc, int32_t openMode,
                  int32_t shareMode, const char* password, uint16_t optionCount, const uint8_t* optionDescs,
                  const uint8_t* optionValues);
  ~TttBaseDatabase() override;

  TqdResult GetProp(uint32_t property, void* buffer, uint16_t& length, uint16_t bufferSize) override;  // 0
  TqdResult ValidateProp(uint32_t property, bool forWriting) override;                                 // 2
  virtual std::string GetDbType();
  virtual const TqdDatabaseDesc& GetDbDesc();
  virtual std::string GetPassword();
  virtual void SetDbType(const char* text);
  virtual void SetPassword(const char* text);
  virtual TqdResult ApplyOptParams(uint16_t count, const uint8_t* descs, const uint8_t* values);
  virtual TqdResult AcqPersistTableLock();
  virtual TqdResult AddIndex(TttBaseTable* cursor, const char* tableName, const char* driverType,
                             const uint8_t* indexDesc, const char* keyIndex);  // 10
  virtual TqdResult BeginTran(int32_t isolation, void*& transaction);
  virtual TqdResult CopyTable();
  virtual TqdResult CreateInMemTable();
  virtual TqdResult CreateTable(bool overwrite, const TqdCreateTableDesc& desc);
  virtual TqdResult CreateTempTable();
  virtual TqdResult DeleteIndex(TttBaseTable* cursor, const char* tableName, const char* driverType,
                                const char* indexName, const char* tagName, uint16_t indexId);
  virtual TqdResult DeleteTable(const char* tableName);
  virtual TqdResult DoRestructure();
  virtual TqdResult EmptyTable(TttBaseTable* cursor, const char* tableName, const char* driverType);
  virtual TqdResult EndTran(void* transaction, int32_t endKind);  // 20
  virtual TqdResult FormFullName();
  virtual TqdResult FindOpenTable(const char* name, TttBaseTable*& cursor);
  virtual TqdResult GetDirectory(void* handle, char* buffer);
  virtual TqdResult GetObjFromName();
  virtual TqdResult GetTableOpenCount(const char* tableName, uint32_t& count);
  virtual TqdResult GetTranInfo(void* transaction, uint8_t* record);
  virtual TqdResult OpenFamilyList();
  virtual TqdResult OpenFieldList(const char* tableName, const char* driverType, bool physicalTypes,
                                  TttBaseTable*& cursor);
  virtual TqdResult OpenFileList(const char* wildcard, TttBaseTable*& cursor);
  virtual TqdResult OpenFunctionList();  // 30
  virtual TqdResult OpenFunctionArgList();
  virtual TqdResult OpenIndexList(const char* tableName, const char* driverType, TttBaseTable*& cursor);
  virtual TqdResult OpenRintList();
  virtual TqdResult OpenSecurityList();
  virtual TqdResult OpenSPList();
  virtual TqdResult OpenSPParamList();
  virtual TqdResult OpenTable(const char* tableName, const char* driverType, const char* indexName,
                              const char* tagName, int16_t indexId, int32_t openMode, int32_t shareMode,
                              int32_t translationMode, bool uniDirectional, const uint8_t* options,
                              TttBaseTable*& cursor);
  virtual TqdResult OpenTableList(bool extended, bool systemTables, const char* wildcard, TttBaseTable*& cursor);
  virtual TqdResult OpenVchkList(const char* tableName, const char* driverType, TttBaseTable*& cursor);
  virtual TqdResult PackTable();  // 40
  virtual TqdResult QAlloc();
  virtual TqdResult QExecDirect();
  virtual TqdResult QExecProcDirect();
  virtual TqdResult QPrepareExt();
  virtual TqdResult QPrepareProc();
  virtual TqdResult RegenIndex();
  virtual TqdResult RelPersistTableLock();
  virtual TqdResult RenameTable(const char* oldName, const char* newName);
  virtual TqdResult SetDirectory(const char* directory);
  virtual TqdResult SortTable();  // 50

  TttCollection& Cursors() { return cursors_; }
  int32_t OpenMode() const { return openMode_; }
  int32_t ShareMode() const { return shareMode_; }
  int32_t TransactionState() const { return transactionState_; }
  // The description's physical name (the path the server opens).
  std::string PhysicalName() const;

 protected:
  int32_t transactionState_ = 0;
  int32_t transactionWord_ = 0;
  TqdDatabaseDesc desc_{};
  int32_t openMode_ = 0;
  std::array<char, kPasswordCapacity + 1> password_{};
  int32_t shareMode_ = 0;
  TttCollection cursors_;

 private:
  // AddIndex, DeleteIndex and EmptyTable: `operation` on the given cursor or
  // on the named table, opened for it.
  template <class Operation>
  TqdResult OnTableCursor(TttBaseTable* cursor, const char* tableName, const char* driverType,
                          int16_t indexId, Operation operation);
};

// Text helpers shared by the database and session: a zero-terminated text
// in a fixed area of a BDE record, and the record's texts. `capacity` counts
// the characters; the area is capacity + 1 bytes. PutZeroText cuts longer
// text and zero-fills the whole area; GetZeroText reads up to the first zero
// byte, never more than `capacity` characters.
void PutZeroText(uint8_t* area, size_t capacity, std::string_view text);
std::string GetZeroText(const uint8_t* area, size_t capacity);

}  // namespace qd
