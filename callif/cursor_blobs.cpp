// TQDClientTable: the BLOBs of a record's BLOB fields, through the
// server. A field holds its BLOB's number; a null field (or number 0) has
// none, and a write to it makes one first.
// Thread rules: the user-interface thread only.
#include <algorithm>
#include <cstring>

#include "base/endian.h"
#include "callif/QDClTabl.h"
#include "callif/cursor_requests.h"
#include "callif/request_path.h"
#include "comms/msg_numbers.h"
#include "dict/field_kinds.h"

namespace qd {
namespace {

// The most one BLOB read asks the server for.
constexpr size_t kMaxBlobRead = 64u << 20;

}  // namespace

int32_t TQDClientTable::BlobNumberOf(const uint8_t* record, int32_t field, TqdResult& result) {
  result = qdOK;
  if (record == nullptr) {
    result = qdErrInvalidParam;
  } else if (!HasField(field)) {
    result = qdErrOutOfRange;
  } else if (!IsBlobKind(dictionary_.FieldDesc(field - 1).FieldType)) {
    result = qdErrInvalidBlobHandle;
  }
  if (result != qdOK || dictionary_.FieldIsNull(field - 1, record)) return 0;
  return GetInt32LE(record + dictionary_.FieldDesc(field - 1).Offset);
}

// Slot 80: nothing to do on the server.
TqdResult TQDClientTable::OpenBlob(uint8_t*, int32_t, int32_t) { return SetResult(qdOK); }

// Slot 45. The length read is never more than was asked for, nor more than
// the reply holds, whatever the reply says.
TqdResult TQDClientTable::GetBlob(uint8_t* record, int32_t field, uint32_t offset, uint32_t length, uint8_t* buffer,
                                  uint32_t& lengthRead) {
  lengthRead = 0;
  TqdResult result;
  const int32_t blob = BlobNumberOf(record, field, result);
  if (result != qdOK) return SetResult(result);
  if (blob == 0) return SetResult(qdErrInvalidBlobHandle);
  if (buffer == nullptr && length > 0) return SetResult(qdErrInvalidParam);
  SetResult(qdErrNoMemory);
  // One read brings at most kMaxBlobRead bytes, whatever the caller's buffer.
  std::vector<uint8_t> reply(4 + std::min<size_t>(length, kMaxBlobRead));
  uint32_t received = 0;
  result = SendRequest(commsEngine_, msgGetBlob, RequestOf(EncodeBlobRequest(cursorId_, blob, {offset, length})),
                       TqdReplyTarget{.Buffer = reply.data(),
                                      .Length = static_cast<uint32_t>(reply.size()),
                                      .Received = &received});
  if (result == qdOK && received >= 4) {
    const size_t held = std::min<size_t>(received, reply.size()) - 4;
    const size_t count = std::min({static_cast<size_t>(GetUInt32LE(reply.data())), static_cast<size_t>(length), held});
    if (count > 0) std::memcpy(buffer, reply.data() + 4, count);
    lengthRead = static_cast<uint32_t>(count);
  }
  return SetResult(result);
}

// Slot 47.
TqdResult TQDClientTable::GetBlobSize(uint8_t* record, int32_t field, uint32_t& size) {
  size = 0;
  TqdResult result;
  const int32_t blob = BlobNumberOf(record, field, result);
  if (result != qdOK) return SetResult(result);
  if (blob == 0) return SetResult(qdErrInvalidBlobHandle);
  uint8_t reply[4];
  result = SendRequest(commsEngine_, msgGetBlobSize, RequestOf(EncodeBlobRequest(cursorId_, blob, {})),
                       TqdReplyTarget{.Buffer = reply, .Length = sizeof reply, .FixedSize = true});
  if (result == qdOK) size = GetUInt32LE(reply);
  return SetResult(result);
}

// Slot 84: a field without a BLOB gets a new one first, its number put in
// the record.
TqdResult TQDClientTable::PutBlob(uint8_t* record, int32_t field, uint32_t offset, uint32_t length,
                                  const uint8_t* data) {
  TqdResult result;
  int32_t blob = BlobNumberOf(record, field, result);
  if (result != qdOK) return SetResult(result);
  if (data == nullptr && length > 0) return SetResult(qdErrInvalidParam);
  if (blob == 0) {
    uint8_t reply[4];
    result = SendRecord(commsEngine_, msgCreateBlob, EncodeInt32Record(cursorId_), reply, sizeof reply);
    if (result != qdOK) return SetResult(result);
    blob = GetInt32LE(reply);
    dictionary_.WriteFieldValue(field - 1, record, reply);
  }
  SetResult(qdErrNoMemory);
  auto request = EncodeBlobRequest(cursorId_, blob, {offset, length}, {data, length});
  return SetResult(SendRequest(commsEngine_, msgPutBlob, RequestOf(request), TqdReplyTarget{}));
}

// Slot 103: a field without a BLOB can only be truncated to nothing.
TqdResult TQDClientTable::TruncateBlob(uint8_t* record, int32_t field, uint32_t length) {
  TqdResult result;
  const int32_t blob = BlobNumberOf(record, field, result);
  if (result != qdOK) return SetResult(result);
  if (blob == 0) return SetResult(length > 0 ? qdErrBlobOffset : qdOK);
  return SetResult(SendRequest(commsEngine_, msgTruncateBlob,
                               RequestOf(EncodeBlobRequest(cursorId_, blob, {length})), TqdReplyTarget{}));
}

// Slot 44. When the server says the BLOB was modified (13058), the field
// forgets its number here only: the record the caller holds is not sent,
// as it may be an abandoned edit that would overwrite the stored one.
TqdResult TQDClientTable::FreeBlob(uint8_t* record, int32_t field) {
  TqdResult result;
  const int32_t blob = BlobNumberOf(record, field, result);
  if (result != qdOK) return SetResult(result);
  if (blob == 0) return SetResult(qdErrInvalidBlobHandle);
  result = SendRequest(commsEngine_, msgFreeBlob, RequestOf(EncodeBlobRequest(cursorId_, blob, {})), TqdReplyTarget{});
  if (result == qdErrBlobModified) dictionary_.WriteFieldNull(field - 1, record, true);
  return SetResult(result);
}

}  // namespace qd
