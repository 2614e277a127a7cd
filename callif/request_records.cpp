#include "callif/request_records.h"

#include <algorithm>

#include "base/endian.h"
#include "base/stream.h"
#include "dict/QDLLDict.h"

namespace qd {

namespace {

constexpr size_t kNameField = kWireNameCapacity + 1;

uint8_t WireFlag(bool value) { return value ? 1 : 0; }

// A short string seen in place; a length byte above the capacity is the
// peer's fault and is cut to the capacity.
std::string_view ShortStringView(const uint8_t* p, size_t capacity) {
  return {reinterpret_cast<const char*>(p + 1), std::min<size_t>(p[0], capacity)};
}

}  // namespace

TqdRecord<kInt32RecordSize> EncodeInt32Record(int32_t value) {
  TqdRecord<kInt32RecordSize> r{};
  PutInt32LE(r.data(), value);
  return r;
}

TqdRecord<kOpenDatabaseSize> EncodeOpenDatabase(std::string_view path, int32_t openMode, int32_t shareMode) {
  TqdRecord<kOpenDatabaseSize> r{};
  PutShortString(r.data(), path, kWirePathCapacity);
  r[220] = WireFlag(openMode == 0);
  r[221] = WireFlag(shareMode == 0);
  return r;
}

TqdRecord<kAddAliasSize> EncodeAddAlias(std::string_view alias, std::string_view path) {
  TqdRecord<kAddAliasSize> r{};
  PutShortString(r.data(), alias, kWireNameCapacity);
  PutShortString(r.data() + kNameField, path, kWirePathCapacity);
  return r;
}

TqdRecord<kTableListSize> EncodeTableList(int32_t databaseId, std::string_view wildcard) {
  TqdRecord<kTableListSize> r{};
  PutInt32LE(r.data(), databaseId);
  PutShortString(r.data() + 4, wildcard, kWildcardCapacity);
  return r;
}

TqdRecord<kTableRequestSize> EncodeTableRequest(int32_t databaseId, std::string_view table) {
  TqdRecord<kTableRequestSize> r{};
  PutInt32LE(r.data(), databaseId);
  PutShortString(r.data() + 4, table, kWireNameCapacity);
  return r;
}

TqdRecord<kOpenTableSize> EncodeOpenTable(int32_t databaseId, std::string_view table, std::string_view indexName,
                                          int32_t indexId, int32_t openMode, int32_t shareMode) {
  TqdRecord<kOpenTableSize> r{};
  PutInt32LE(r.data(), databaseId);
  PutShortString(r.data() + 4, table, kWireNameCapacity);
  PutShortString(r.data() + 36, indexName, kWireNameCapacity);
  PutInt32LE(r.data() + 68, indexId);
  r[72] = WireFlag(openMode == 0);
  r[73] = WireFlag(shareMode == 0);
  return r;
}

TqdRecord<kRestructureHeaderSize> EncodeRestructureHeader(int32_t databaseId, bool overwrite, std::string_view table) {
  TqdRecord<kRestructureHeaderSize> r{};
  PutInt32LE(r.data(), databaseId);
  r[4] = WireFlag(overwrite);
  PutShortString(r.data() + 5, table, kWireNameCapacity);
  return r;
}

TqdRecord<kRenameTableSize> EncodeRenameTable(int32_t databaseId, std::string_view oldName, std::string_view newName) {
  TqdRecord<kRenameTableSize> r{};
  PutInt32LE(r.data(), databaseId);
  PutShortString(r.data() + 4, oldName, kWireNameCapacity);
  PutShortString(r.data() + 36, newName, kWireNameCapacity);
  return r;
}

TqdRecord<kEmptyTableSize> EncodeEmptyTable(int32_t databaseId, int32_t cursorId, std::string_view table) {
  TqdRecord<kEmptyTableSize> r{};
  PutInt32LE(r.data(), databaseId);
  PutInt32LE(r.data() + 4, cursorId);
  PutShortString(r.data() + 8, table, kWireNameCapacity);
  return r;
}

TqdRecord<kDeleteIndexSize> EncodeDeleteIndex(int32_t databaseId, int32_t cursorId, std::string_view table,
                                              std::string_view indexName, int32_t indexId) {
  TqdRecord<kDeleteIndexSize> r{};
  PutInt32LE(r.data(), databaseId);
  PutInt32LE(r.data() + 4, cursorId);
  PutShortString(r.data() + 8, table, kWireNameCapacity);
  PutShortString(r.data() + 40, indexName, kWireNameCapacity);
  PutInt32LE(r.data() + 72, indexId);
  return r;
}

TqdRecord<kReindexSize> EncodeReindex(int32_t databaseId, std::string_view table, int32_t indexNumber) {
  TqdRecord<kReindexSize> r{};
  PutInt32LE(r.data(), databaseId);
  PutShortString(r.data() + 4, table, kWireNameCapacity);
  // The index name at 36 is always sent empty: the number decides.
  PutInt32LE(r.data() + 68, indexNumber);
  return r;
}

TqdRecord<kIndexDescriptorSize> EncodeIndexDescriptor(const TqdNewIndex& index) {
  TqdRecord<kIndexDescriptorSize> r{};
  PutShortString(r.data() + 4, index.Name, kWireNameCapacity);
  int32_t count = index.KeyFieldCount < 0 ? 0 : (index.KeyFieldCount > kMaxKeyFields ? kMaxKeyFields : index.KeyFieldCount);
  PutInt32LE(r.data() + 108, count);
  for (int32_t i = 0; i < count; ++i) PutInt32LE(r.data() + 112 + 4 * i, index.KeyFields[static_cast<size_t>(i)]);
  r[176] = WireFlag(index.AllowDuplicates);
  r[177] = WireFlag(index.Ascending);
  r[178] = WireFlag(index.CaseInsensitive);
  return r;
}

TqdRecord<kAddIndexSize> EncodeAddIndex(int32_t databaseId, int32_t cursorId,
                                        const TqdRecord<kIndexDescriptorSize>& descriptor) {
  TqdRecord<kAddIndexSize> r{};
  PutInt32LE(r.data(), databaseId);
  PutInt32LE(r.data() + 4, cursorId);
  std::copy(descriptor.begin(), descriptor.end(), r.begin() + 40);
  return r;
}

TqdRecord<kTransactionSize> EncodeBeginTran(int32_t databaseId, uint8_t failSafe) {
  TqdRecord<kTransactionSize> r{};
  PutInt32LE(r.data(), databaseId);
  r[4] = failSafe;
  return r;
}

TqdRecord<kTransactionSize> EncodeEndTran(int32_t transactionId, bool commit) {
  TqdRecord<kTransactionSize> r{};
  PutInt32LE(r.data(), transactionId);
  r[4] = WireFlag(commit);
  return r;
}

TqdRecord<kSwitchToIndexSize> EncodeSwitchToIndex(int32_t cursorId, std::string_view indexName, int32_t indexId,
                                                  bool keepCurrent) {
  TqdRecord<kSwitchToIndexSize> r{};
  PutInt32LE(r.data(), cursorId);
  PutShortString(r.data() + 4, indexName, kWireNameCapacity);
  PutInt32LE(r.data() + 36, indexId);
  r[40] = WireFlag(keepCurrent);
  return r;
}

int32_t TaskStatus::PercentDone() const { return GetInt32LE(Bytes.data() + kTaskPercentDoneOffset); }

std::optional<TqdTaskStatusReply> DecodeTaskStatusReply(std::span<const uint8_t> reply) {
  if (reply.size() < kTaskStatusReplySize) return std::nullopt;
  TqdTaskStatusReply r;
  std::copy(reply.begin(), reply.begin() + kTaskStatusSize, r.Status.Bytes.begin());
  r.Found = reply[kTaskStatusSize] != 0;
  return r;
}

std::optional<TqdAliasRow> DecodeAliasRow(std::span<const uint8_t> row) {
  if (row.size() < kAliasRowSize) return std::nullopt;
  return TqdAliasRow{ShortStringView(row.data(), kWireNameCapacity),
                     ShortStringView(row.data() + kNameField, kWirePathCapacity)};
}

std::optional<TqdTableRow> DecodeTableRow(std::span<const uint8_t> row) {
  if (row.size() < kTableRowSize) return std::nullopt;
  return TqdTableRow{ShortStringView(row.data(), kWireNameCapacity), ShortStringView(row.data() + 32, 3),
                     GetInt32LE(row.data() + 36)};
}

}  // namespace qd

namespace qd {

std::optional<TqdOpenTableReply> DecodeOpenTableReply(TqdMemoryStream& reply, TqdDataDictionary& dictionary) {
  // Whatever the refusal, the cursor must not go on with the dictionary of
  // the table it had before: every way out without a value clears it.
  auto refuse = [&dictionary]() -> std::optional<TqdOpenTableReply> {
    dictionary.ClearAll(true);
    return std::nullopt;
  };
  TqdOpenTableReply r;
  uint8_t word[4];
  reply.Seek(0);
  if (!reply.ReadExact(word, sizeof word)) return refuse();
  r.CursorId = GetInt32LE(word);
  try {
    dictionary.LoadFromStream(reply);
  } catch (const std::exception&) {
    return refuse();
  }
  if (!reply.ReadExact(word, sizeof word)) return refuse();
  r.IndexId = GetInt32LE(word);
  if (r.IndexId < 0 || r.IndexId >= dictionary.IndexCount()) return refuse();
  return r;
}

}  // namespace qd
