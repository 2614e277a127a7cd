// Every request record the server reads, as a client sends it: the first
// four bytes are the message number (little-endian), the rest the request
// data, read by the decoder the server's handler for that number uses. The
// variable parts a handler goes on to read (bookmarks, a restructure's
// dictionary) are read the same way. Numbers the server does not serve are
// answered 12289 without reading anything.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

#include "base/endian.h"
#include "comms/QDNetMsg.h"
#include "comms/msg_numbers.h"
#include "server/bookmark.h"
#include "server/cursor_records.h"
#include "server/dict_edit.h"
#include "server/wire_records.h"

namespace {

using qd::TqdBytes;
using Fields = qd::TqdBlobFields;

void ReadBookmarks(TqdBytes data, std::optional<qd::TqdBookmarkRequest> (*decode)(TqdBytes)) {
  if (auto request = decode(data)) {
    qd::DecodeBookmark(request->First);
    qd::DecodeBookmark(request->Second);
  }
}

void ReadRestructure(TqdBytes data) {
  auto request = qd::ReadRestructureRequest(data);
  if (!request) return;
  try {
    qd::ReadClientDictionary(request->Dictionary);
  } catch (const std::runtime_error&) {
    // 10003: not a dictionary the server stores
  }
}

struct Decoder {
  qd::TqdMsgID Msg;
  void (*Read)(TqdBytes);
};

// In the order of the message catalogue.
const Decoder kDecoders[] = {
    {qd::msgAttach, [](TqdBytes d) { qd::DecodeAttachRequest(d.data(), d.size()); }},
    {qd::msgCloseDatabase, [](TqdBytes d) { qd::ReadIdRequest(d); }},
    {qd::msgGetTableList, [](TqdBytes d) { qd::ReadTableListRequest(d); }},
    {qd::msgAddAlias, [](TqdBytes d) { qd::ReadAddAliasRequest(d); }},
    {qd::msgOpenDatabase, [](TqdBytes d) { qd::ReadOpenDatabaseRequest(d); }},
    {qd::msgCloseSession, [](TqdBytes d) { qd::ReadIdRequest(d); }},
    {qd::msgReindexTable, [](TqdBytes d) { qd::ReadReindexRequest(d); }},
    {qd::msgPackTable, [](TqdBytes d) { qd::ReadTableRequest(d); }},
    {qd::msgGetTaskStatus, [](TqdBytes d) { qd::ReadIdRequest(d); }},
    {qd::msgBeginTran, [](TqdBytes d) { qd::ReadTransactionRequest(d); }},
    {qd::msgEndTran, [](TqdBytes d) { qd::ReadTransactionRequest(d); }},
    {qd::msgOpenTable, [](TqdBytes d) { qd::ReadOpenTableRequest(d); }},
    {qd::msgAcqTableLock, [](TqdBytes d) { qd::ReadLockRequest(d, qd::kLockRequestSize); }},
    {qd::msgRelTableLock, [](TqdBytes d) { qd::ReadLockRequest(d, qd::kRelTableLockRequestSize); }},
    {qd::msgIsTableLocked, [](TqdBytes d) { qd::ReadLockRequest(d, qd::kLockRequestSize); }},
    {qd::msgGetDictionary, [](TqdBytes d) { qd::ReadTableRequest(d); }},
    {qd::msgRestructureTable, ReadRestructure},
    {qd::msgDeleteTable, [](TqdBytes d) { qd::ReadTableRequest(d); }},
    {qd::msgRenameTable, [](TqdBytes d) { qd::ReadRenameTableRequest(d); }},
    {qd::msgGetRecordCount, [](TqdBytes d) { qd::ReadIdRequest(d); }},
    {qd::msgEmptyTable, [](TqdBytes d) { qd::ReadEmptyTableRequest(d); }},
    {qd::msgAddIndex, [](TqdBytes d) { qd::ReadAddIndexRequest(d); }},
    {qd::msgDeleteIndex, [](TqdBytes d) { qd::ReadDeleteIndexRequest(d); }},
    {qd::msgCreateBlob, [](TqdBytes d) { qd::ReadIdRequest(d); }},
    {qd::msgGetBlob, [](TqdBytes d) { qd::ReadBlobRequest(d, Fields::OffsetAndLength); }},
    {qd::msgGetBlobSize, [](TqdBytes d) { qd::ReadBlobRequest(d, Fields::Number); }},
    {qd::msgTruncateBlob, [](TqdBytes d) { qd::ReadBlobRequest(d, Fields::Length); }},
    {qd::msgPutBlob, [](TqdBytes d) { qd::ReadBlobRequest(d, Fields::OffsetLengthAndBytes); }},
    {qd::msgFreeBlob, [](TqdBytes d) { qd::ReadBlobRequest(d, Fields::Number); }},
    {qd::msgSetToBegin, [](TqdBytes d) { qd::ReadIdRequest(d); }},
    {qd::msgSetToEnd, [](TqdBytes d) { qd::ReadIdRequest(d); }},
    {qd::msgCloseCursor, [](TqdBytes d) { qd::ReadIdRequest(d); }},
    {qd::msgGetBookmark, [](TqdBytes d) { qd::ReadGetBookmarkRequest(d); }},
    {qd::msgSetToBookmark, [](TqdBytes d) { ReadBookmarks(d, qd::ReadSetToBookmarkRequest); }},
    {qd::msgSetToKey, [](TqdBytes d) { qd::ReadSetToKeyRequest(d); }},
    {qd::msgSwitchToIndex, [](TqdBytes d) { qd::ReadSwitchToIndexRequest(d); }},
    {qd::msgSetRange, [](TqdBytes d) { qd::ReadSetRangeRequest(d); }},
    {qd::msgResetRange, [](TqdBytes d) { qd::ReadIdRequest(d); }},
    {qd::msgCompareBookmarks, [](TqdBytes d) { ReadBookmarks(d, qd::ReadCompareBookmarksRequest); }},
    {qd::msgCloneCursor, [](TqdBytes d) { qd::ReadLockRequest(d, qd::kLockRequestSize); }},
    {qd::msgSetToCursor, [](TqdBytes d) { qd::ReadTwoCursorsRequest(d); }},
    {qd::msgGetRecord, [](TqdBytes d) { qd::ReadReadRecordRequest(d); }},
    {qd::msgGetNextRecord, [](TqdBytes d) { qd::ReadReadRecordRequest(d); }},
    {qd::msgGetPriorRecord, [](TqdBytes d) { qd::ReadReadRecordRequest(d); }},
    {qd::msgRelRecordLock, [](TqdBytes d) { qd::ReadLockRequest(d, qd::kLockRequestSize); }},
    {qd::msgDeleteRecord, [](TqdBytes d) { qd::ReadDeleteRecordRequest(d); }},
    {qd::msgInsertRecord, [](TqdBytes d) { qd::ReadWriteRecordRequest(d); }},
    {qd::msgModifyRecord, [](TqdBytes d) { qd::ReadWriteRecordRequest(d); }},
    {qd::msgExtractKey, [](TqdBytes d) { qd::ReadExtractKeyRequest(d); }},
    {qd::msgGetRecordForKey, [](TqdBytes d) { qd::ReadRecordForKeyRequest(d); }},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const qd::TqdMsgID msg = qd::GetUInt32LE(data);
  for (const Decoder& decoder : kDecoders) {
    if (decoder.Msg == msg) decoder.Read(TqdBytes(data + 4, size - 4));
  }
  return 0;
}
