// The records of the cursor requests a client table sends: record reads
// (2048-2050), bookmarks (1795, 1796, 1801), searches (1797, 2056), ranges
// (1799) and key extraction (2055). All numbers little-endian; the cursor
// id first. Keys, bookmarks and records follow the fixed part as given.
// Thread rules: pure functions.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "callif/request_records.h"

namespace qd {

using TqdBytesIn = std::span<const uint8_t>;

// Reads (2048, 2049, 2050): id 4, record length 4, bookmark size 4, lock 1.
inline constexpr size_t kReadRecordSize = 13;
TqdRecord<kReadRecordSize> EncodeReadRecord(int32_t cursorId, int32_t recordLength, int32_t bookmarkSize,
                                            uint8_t lock);

// Get bookmark (1795): id 4, bookmark size 4; set to bookmark (1796) adds
// the bookmark; compare (1801) adds two.
inline constexpr size_t kBookmarkHeadSize = 8;
std::vector<uint8_t> EncodeBookmarkRequest(int32_t cursorId, int32_t bookmarkSize,
                                           std::initializer_list<TqdBytesIn> bookmarks = {});

// Set to key (1797): id 4, search condition 1, key itself 1, field count 4,
// partial length 4, key length 4, the key.
inline constexpr size_t kSetToKeyHeadSize = 18;
std::vector<uint8_t> EncodeSetToKey(int32_t cursorId, uint8_t condition, bool keyItself, int32_t fieldCount,
                                    int32_t partialLength, TqdBytesIn key);

// Get record for key (2056): id 4, key itself 1, field count 4, partial
// length 4, record length 4, key length 4, bookmark size 4, the key.
inline constexpr size_t kRecordForKeyHeadSize = 25;
std::vector<uint8_t> EncodeRecordForKey(int32_t cursorId, bool keyItself, int32_t fieldCount, int32_t partialLength,
                                        int32_t recordLength, int32_t bookmarkSize, TqdBytesIn key);

// Set range (1799): id 4, key itself 1; low and high: field count 4,
// partial length 4, key length 4 (0 without a key), inclusive 1; then the
// low key and the high key.
inline constexpr size_t kSetRangeHeadSize = 31;
struct TqdRangeKey {
  int32_t FieldCount = 0;
  int32_t PartialLength = 0;
  const uint8_t* Key = nullptr;  // none: open at this end
  int32_t KeyLength = 0;
  bool Inclusive = true;
};
std::vector<uint8_t> EncodeSetRange(int32_t cursorId, bool keyItself, const TqdRangeKey& low, const TqdRangeKey& high);

// Extract key (2055): id 4, key length 4, no record 1, the record (absent
// when none).
inline constexpr size_t kExtractKeyHeadSize = 9;
std::vector<uint8_t> EncodeExtractKey(int32_t cursorId, int32_t keyLength, TqdBytesIn record);

// Insert (2053) and modify (2054): id 4, record length 4, bookmark size 4,
// a flag 1 (insert: the lock type; modify: release the lock), the record.
inline constexpr size_t kWriteRecordHeadSize = 13;
std::vector<uint8_t> EncodeWriteRecord(int32_t cursorId, int32_t bookmarkSize, uint8_t flag, TqdBytesIn record);

// Acquire table lock (1296), is table locked (1298) and release record
// lock (2051): id 4, one byte (the lock type, or "all"); release table lock
// (1297): id 4, all 1, lock type 1.
inline constexpr size_t kLockRecordSize = 5;
TqdRecord<kLockRecordSize> EncodeLockRequest(int32_t cursorId, uint8_t value);
inline constexpr size_t kRelTableLockSize = 6;
TqdRecord<kRelTableLockSize> EncodeRelTableLock(int32_t cursorId, bool all, uint8_t lock);

// BLOB requests: id 4, BLOB number 4, then for get (1538) and put (1541)
// offset 4 and length 4 (put: then the bytes), for truncate (1540) the
// length 4; size (1539) and free (1542) nothing more.
std::vector<uint8_t> EncodeBlobRequest(int32_t cursorId, int32_t blob, std::initializer_list<uint32_t> numbers,
                                       TqdBytesIn bytes = {});

// Two words: delete (2052) is the id and the record length (0 without a
// record buffer); set to cursor (1803) the source cursor's id, then this
// cursor's.
inline constexpr size_t kTwoWordsSize = 8;
TqdRecord<kTwoWordsSize> EncodeTwoWords(int32_t first, int32_t second);

}  // namespace qd
