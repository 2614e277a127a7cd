// Every request record the server reads, as a client sends it: the first
// four bytes are the message number (little-endian), the rest the request
// data, read by the decoder the server's handler for that number uses. The
// variable parts a handler goes on to read (bookmarks, a restructure's
// dictionary) are read the same way. Numbers the server does not serve are
// answered 12289 without reading anything.
// Thread rules: libFuzzer calls the target from one thread.
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

// A decoder whose one argument is the request data.
template <auto Decode>
void Read(TqdBytes data) {
  Decode(data);
}

template <size_t Size>
void ReadLock(TqdBytes data) {
  qd::ReadLockRequest(data, Size);
}

template <Fields F>
void ReadBlob(TqdBytes data) {
  qd::ReadBlobRequest(data, F);
}

struct Decoder {
  qd::TqdMsgID Msg;
  void (*Read)(TqdBytes);
};

// In the order of the message catalogue.
const Decoder kDecoders[] = {
    {qd::msgAttach, [](TqdBytes d) { qd::DecodeAttachRequest(d.data(), d.size()); }},
    {qd::msgCloseDatabase, Read<qd::ReadIdRequest>},
    {qd::msgGetTableList, Read<qd::ReadTableListRequest>},
    {qd::msgAddAlias, Read<qd::ReadAddAliasRequest>},
    {qd::msgOpenDatabase, Read<qd::ReadOpenDatabaseRequest>},
    {qd::msgCloseSession, Read<qd::ReadIdRequest>},
    {qd::msgReindexTable, Read<qd::ReadReindexRequest>},
    {qd::msgPackTable, Read<qd::ReadTableRequest>},
    {qd::msgGetTaskStatus, Read<qd::ReadIdRequest>},
    {qd::msgBeginTran, Read<qd::ReadTransactionRequest>},
    {qd::msgEndTran, Read<qd::ReadTransactionRequest>},
    {qd::msgOpenTable, Read<qd::ReadOpenTableRequest>},
    {qd::msgAcqTableLock, ReadLock<qd::kLockRequestSize>},
    {qd::msgRelTableLock, ReadLock<qd::kRelTableLockRequestSize>},
    {qd::msgIsTableLocked, ReadLock<qd::kLockRequestSize>},
    {qd::msgGetDictionary, Read<qd::ReadTableRequest>},
    {qd::msgRestructureTable, ReadRestructure},
    {qd::msgDeleteTable, Read<qd::ReadTableRequest>},
    {qd::msgRenameTable, Read<qd::ReadRenameTableRequest>},
    {qd::msgGetRecordCount, Read<qd::ReadIdRequest>},
    {qd::msgEmptyTable, Read<qd::ReadEmptyTableRequest>},
    {qd::msgAddIndex, Read<qd::ReadAddIndexRequest>},
    {qd::msgDeleteIndex, Read<qd::ReadDeleteIndexRequest>},
    {qd::msgCreateBlob, Read<qd::ReadIdRequest>},
    {qd::msgGetBlob, ReadBlob<Fields::OffsetAndLength>},
    {qd::msgGetBlobSize, ReadBlob<Fields::Number>},
    {qd::msgTruncateBlob, ReadBlob<Fields::Length>},
    {qd::msgPutBlob, ReadBlob<Fields::OffsetLengthAndBytes>},
    {qd::msgFreeBlob, ReadBlob<Fields::Number>},
    {qd::msgSetToBegin, Read<qd::ReadIdRequest>},
    {qd::msgSetToEnd, Read<qd::ReadIdRequest>},
    {qd::msgCloseCursor, Read<qd::ReadIdRequest>},
    {qd::msgGetBookmark, Read<qd::ReadGetBookmarkRequest>},
    {qd::msgSetToBookmark, [](TqdBytes d) { ReadBookmarks(d, qd::ReadSetToBookmarkRequest); }},
    {qd::msgSetToKey, Read<qd::ReadSetToKeyRequest>},
    {qd::msgSwitchToIndex, Read<qd::ReadSwitchToIndexRequest>},
    {qd::msgSetRange, Read<qd::ReadSetRangeRequest>},
    {qd::msgResetRange, Read<qd::ReadIdRequest>},
    {qd::msgCompareBookmarks, [](TqdBytes d) { ReadBookmarks(d, qd::ReadCompareBookmarksRequest); }},
    {qd::msgCloneCursor, ReadLock<qd::kLockRequestSize>},
    {qd::msgSetToCursor, Read<qd::ReadTwoCursorsRequest>},
    {qd::msgGetRecord, Read<qd::ReadReadRecordRequest>},
    {qd::msgGetNextRecord, Read<qd::ReadReadRecordRequest>},
    {qd::msgGetPriorRecord, Read<qd::ReadReadRecordRequest>},
    {qd::msgRelRecordLock, ReadLock<qd::kLockRequestSize>},
    {qd::msgDeleteRecord, Read<qd::ReadDeleteRecordRequest>},
    {qd::msgInsertRecord, Read<qd::ReadWriteRecordRequest>},
    {qd::msgModifyRecord, Read<qd::ReadWriteRecordRequest>},
    {qd::msgExtractKey, Read<qd::ReadExtractKeyRequest>},
    {qd::msgGetRecordForKey, Read<qd::ReadRecordForKeyRequest>},
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
