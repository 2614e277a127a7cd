// The records of the requests the server reads and the replies it writes,
// each with its size as a named constant. Every request is read through one
// decoder that checks the size first and answers nullopt for a short
// record or a name with a NUL byte in it (a NUL would end the comparison
// of a name early, so "sales\0../../etc" could pass for "sales"); short
// strings are cut to their capacity (a length byte above it never reads
// past the field).
// Thread rules: pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace qd {

using TqdBytes = std::span<const uint8_t>;

inline constexpr size_t kNameCapacity = 31;  // table, index and alias names
inline constexpr size_t kPathCapacity = 219;

// A request that is one 32-bit id: close session (513), close database
// (257), close cursor (1794), task status (771).
inline constexpr size_t kIdRequestSize = 4;
std::optional<int32_t> ReadIdRequest(TqdBytes data);

// Alias-list row (258): alias name 32 + path 220.
inline constexpr size_t kAliasRowSize = 32 + 220;
void AppendAliasRow(std::vector<uint8_t>& out, const std::string& name, const std::string& path);

// Table-list request (259): database id 4 + wildcard 36.
inline constexpr size_t kTableListRequestSize = 4 + 36;
inline constexpr size_t kWildcardCapacity = 35;
struct TqdTableListRequest {
  int32_t DatabaseId;
  std::string Pattern;
};
std::optional<TqdTableListRequest> ReadTableListRequest(TqdBytes data);
// Table-list row: name 32 + extension 4 + size 4 + further data 8 (here the
// number of deleted records and of indexes, index 0 included).
inline constexpr size_t kTableRowSize = 32 + 4 + 4 + 8;
void AppendTableRow(std::vector<uint8_t>& out, const std::string& name, const std::string& extension,
                    int32_t records, int32_t deleted, int32_t indexes);

// Add alias (260): alias name 32 + path 220.
inline constexpr size_t kAddAliasRequestSize = 32 + 220;
struct TqdAddAliasRequest {
  std::string Name;
  std::string Path;
};
std::optional<TqdAddAliasRequest> ReadAddAliasRequest(TqdBytes data);

// Open database (261): path 220 + open mode 1 + share mode 1.
inline constexpr size_t kOpenDatabaseRequestSize = 220 + 1 + 1;
// The path (or alias name) to open.
std::optional<std::string> ReadOpenDatabaseRequest(TqdBytes data);

// Open table (1280): db 4 + table 32 + index name 32 + index id 4 + open 1 + share 1.
inline constexpr size_t kOpenTableRequestSize = 4 + 32 + 32 + 4 + 1 + 1;
struct TqdOpenTableRequest {
  int32_t DatabaseId;
  std::string Table;
  std::string IndexName;
  int32_t IndexId;
  bool ReadWrite;  // open byte 1
  bool Shared;     // share byte 1; 0 asks for the table alone
};
std::optional<TqdOpenTableRequest> ReadOpenTableRequest(TqdBytes data);

// Database id 4 + table 32: get dictionary (1299), delete table (1301), pack (769).
inline constexpr size_t kTableRequestSize = 4 + 32;
struct TqdTableRequest {
  int32_t DatabaseId;
  std::string Table;
};
std::optional<TqdTableRequest> ReadTableRequest(TqdBytes data);

// Rename table (1302): db 4 + old 32 + new 32.
inline constexpr size_t kRenameTableRequestSize = 4 + 32 + 32;
struct TqdRenameTableRequest {
  int32_t DatabaseId;
  std::string From;
  std::string To;
};
std::optional<TqdRenameTableRequest> ReadRenameTableRequest(TqdBytes data);

