#include "server/wire_records.h"

#include "base/endian.h"
#include "server/field_reader.h"

namespace qd {

std::vector<uint8_t> Int32Reply(int32_t value) {
  std::vector<uint8_t> out(4);
  PutInt32LE(out.data(), value);
  return out;
}

std::optional<int32_t> ReadIdRequest(TqdBytes data) {
  FieldReader r(data, kIdRequestSize);
  int32_t id = r.Int32();
  return IfOk(r, id);
}

void AppendAliasRow(std::vector<uint8_t>& out, const std::string& name, const std::string& path) {
  size_t at = out.size();
  out.resize(at + kAliasRowSize, 0);
  PutShortString(out.data() + at, name, kNameCapacity);
  PutShortString(out.data() + at + 32, path, kPathCapacity);
}

std::optional<TqdTableListRequest> ReadTableListRequest(TqdBytes data) {
  FieldReader r(data, kTableListRequestSize);
  TqdTableListRequest request;
  request.DatabaseId = r.Int32();
  request.Pattern = r.Name(kWildcardCapacity);
  return IfOk(r, std::move(request));
}

void AppendTableRow(std::vector<uint8_t>& out, const std::string& name, const std::string& extension,
                    int32_t records, int32_t deleted, int32_t indexes) {
  size_t at = out.size();
  out.resize(at + kTableRowSize, 0);
  uint8_t* p = out.data() + at;
  PutShortString(p, name, kNameCapacity);
  PutShortString(p + 32, extension, 3);
  PutInt32LE(p + 36, records);
  PutInt32LE(p + 40, deleted);
  PutInt32LE(p + 44, indexes);
}

std::optional<TqdAddAliasRequest> ReadAddAliasRequest(TqdBytes data) {
  FieldReader r(data, kAddAliasRequestSize);
  TqdAddAliasRequest request;
  request.Name = r.Name(kNameCapacity);
  request.Path = r.Name(kPathCapacity);
  return IfOk(r, std::move(request));
}

std::optional<std::string> ReadOpenDatabaseRequest(TqdBytes data) {
  FieldReader r(data, kOpenDatabaseRequestSize);
  std::string path = r.Name(kPathCapacity);
  return IfOk(r, std::move(path));
}

std::optional<TqdOpenTableRequest> ReadOpenTableRequest(TqdBytes data) {
  FieldReader r(data, kOpenTableRequestSize);
  TqdOpenTableRequest request;
  request.DatabaseId = r.Int32();
  request.Table = r.Name(kNameCapacity);
  request.IndexName = r.Name(kNameCapacity);
  request.IndexId = r.Int32();
  request.ReadWrite = r.Byte() != 0;
  request.Shared = r.Byte() != 0;
  return IfOk(r, std::move(request));
}

std::optional<TqdTableRequest> ReadTableRequest(TqdBytes data) {
  FieldReader r(data, kTableRequestSize);
  TqdTableRequest request;
  request.DatabaseId = r.Int32();
  request.Table = r.Name(kNameCapacity);
  return IfOk(r, std::move(request));
}

std::optional<TqdRenameTableRequest> ReadRenameTableRequest(TqdBytes data) {
  FieldReader r(data, kRenameTableRequestSize);
  TqdRenameTableRequest request;
  request.DatabaseId = r.Int32();
  request.From = r.Name(kNameCapacity);
  request.To = r.Name(kNameCapacity);
  return IfOk(r, std::move(request));
}

namespace {

TqdCursorTableRequest ReadCursorTable(FieldReader& r) {
  TqdCursorTableRequest request;
  request.DatabaseId = r.Int32();
  request.CursorId = r.Int32();
  request.Table = r.Name(kNameCapacity);
  return request;
}

}  // namespace

std::optional<TqdCursorTableRequest> ReadEmptyTableRequest(TqdBytes data) {
  FieldReader r(data, kEmptyTableRequestSize);
  TqdCursorTableRequest request = ReadCursorTable(r);
  return IfOk(r, std::move(request));
}

std::optional<TqdCursorTableRequest> ReadDeleteIndexRequest(TqdBytes data) {
  FieldReader r(data, kDeleteIndexRequestSize);
  TqdCursorTableRequest request = ReadCursorTable(r);
  request.IndexName = r.Name(kNameCapacity);
  request.IndexId = r.Int32();
  return IfOk(r, std::move(request));
}

std::optional<TqdSwitchToIndexRequest> ReadSwitchToIndexRequest(TqdBytes data) {
  FieldReader r(data, kSwitchToIndexRequestSize);
  TqdSwitchToIndexRequest request;
  request.CursorId = r.Int32();
  request.IndexName = r.Name(kNameCapacity);
  request.IndexId = r.Int32();
  request.KeepCurrent = r.Byte() != 0;
  return IfOk(r, std::move(request));
}

std::optional<TqdReindexRequest> ReadReindexRequest(TqdBytes data) {
  FieldReader r(data, kReindexRequestSize);
  TqdReindexRequest request;
  request.DatabaseId = r.Int32();
  request.Table = r.Name(kNameCapacity);
  request.IndexName = r.Name(kNameCapacity);
  request.IndexNumber = r.Int32();
  return IfOk(r, std::move(request));
}

std::optional<TqdRestructureRequest> ReadRestructureRequest(TqdBytes data) {
  FieldReader r(data, kRestructureHeaderSize);
  TqdRestructureRequest request;
  request.DatabaseId = r.Int32();
  request.Overwrite = r.Byte() != 0;
  request.Table = r.Name(kNameCapacity);
  if (r.Ok()) request.Dictionary = data.subspan(kRestructureHeaderSize);
  return IfOk(r, std::move(request));
}

std::optional<TqdAddIndexRequest> ReadAddIndexRequest(TqdBytes data) {
  FieldReader r(data, kAddIndexRequestSize);
  TqdAddIndexRequest request;
  request.DatabaseId = r.Int32();
  request.CursorId = r.Int32();
  request.Table = r.Name(kNameCapacity);
  r.Int32();  // the descriptor's index number: the server numbers new indexes itself
  request.Name = r.Name(kNameCapacity);
  if (!r.Ok()) return std::nullopt;
  const uint8_t* d = data.data() + 40;
  request.KeyFieldCount = GetInt32LE(d + 108);
  if (request.KeyFieldCount >= 0 && request.KeyFieldCount <= 16) {
    for (int32_t i = 0; i < request.KeyFieldCount; ++i) request.FieldNumbers.push_back(GetInt32LE(d + 112 + 4 * i));
  }
  request.AllowDuplicates = d[176] != 0;
  request.Ascending = d[177] != 0;
  request.CaseInsensitive = d[178] != 0;
  return request;
}

std::optional<std::pair<int32_t, uint8_t>> ReadTransactionRequest(TqdBytes data) {
  FieldReader r(data, kTransactionRequestSize);
  int32_t id = r.Int32();
  uint8_t flag = r.Byte();
  return IfOk(r, std::make_pair(id, flag));
}

std::array<uint8_t, kTaskStatusReplySize> EncodeTaskStatusReply(const TqdTaskStatusRecord& s) {
  std::array<uint8_t, kTaskStatusReplySize> out{};
  if (!s.Found) return out;
  uint8_t* p = out.data();
  PutInt32LE(p, s.TaskNumber);
  PutUInt32LE(p + 4, s.Result);
  PutInt64LE(p + 8, s.Done);
  PutInt32LE(p + 16, static_cast<int32_t>(s.Total > INT32_MAX ? INT32_MAX : s.Total));
  PutInt32LE(p + kPercentDoneOffset, s.PercentDone);
  PutUInt8(p + 24, s.Kind);
  PutUInt8(p + kFinishedOffset, s.Finished ? 1 : 0);
  out[kTaskStatusSize] = 1;
  return out;
}

}  // namespace qd
