// TQDClientDatabase: a database (alias or directory) opened on the server
// within a session. It keeps the server's id for it, owns the cursors
// opened on it and sends the database-level requests: transactions, table
// creation, deletion, renaming and emptying, index deletion, and fetching a
// table's data dictionary. The maintenance requests travel through its
// Request.
// Thread rules: the user-interface thread only.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/stream.h"
#include "callif/QDTTDbas.h"
#include "comms/QDClComm.h"

namespace qd {

class TqdClientSession;
class TQDClientTable;

class TQDClientDatabase : public TttBaseDatabase {
 public:
  // An option named QDPATH supplies the physical name before anything
  // else; one named USER NAME the description's name.
  TQDClientDatabase(TqdClientSession* session, TttCollection* collection, const uint8_t* desc, int32_t openMode,
                    int32_t shareMode, const char* password, uint16_t optionCount, const uint8_t* optionDescs,
                    const uint8_t* optionValues, TqdClientCommsEngine* commsEngine);
  // Frees the cursors while this database is still whole: their close
  // goes to the server.
  ~TQDClientDatabase() override;

  TqdResult BeginTran(int32_t isolation, void*& transaction) override;
  TqdResult CreateTable(bool overwrite, const TqdCreateTableDesc& desc) override;
  TqdResult DeleteIndex(TttBaseTable* cursor, const char* tableName, const char* driverType, const char* indexName,
                        const char* tagName, uint16_t indexId) override;
  TqdResult DeleteTable(const char* tableName) override;
  TqdResult EmptyTable(TttBaseTable* cursor, const char* tableName, const char* driverType) override;
  TqdResult EndTran(void* transaction, int32_t endKind) override;
  TqdResult OpenFieldList(const char* tableName, const char* driverType, bool physicalTypes,
                          TttBaseTable*& cursor) override;
  TqdResult OpenIndexList(const char* tableName, const char* driverType, TttBaseTable*& cursor) override;
  TqdResult OpenTable(const char* tableName, const char* driverType, const char* indexName, const char* tagName,
                      int16_t indexId, int32_t openMode, int32_t shareMode, int32_t translationMode,
                      bool uniDirectional, const uint8_t* options, TttBaseTable*& cursor) override;
  TqdResult OpenTableList(bool extended, bool systemTables, const char* wildcard, TttBaseTable*& cursor) override;
  TqdResult OpenVchkList(const char* tableName, const char* driverType, TttBaseTable*& cursor) override;
  TqdResult RenameTable(const char* oldName, const char* newName) override;
  TqdResult SetDirectory(const char* directory) override;

  TqdResult Request(TqdMsgID msgId, const TqdRequestData& request, const TqdReplyTarget& reply);
  // The table's dictionary in its stream form: from an open cursor's
  // loaded dictionary unless `askServer`, else from the server (1299).
  TqdResult GetDictionary(std::string_view tableName, TqdMemoryStream& stream, bool askServer);

  int32_t DatabaseId() const { return databaseId_; }
  void SetDatabaseId(int32_t id) { databaseId_ = id; }
  int32_t TransactionId() const { return transactionId_; }
  TqdClientCommsEngine* CommsEngine() const { return commsEngine_; }
  TqdClientSession* Session() const;

 private:
  // Reloads the dictionary of `cursor` from the server.
  void RefreshDictionary(TQDClientTable* cursor);
  // Opens the cursor `make` creates; frees it (out cursor none) when the
  // open fails or raises.
  template <class Make>
  TqdResult OpenCursor(TttBaseTable*& cursor, Make make);

  int32_t databaseId_ = -1;
  int32_t transactionId_ = 0;
  uint8_t failSafe_ = 0;
  TqdClientCommsEngine* commsEngine_;
};

}  // namespace qd
