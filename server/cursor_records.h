// The records of the cursor requests the server reads: reads (2048-2050),
// bookmarks (1795, 1796, 1801), searches (1797, 2056), ranges (1799) and
// key extraction (2055). Each decoder checks the fixed part's size, then
// that the variable parts (keys, bookmarks, records) are all there; a
// length the record gives is never trusted beyond the bytes received.
// The variable parts are copied out of the request: the work on them is
// done on a worker after the request's bytes are gone.
// Thread rules: pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "server/field_reader.h"

namespace qd {

// Record reads (2048, 2049, 2050): cursor id 4, record length 4, bookmark
// size 4, lock type 1.
inline constexpr size_t kReadRecordRequestSize = 13;
struct TqdReadRecordRequest {
  int32_t CursorId;
  int32_t RecordLength;  // 0: the client gave no buffer
  int32_t BookmarkSize;
  uint8_t Lock;
};
std::optional<TqdReadRecordRequest> ReadReadRecordRequest(TqdBytes data);

// Get bookmark (1795): cursor id 4, bookmark size 4.
inline constexpr size_t kBookmarkRequestSize = 8;
struct TqdBookmarkRequest {
  int32_t CursorId;
  int32_t BookmarkSize;
  std::vector<uint8_t> First;   // set to bookmark (1796) and compare (1801)
  std::vector<uint8_t> Second;  // compare (1801)
};
std::optional<TqdBookmarkRequest> ReadGetBookmarkRequest(TqdBytes data);
// Set to bookmark (1796): the same and the bookmark.
std::optional<TqdBookmarkRequest> ReadSetToBookmarkRequest(TqdBytes data);
// Compare bookmarks (1801): the same and two bookmarks.
std::optional<TqdBookmarkRequest> ReadCompareBookmarksRequest(TqdBytes data);

// Set to key (1797): cursor id 4, search condition 1, key itself 1, field
// count 4, partial length 4, key length 4, the key.
inline constexpr size_t kSetToKeyRequestSize = 18;
struct TqdKeyRequest {
  int32_t CursorId;
  uint8_t Condition;  // 0 equal, 1 greater, 2 greater or equal
  bool KeyItself;
  int32_t FieldCount;
  int32_t PartialLength;
  int32_t RecordLength;  // get record for key (2056)
  int32_t BookmarkSize;  // get record for key (2056)
  std::vector<uint8_t> Key;
};
std::optional<TqdKeyRequest> ReadSetToKeyRequest(TqdBytes data);
// Get record for key (2056): cursor id 4, key itself 1, field count 4,
// partial length 4, record length 4, key length 4, bookmark size 4, the key.
inline constexpr size_t kRecordForKeyRequestSize = 25;
std::optional<TqdKeyRequest> ReadRecordForKeyRequest(TqdBytes data);

// Set range (1799): cursor id 4, key itself 1, then for the low and the
// high end: field count 4, partial length 4, key length 4 (0: open end),
// inclusive 1; then the low key and the high key.
inline constexpr size_t kSetRangeRequestSize = 31;
struct TqdRangeEnd {
  int32_t FieldCount;
  int32_t PartialLength;
  bool Inclusive;
  std::optional<std::vector<uint8_t>> Key;  // none: the range is open at this end
};
struct TqdSetRangeRequest {
  int32_t CursorId;
  bool KeyItself;
  TqdRangeEnd Low, High;
};
std::optional<TqdSetRangeRequest> ReadSetRangeRequest(TqdBytes data);

// Extract key (2055): cursor id 4, key length 4, no record 1 (1: the
// current record's key), the record.
inline constexpr size_t kExtractKeyRequestSize = 9;
struct TqdExtractKeyRequest {
  int32_t CursorId;
  int32_t KeyLength;
  std::optional<std::vector<uint8_t>> Record;
};
std::optional<TqdExtractKeyRequest> ReadExtractKeyRequest(TqdBytes data);

// Insert (2053) and modify (2054): cursor id 4, record length 4, bookmark
// size 4, a flag 1 (insert: the lock type; modify: release the lock), the
// record.
inline constexpr size_t kWriteRecordHeadSize = 13;
struct TqdWriteRecordRequest {
  int32_t CursorId;
  int32_t BookmarkSize;
  uint8_t Flag;
  std::vector<uint8_t> Record;
};
std::optional<TqdWriteRecordRequest> ReadWriteRecordRequest(TqdBytes data);

// Lock requests: acquire (1296) and is-locked (1298): cursor id 4, lock
// type 1; release table lock (1297): cursor id 4, all 1, lock type 1;
// release record lock (2051): cursor id 4, all 1.
inline constexpr size_t kLockRequestSize = 5;
inline constexpr size_t kRelTableLockRequestSize = 6;
struct TqdLockRequest {
  int32_t CursorId;
  uint8_t First;   // the lock type, or "all"
  uint8_t Second;  // the lock type after "all" (1297)
};
std::optional<TqdLockRequest> ReadLockRequest(TqdBytes data, size_t size);

// BLOB requests: cursor id 4, then the BLOB number 4 (all but create,
// 1536), then: get (1538) offset 4 and length 4; truncate (1540) length 4;
// put (1541) offset 4, length 4 and the bytes; size (1539) and free (1542)
// nothing more.
struct TqdBlobRequest {
  int32_t CursorId = 0;
  int32_t Blob = 0;
  uint32_t Offset = 0;
  uint32_t Length = 0;
  std::vector<uint8_t> Bytes;  // put
};
enum class TqdBlobFields { Number, Length, OffsetAndLength, OffsetLengthAndBytes };
std::optional<TqdBlobRequest> ReadBlobRequest(TqdBytes data, TqdBlobFields fields);

// Set to cursor (1803): the source cursor's id 4, then this cursor's id 4.
inline constexpr size_t kTwoCursorsRequestSize = 8;
std::optional<std::pair<int32_t, int32_t>> ReadTwoCursorsRequest(TqdBytes data);

// Delete (2052): cursor id 4, record length 4 (0: no buffer for the record
// deleted).
inline constexpr size_t kDeleteRecordRequestSize = 8;
struct TqdDeleteRecordRequest {
  int32_t CursorId;
  int32_t RecordLength;
};
std::optional<TqdDeleteRecordRequest> ReadDeleteRecordRequest(TqdBytes data);

}  // namespace qd