// Empty table (1304): db 4 + cursor 4 + table 32. Delete index (1306): the
// same, then index name 32 + index id 4. An empty table name means the
// table of the cursor.
inline constexpr size_t kEmptyTableRequestSize = 4 + 4 + 32;
inline constexpr size_t kDeleteIndexRequestSize = kEmptyTableRequestSize + 32 + 4;
struct TqdCursorTableRequest {
  int32_t DatabaseId;
  int32_t CursorId;
  std::string Table;
  std::string IndexName;  // delete index only
  int32_t IndexId = 0;    // delete index only
};
std::optional<TqdCursorTableRequest> ReadEmptyTableRequest(TqdBytes data);
std::optional<TqdCursorTableRequest> ReadDeleteIndexRequest(TqdBytes data);

// Switch to index (1798): cursor 4 + index name 32 + index id 4 + keep
// current record 1. An empty index name means the index of that id.
inline constexpr size_t kSwitchToIndexRequestSize = 4 + 32 + 4 + 1;
struct TqdSwitchToIndexRequest {
  int32_t CursorId;
  std::string IndexName;
  int32_t IndexId;
  bool KeepCurrent;
};
std::optional<TqdSwitchToIndexRequest> ReadSwitchToIndexRequest(TqdBytes data);

// Rebuild index (768): db 4 + table 32 + index name 32 + index number 4.
inline constexpr size_t kReindexRequestSize = 4 + 32 + 32 + 4;
struct TqdReindexRequest {
  int32_t DatabaseId;
  std::string Table;
  std::string IndexName;
  int32_t IndexNumber;
};
std::optional<TqdReindexRequest> ReadReindexRequest(TqdBytes data);

// Restructure (1300): db 4 + overwrite 1 + table 32, then the dictionary.
inline constexpr size_t kRestructureHeaderSize = 4 + 1 + 32;
struct TqdRestructureRequest {
  int32_t DatabaseId;
  bool Overwrite;
  std::string Table;
  TqdBytes Dictionary;  // points into the request
};
std::optional<TqdRestructureRequest> ReadRestructureRequest(TqdBytes data);

// Add index (1305): db 4 + cursor 4 + table 32 + descriptor 179.
inline constexpr size_t kIndexDescriptorSize = 4 + 32 + 64 + 4 + 4 + 4 + 64 + 1 + 1 + 1;
inline constexpr size_t kAddIndexRequestSize = 4 + 4 + 32 + kIndexDescriptorSize;
struct TqdAddIndexRequest {
  int32_t DatabaseId;
  int32_t CursorId;
  std::string Table;
  std::string Name;
  int32_t KeyFieldCount;  // as sent; checked by the caller
  std::vector<int32_t> FieldNumbers;
  bool AllowDuplicates;
  bool Ascending;
  bool CaseInsensitive;
};
std::optional<TqdAddIndexRequest> ReadAddIndexRequest(TqdBytes data);

// Begin transaction (1024): database id 4, fail-safe 1; end (1025):
// transaction id 4, commit 1.
inline constexpr size_t kTransactionRequestSize = 5;
std::optional<std::pair<int32_t, uint8_t>> ReadTransactionRequest(TqdBytes data);

// Task status reply (771): TaskStatus 32 + found 1. The bytes the client
// does not read carry: task number 4, result code of the work 4 (0 while
// running or when it succeeded), rows done 8, rows to do 4 (cut), kind 1.
inline constexpr size_t kTaskStatusSize = 32;
inline constexpr size_t kTaskStatusReplySize = kTaskStatusSize + 1;
inline constexpr size_t kPercentDoneOffset = 20;
inline constexpr size_t kFinishedOffset = 28;
struct TqdTaskStatusRecord {
  bool Found = false;
  int32_t TaskNumber = 0;
  uint16_t Result = 0;
  int64_t Done = 0;
  int64_t Total = 0;
  uint8_t Kind = 0;
  int32_t PercentDone = 0;
  bool Finished = false;
};
std::array<uint8_t, kTaskStatusReplySize> EncodeTaskStatusReply(const TqdTaskStatusRecord& status);

// A little-endian 32-bit integer as a 4-byte reply.
std::vector<uint8_t> Int32Reply(int32_t value);

}  // namespace qd
