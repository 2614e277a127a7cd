// TqdClientEngine: the single entry point of the handle-based call
// interface. Every operation takes handles and buffers and returns a 16-bit
// result code; it never raises of its own (an object's exception passes
// through). A handle is the call-interface object itself; the engine checks
// that it names a live object of the right kind (9990 otherwise) and hands
// the call to the object's operation of the same name.
//
// One engine per process: StartClientEngine makes it, StopClientEngine
// frees it and with it every session object.
// Thread rules: the user-interface thread only.
#pragma once

#include <cstdint>

#include "callif/QDTTBapi.h"
#include "callif/QDTTColl.h"
#include "callif/QDTTTabl.h"
#include "comms/QDClComm.h"

namespace qd {

class TqdClientSession;
class TttBaseTable;

inline constexpr uint32_t kEnginePropValue = 0xFF070002;

class TqdClientEngine : public TttBapiListItem {
 public:
  TqdClientEngine();
  ~TqdClientEngine() override;

  TqdResult GetProp(uint32_t property, void* buffer, uint16_t& length, uint16_t bufferSize) override;
  TqdResult SetProp(uint32_t property, uint32_t value) override;

  // Sessions.
  TqdResult NewSession(const char* name, hDBISes& session, TqdClientCommsEngine* commsEngine);
  // Creates and connects a session. A session that cannot connect is freed
  // (out session none) and does not become current.
  TqdResult OpenSession(const char* name, hDBISes& session, uint32_t option, TqdClientCommsEngine* commsEngine);
  TqdResult SetCurrentSession(hDBISes session);
  // Opens one on demand when there is none; nullptr when that failed.
  TqdClientSession* CurrentSession();
  TqdResult DefaultSessionResult() const { return defaultSessionResult_; }
  TttCollection& Sessions() { return sessions_; }

  // Session handle (none: the current session).
  TqdResult OpenDatabase(hDBISes session, const char* name, const char* type, int32_t openMode, int32_t shareMode,
                         const char* password, uint16_t optionCount, const uint8_t* optionDescs,
                         const uint8_t* optionValues, hDBIDb& database);
  TqdResult CloseDatabase(hDBISes session, hDBIDb& database);
  TqdResult OpenDatabaseList(hDBISes session, hDBICur& cursor);

  // Database handle.
  TqdResult OpenTable(hDBIDb database, const char* tableName, const char* driverType, const char* indexName,
                      const char* tagName, int16_t indexId, int32_t openMode, int32_t shareMode,
                      int32_t translationMode, bool uniDirectional, const uint8_t* options, hDBICur& cursor);
  TqdResult OpenTableList(hDBIDb database, bool extended, bool systemTables, const char* wildcard, hDBICur& cursor);

