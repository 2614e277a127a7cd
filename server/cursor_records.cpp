#include "server/cursor_records.h"

namespace qd {
namespace {

std::vector<uint8_t> Copy(TqdBytes bytes) { return {bytes.begin(), bytes.end()}; }

// A length from the record: negative lengths are unreadable.
std::optional<size_t> Length(int32_t value) {
  if (value < 0) return std::nullopt;
  return static_cast<size_t>(value);
}

}  // namespace

std::optional<TqdReadRecordRequest> ReadReadRecordRequest(TqdBytes data) {
  FieldReader r(data, kReadRecordRequestSize);
  TqdReadRecordRequest request;
  request.CursorId = r.Int32();
  request.RecordLength = r.Int32();
  request.BookmarkSize = r.Int32();
  request.Lock = r.Byte();
  if (request.RecordLength < 0) return std::nullopt;
  return IfOk(r, request);
}

namespace {

std::optional<TqdBookmarkRequest> ReadBookmarks(TqdBytes data, int count) {
  FieldReader r(data, kBookmarkRequestSize);
  TqdBookmarkRequest request{};
  request.CursorId = r.Int32();
  request.BookmarkSize = r.Int32();
  auto size = Length(request.BookmarkSize);
  if (!size) return std::nullopt;
  if (count > 0) request.First = Copy(r.Bytes(*size));
  if (count > 1) request.Second = Copy(r.Bytes(*size));
  return IfOk(r, request);
}

}  // namespace

std::optional<TqdBookmarkRequest> ReadGetBookmarkRequest(TqdBytes data) { return ReadBookmarks(data, 0); }
std::optional<TqdBookmarkRequest> ReadSetToBookmarkRequest(TqdBytes data) { return ReadBookmarks(data, 1); }
std::optional<TqdBookmarkRequest> ReadCompareBookmarksRequest(TqdBytes data) { return ReadBookmarks(data, 2); }

std::optional<TqdKeyRequest> ReadSetToKeyRequest(TqdBytes data) {
  FieldReader r(data, kSetToKeyRequestSize);
  TqdKeyRequest request{};
  request.CursorId = r.Int32();
  request.Condition = r.Byte();
  request.KeyItself = r.Byte() != 0;
  request.FieldCount = r.Int32();
  request.PartialLength = r.Int32();
  auto keyLength = Length(r.Int32());
  if (!keyLength) return std::nullopt;
  request.Key = Copy(r.Bytes(*keyLength));
  return IfOk(r, request);
}

std::optional<TqdKeyRequest> ReadRecordForKeyRequest(TqdBytes data) {
  FieldReader r(data, kRecordForKeyRequestSize);
  TqdKeyRequest request{};
  request.CursorId = r.Int32();
  request.KeyItself = r.Byte() != 0;
  request.FieldCount = r.Int32();
  request.PartialLength = r.Int32();
  request.RecordLength = r.Int32();
  auto keyLength = Length(r.Int32());
  request.BookmarkSize = r.Int32();
  if (!keyLength || request.RecordLength < 0) return std::nullopt;
  request.Key = Copy(r.Bytes(*keyLength));
  return IfOk(r, request);
}

std::optional<TqdSetRangeRequest> ReadSetRangeRequest(TqdBytes data) {
  FieldReader r(data, kSetRangeRequestSize);
  TqdSetRangeRequest request{};
  request.CursorId = r.Int32();
  request.KeyItself = r.Byte() != 0;
  size_t lengths[2];
  TqdRangeEnd* ends[2] = {&request.Low, &request.High};
  for (int i = 0; i < 2; ++i) {
    ends[i]->FieldCount = r.Int32();
    ends[i]->PartialLength = r.Int32();
    auto length = Length(r.Int32());
    if (!length) return std::nullopt;
    lengths[i] = *length;
    ends[i]->Inclusive = r.Byte() != 0;
  }
  for (int i = 0; i < 2; ++i) {
    if (lengths[i] > 0) ends[i]->Key = Copy(r.Bytes(lengths[i]));
  }
  return IfOk(r, request);
}

std::optional<TqdExtractKeyRequest> ReadExtractKeyRequest(TqdBytes data) {
  FieldReader r(data, kExtractKeyRequestSize);
  TqdExtractKeyRequest request{};
  request.CursorId = r.Int32();
  request.KeyLength = r.Int32();
  const bool noRecord = r.Byte() != 0;
  if (request.KeyLength < 0) return std::nullopt;
  if (!noRecord) request.Record = Copy(data.subspan(std::min(data.size(), kExtractKeyRequestSize)));
  return IfOk(r, request);
}

std::optional<TqdWriteRecordRequest> ReadWriteRecordRequest(TqdBytes data) {
  FieldReader r(data, kWriteRecordHeadSize);
  TqdWriteRecordRequest request{};
  request.CursorId = r.Int32();
  auto length = Length(r.Int32());
  request.BookmarkSize = r.Int32();
  request.Flag = r.Byte();
  if (!length) return std::nullopt;
  request.Record = Copy(r.Bytes(*length));
  return IfOk(r, std::move(request));
}

std::optional<TqdDeleteRecordRequest> ReadDeleteRecordRequest(TqdBytes data) {
  FieldReader r(data, kDeleteRecordRequestSize);
  TqdDeleteRecordRequest request{};
  request.CursorId = r.Int32();
  request.RecordLength = r.Int32();
  if (request.RecordLength < 0) return std::nullopt;
  return IfOk(r, request);
}

std::optional<TqdLockRequest> ReadLockRequest(TqdBytes data, size_t size) {
  FieldReader r(data, size);
  TqdLockRequest request{};
  request.CursorId = r.Int32();
  request.First = r.Byte();
  if (size > kLockRequestSize) request.Second = r.Byte();
  return IfOk(r, request);
}

std::optional<TqdBlobRequest> ReadBlobRequest(TqdBytes data, TqdBlobFields fields) {
  using F = TqdBlobFields;
  const bool offset = fields == F::OffsetAndLength || fields == F::OffsetLengthAndBytes;
  const size_t size = 8 + (offset ? 8 : fields == F::Length ? 4 : 0);
  FieldReader r(data, size);
  TqdBlobRequest request;
  request.CursorId = r.Int32();
  request.Blob = r.Int32();
  if (offset) request.Offset = static_cast<uint32_t>(r.Int32());
  if (fields != F::Number) request.Length = static_cast<uint32_t>(r.Int32());
  if (fields == F::OffsetLengthAndBytes) request.Bytes = Copy(r.Bytes(request.Length));
  return IfOk(r, std::move(request));
}

std::optional<std::pair<int32_t, int32_t>> ReadTwoCursorsRequest(TqdBytes data) {
  FieldReader r(data, kTwoCursorsRequestSize);
  int32_t source = r.Int32();
  int32_t target = r.Int32();
  return IfOk(r, std::make_pair(source, target));
}

}  // namespace qd
