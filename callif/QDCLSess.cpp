#include "callif/QDCLSess.h"

#include <cstring>

#include "base/QDLLExcp.h"
#include "base/endian.h"
#include "callif/QDCLDbas.h"
#include "callif/catalogue.h"
#include "callif/request_path.h"
#include "callif/request_records.h"
#include "comms/QDCLCfg.h"
#include "comms/msg_numbers.h"
#include "platform/user_name.h"

namespace qd {

TqdClientSession::TqdClientSession(TttCollectionItem* engine, TttCollection* collection, const char* sessionName,
                                   const char* directory, TqdClientCommsEngine* commsEngine)
    : TttBaseSession(engine, collection, sessionName, directory) {
  clientName_.Assign(qd::GetNetUserName());
  if (commsEngine != nullptr) {
    commsEngine_ = commsEngine;
    return;
  }
  ownedEngine_ = std::make_unique<TqdClientCommsEngine>(clientName_.View(), *GetDefaultProtocolClass());
  ownedEngine_->Startup();
  commsEngine_ = ownedEngine_.get();
}

TqdClientSession::~TqdClientSession() {
  // The databases' and cursors' destruction still sends through the comms
  // engine, so they go before it does.
  FreeChildren();
  if (IsConnected()) CloseServerSession();
  ownedEngine_.reset();
}

bool TqdClientSession::IsConnected() const { return commsEngine_ != nullptr && commsEngine_->IsLoggedIn(); }

TqdResult TqdClientSession::Request(TqdMsgID msgId, const TqdRequestData& request, const TqdReplyTarget& reply) {
  return SendRequest(commsEngine_, msgId, request, reply);
}

TqdResult TqdClientSession::OpenServerSession() {
  uint8_t reply[kInt32RecordSize];
  TqdResult result = SendRequest(commsEngine_, msgOpenSession, TqdRequestData{},
                                 TqdReplyTarget{.Buffer = reply, .Length = sizeof reply, .FixedSize = true});
  serverSessionId_ = result == qdOK ? GetInt32LE(reply) : 0;
  return SetResult(result);
}

TqdResult TqdClientSession::CloseServerSession() {
  return SetResult(SendRecord(commsEngine_, msgCloseSession, EncodeInt32Record(serverSessionId_)));
}

TqdResult TqdClientSession::GetErrorString(TqdResult code, char* buffer) {
  if (buffer == nullptr) return SetResult(qdErrInvalidParam);
  GetResultCodeText(code, buffer);
  return SetResult(qdOK);
}

TqdResult TqdClientSession::AddAlias(void*, const char* aliasName, const char*, const char* params, bool) {
  std::string_view text = params == nullptr ? std::string_view() : std::string_view(params);
  size_t key = text.find("PATH:");
  if (key != std::string_view::npos) text.remove_prefix(key + 5);
  text = text.substr(0, text.find(';'));
  if (!text.empty() && text.front() == '"') text.remove_prefix(1);
  if (!text.empty() && text.back() == '"') text.remove_suffix(1);
  std::string_view alias = aliasName == nullptr ? std::string_view() : std::string_view(aliasName);
  return SetResult(SendRecord(commsEngine_, msgAddAlias, EncodeAddAlias(alias, text)));
}

TqdResult TqdClientSession::OpenDatabaseList(TttBaseTable*& cursor) {
  cursor = nullptr;
  auto* list = new TqdDatabaseListTable(this, &sessionCursors_, commsEngine_);
  TqdResult result = list->Open();
  if (result != qdOK) {
    delete list;
    return SetResult(result);
  }
  cursor = list;
  return SetResult(qdOK);
}

TqdResult TqdClientSession::OpenDatabaseInternal(const uint8_t* desc, int32_t openMode, int32_t shareMode,
                                                 const char* password, uint16_t optionCount,
                                                 const uint8_t* optionDescs, const uint8_t* optionValues,
                                                 TttBaseDatabase*& database) {
  database = nullptr;
  // A session whose connection is gone cannot reach a server: say so.
  if (!IsConnected()) return SetResult(qdErrNetServerNotFound);
  auto* db = new TQDClientDatabase(this, &databases_, desc, openMode, shareMode, password, optionCount,
                                   optionDescs, optionValues, commsEngine_);
  uint8_t reply[kInt32RecordSize];
  TqdResult result = SendRecord(commsEngine_, msgOpenDatabase, EncodeOpenDatabase(db->PhysicalName(), openMode, shareMode),
                                reply, sizeof reply);
  if (result != qdOK) {
    delete db;
    return SetResult(result);
  }
  db->SetDatabaseId(GetInt32LE(reply));
  database = db;
  return SetResult(qdOK);
}

TqdResult TqdClientSession::CloseDatabase(TttBaseDatabase*& database) {
  auto* db = dynamic_cast<TQDClientDatabase*>(database);
  if (db == nullptr || db->DatabaseId() == -1) return SetResult(qdErrInvalidHandle);
  TqdResult result = SendRecord(commsEngine_, msgCloseDatabase, EncodeInt32Record(db->DatabaseId()));
  if (result == qdOK) {
    delete db;
    database = nullptr;
  }
  return SetResult(result);
}

}  // namespace qd