  // Cursor handle.
  TqdResult ActivateFilter(hDBICur cursor, hDBIFilter filter);
  TqdResult AddFilter(hDBICur cursor, uint32_t clientData, uint16_t priority, bool canAbort,
                      const uint8_t* expression, TqdFilterCallback callback, hDBIFilter& filter);
  TqdResult AppendRecord(hDBICur cursor, uint8_t* record);
  TqdResult CloneCursor(hDBICur cursor, bool readOnly, hDBICur& clone);
  // Frees the cursor whatever its close answered; a lost server counts as closed.
  TqdResult CloseCursor(hDBICur& cursor);
  TqdResult CompareBookMarks(hDBICur cursor, const uint8_t* bookmark1, const uint8_t* bookmark2,
                             int32_t& comparison);
  TqdResult DeactivateFilter(hDBICur cursor, hDBIFilter filter);
  TqdResult DeleteRecord(hDBICur cursor, uint8_t* record);
  TqdResult DropFilter(hDBICur cursor, hDBIFilter filter);
  TqdResult FreeBlob(hDBICur cursor, uint8_t* record, int32_t field);
  TqdResult GetBlob(hDBICur cursor, uint8_t* record, int32_t field, uint32_t offset, uint32_t length,
                    uint8_t* buffer, uint32_t& lengthRead);
  TqdResult GetBlobSize(hDBICur cursor, uint8_t* record, int32_t field, uint32_t& size);
  TqdResult GetBookMark(hDBICur cursor, uint8_t* bookmark);
  TqdResult GetCursorProps(hDBICur cursor, uint8_t* record);
  TqdResult GetExactRecordCount(hDBICur cursor, uint32_t& count);
  // The blank flag is written (0 or all bits set) only on success.
  TqdResult GetField(hDBICur cursor, int32_t field, const uint8_t* record, void* value, int32_t& blank);
  TqdResult GetIndexDesc(hDBICur cursor, int32_t indexNumber, uint8_t* record);
  TqdResult GetIndexDescs(hDBICur cursor, uint8_t* buffer);
  TqdResult GetNextRecord(hDBICur cursor, int32_t lock, uint8_t* record, uint8_t* properties);
  TqdResult GetPriorRecord(hDBICur cursor, int32_t lock, uint8_t* record, uint8_t* properties);
  TqdResult GetRecord(hDBICur cursor, int32_t lock, uint8_t* record, uint8_t* properties);
  TqdResult GetRecordForKey(hDBICur cursor, bool keyItself, int32_t fieldCount, int32_t partialLength,
                            const uint8_t* key, int32_t lock, uint8_t* record);
  TqdResult InitRecord(hDBICur cursor, uint8_t* record);
  TqdResult InsertRecord(hDBICur cursor, int32_t lock, uint8_t* record);
  TqdResult ModifyRecord(hDBICur cursor, uint8_t* record, bool releaseLock);
  TqdResult OpenBlob(hDBICur cursor, uint8_t* record, int32_t field, int32_t openMode);
  TqdResult PutBlob(hDBICur cursor, uint8_t* record, int32_t field, uint32_t offset, uint32_t length,
                    const uint8_t* data);
  TqdResult PutField(hDBICur cursor, int32_t field, uint8_t* record, const void* value);
  TqdResult RelRecordLock(hDBICur cursor, bool all);
  TqdResult ResetRange(hDBICur cursor);
  TqdResult SetRange(hDBICur cursor, bool keyItself, int32_t lowFieldCount, int32_t lowPartialLength,
                     const uint8_t* lowKey, bool lowInclusive, int32_t highFieldCount, int32_t highPartialLength,
                     const uint8_t* highKey, bool highInclusive);
  TqdResult SetToBegin(hDBICur cursor);
  TqdResult SetToBookmark(hDBICur cursor, const uint8_t* bookmark);
  // Sets `second` to the position of `first`.
  TqdResult SetToCursor(hDBICur first, hDBICur second);
  TqdResult SetToEnd(hDBICur cursor);
  TqdResult SwitchToIndex(hDBICur cursor, const char* indexName, const char* tagName, int16_t indexId,
                          bool keepCurrent);
  TqdResult TruncateBlob(hDBICur cursor, uint8_t* record, int32_t field, uint32_t length);

 private:
  // The live session a session handle names; none gives the current one.
  TqdClientSession* SessionOf(hDBISes session);
  // Runs `call` on the live object of kind T, keeping its result; 9990
  // when the handle names none.
  template <class T, class Call>
  TqdResult Forward(hDBIObj handle, Call call);

  TttCollection sessions_;
  hDBISes currentSession_ = nullptr;  // checked before use: its owner may free it
  uint32_t propValue_ = 0;
  TqdResult defaultSessionResult_ = qdOK;
};

// 10759 when an engine exists already.
TqdResult StartClientEngine();
// Frees the engine and every session object; the reference is cleared
// even when freeing raises.
void StopClientEngine();
bool ClientEngineStarted();
// The engine, or nullptr before it is started.
TqdClientEngine* ClientEngine();

}  // namespace qd
