// The request records the call interface sends and the reply records it
// reads, each with its size as a named constant. Encoders fill a record of
// exactly that size (short strings are cut to their capacity, the bytes
// behind a string's characters are zero); decoders check the size before
// they read and answer nullopt for a short record.
// Thread rules: pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "dict/dict_types.h"

namespace qd {

inline constexpr size_t kWireNameCapacity = 31;   // table, index and alias names
inline constexpr size_t kWirePathCapacity = 219;  // database paths
inline constexpr size_t kWildcardCapacity = 35;

template <size_t N>
using TqdRecord = std::array<uint8_t, N>;

// One 32-bit value: close database (257), close session (513), task status
// (771), record count (1303), close cursor (1794); and the 4-byte replies
// (server session, database id, task number).
inline constexpr size_t kInt32RecordSize = 4;
TqdRecord<kInt32RecordSize> EncodeInt32Record(int32_t value);

// Open database (261): path 220 + open mode 1 + share mode 1. The modes
// are the BDE ones (0 read-write, 0 shared); the wire says 1 for those.
inline constexpr size_t kOpenDatabaseSize = 220 + 1 + 1;
TqdRecord<kOpenDatabaseSize> EncodeOpenDatabase(std::string_view path, int32_t openMode, int32_t shareMode);

// Add alias (260): alias name 32 + path 220.
inline constexpr size_t kAddAliasSize = 32 + 220;
TqdRecord<kAddAliasSize> EncodeAddAlias(std::string_view alias, std::string_view path);

// Table list (259): database id 4 + wildcard 36.
inline constexpr size_t kTableListSize = 4 + 36;
TqdRecord<kTableListSize> EncodeTableList(int32_t databaseId, std::string_view wildcard);

// Database id 4 + table name 32: get dictionary (1299), delete table
// (1301), pack (769).
inline constexpr size_t kTableRequestSize = 4 + 32;
TqdRecord<kTableRequestSize> EncodeTableRequest(int32_t databaseId, std::string_view table);

// Open table (1280): db 4 + table 32 + index name 32 + index id 4 + open 1 + share 1.
inline constexpr size_t kOpenTableSize = 4 + 32 + 32 + 4 + 1 + 1;
TqdRecord<kOpenTableSize> EncodeOpenTable(int32_t databaseId, std::string_view table, std::string_view indexName,
                                          int32_t indexId, int32_t openMode, int32_t shareMode);

// Restructure (1300), the part before the dictionary: db 4 + overwrite 1 + table 32.
inline constexpr size_t kRestructureHeaderSize = 4 + 1 + 32;
TqdRecord<kRestructureHeaderSize> EncodeRestructureHeader(int32_t databaseId, bool overwrite, std::string_view table);

// Rename table (1302): db 4 + old name 32 + new name 32.
inline constexpr size_t kRenameTableSize = 4 + 32 + 32;
TqdRecord<kRenameTableSize> EncodeRenameTable(int32_t databaseId, std::string_view oldName, std::string_view newName);

// Empty table (1304): db 4 + cursor id 4 + table 32.
inline constexpr size_t kEmptyTableSize = 4 + 4 + 32;
TqdRecord<kEmptyTableSize> EncodeEmptyTable(int32_t databaseId, int32_t cursorId, std::string_view table);

// Delete index (1306): db 4 + cursor id 4 + table 32 + index name 32 + index id 4.
inline constexpr size_t kDeleteIndexSize = 4 + 4 + 32 + 32 + 4;
TqdRecord<kDeleteIndexSize> EncodeDeleteIndex(int32_t databaseId, int32_t cursorId, std::string_view table,
                                              std::string_view indexName, int32_t indexId);

// Rebuild index (768): db 4 + table 32 + index name 32 (sent empty) + index number 4.
inline constexpr size_t kReindexSize = 4 + 32 + 32 + 4;
TqdRecord<kReindexSize> EncodeReindex(int32_t databaseId, std::string_view table, int32_t indexNumber);

// The index descriptor of an add-index request, as a cursor fills it.
struct TqdNewIndex {
  std::string Name;
  int32_t KeyFieldCount = 0;  // 0 to 16; callers refuse more, the encoder clamps
  std::array<int32_t, kMaxKeyFields> KeyFields{};  // zero-based
  bool AllowDuplicates = true;
  bool Ascending = true;
  bool CaseInsensitive = false;
};
// 0 4 + name 32 + text 64 + 0 4 + 0 4 + key field count 4 + 16 field
// numbers 64 + allow duplicates 1 + ascending 1 + case-insensitive 1.
inline constexpr size_t kIndexDescriptorSize = 4 + 32 + 64 + 4 + 4 + 4 + 64 + 1 + 1 + 1;
static_assert(kIndexDescriptorSize == 179);
// Add index (1305): db 4 + cursor id 4 + table name 32 (sent empty) + descriptor.
inline constexpr size_t kAddIndexSize = 4 + 4 + 32 + kIndexDescriptorSize;
TqdRecord<kIndexDescriptorSize> EncodeIndexDescriptor(const TqdNewIndex& index);
TqdRecord<kAddIndexSize> EncodeAddIndex(int32_t databaseId, int32_t cursorId,
                                        const TqdRecord<kIndexDescriptorSize>& descriptor);

// Begin transaction (1024): db 4 + fail-safe flag 1. End transaction
// (1025): transaction id 4 + commit 1.
inline constexpr size_t kTransactionSize = 4 + 1;
TqdRecord<kTransactionSize> EncodeBeginTran(int32_t databaseId, uint8_t failSafe);
TqdRecord<kTransactionSize> EncodeEndTran(int32_t transactionId, bool commit);

// Switch to index (1798): cursor id 4 + index name 32 + index id 4 + keep current 1.
inline constexpr size_t kSwitchToIndexSize = 4 + 32 + 4 + 1;
TqdRecord<kSwitchToIndexSize> EncodeSwitchToIndex(int32_t cursorId, std::string_view indexName, int32_t indexId,
                                                  bool keepCurrent);

// Task status reply (771): the 32-byte TaskStatus record, then the found flag.
inline constexpr size_t kTaskStatusSize = 32;
inline constexpr size_t kTaskStatusReplySize = kTaskStatusSize + 1;
inline constexpr size_t kTaskPercentDoneOffset = 20;
inline constexpr size_t kTaskFinishedOffset = 28;
struct TaskStatus {
  std::array<uint8_t, kTaskStatusSize> Bytes{};
  int32_t PercentDone() const;
  bool Finished() const { return Bytes[kTaskFinishedOffset] != 0; }
};
struct TqdTaskStatusReply {
  TaskStatus Status;
  bool Found = false;
};
std::optional<TqdTaskStatusReply> DecodeTaskStatusReply(std::span<const uint8_t> reply);

// Rows are read in place: their texts are views into the row's bytes,
// valid while those bytes are.

// Alias-list row (258): alias name 32 + path 220.
inline constexpr size_t kAliasRowSize = 32 + 220;
struct TqdAliasRow {
  std::string_view Name;
  std::string_view Path;
};
std::optional<TqdAliasRow> DecodeAliasRow(std::span<const uint8_t> row);

// Table-list row (259): name 32 + extension 4 + size 4 + 8 bytes the client
// does not read.
inline constexpr size_t kTableRowSize = 32 + 4 + 4 + 8;
struct TqdTableRow {
  std::string_view Name;
  std::string_view Extension;
  int32_t Size = 0;
};
std::optional<TqdTableRow> DecodeTableRow(std::span<const uint8_t> row);

}  // namespace qd

namespace qd {

class TqdMemoryStream;
class TqdDataDictionary;

// Open-table reply (1280), read from the stream's start: cursor id 4, the
// table's data dictionary in its stream form, the index id the server
// chose 4. The dictionary is read into `dictionary`; nullopt (with the
// dictionary cleared) when the reply is short, the dictionary malformed, or
// the index id not one of the dictionary's indexes.
struct TqdOpenTableReply {
  int32_t CursorId = -1;
  int32_t IndexId = 0;
};
std::optional<TqdOpenTableReply> DecodeOpenTableReply(TqdMemoryStream& reply, TqdDataDictionary& dictionary);

}  // namespace qd
