#include "server/wire_records.h"

#include "base/endian.h"

namespace qd {

std::string ShortStringAt(TqdBytes data, size_t offset, size_t capacity) {
  return GetShortString(data.data() + offset, capacity);
}

std::vector<uint8_t> Int32Reply(int32_t value) {
  std::vector<uint8_t> out(4);
  PutInt32LE(out.data(), value);
  return out;
}

void AppendAliasRow(std::vector<uint8_t>& out, const std::string& name, const std::string& path) {
  size_t at = out.size();
  out.resize(at + kAliasRowSize, 0);
  PutShortString(out.data() + at, name, 31);
  PutShortString(out.data() + at + 32, path, kPathCapacity);
}

void AppendTableRow(std::vector<uint8_t>& out, const std::string& name, const std::string& extension,
                    int32_t records, int32_t deleted, int32_t indexes) {
  size_t at = out.size();
  out.resize(at + kTableRowSize, 0);
  uint8_t* p = out.data() + at;
  PutShortString(p, name, 31);
  PutShortString(p + 32, extension, 3);
  PutInt32LE(p + 36, records);
  PutInt32LE(p + 40, deleted);
  PutInt32LE(p + 44, indexes);
}

std::optional<TqdOpenTableRequest> ReadOpenTableRequest(TqdBytes data) {
  if (data.size() < kOpenTableRequestSize) return std::nullopt;
  return TqdOpenTableRequest{GetInt32LE(data.data()), ShortStringAt(data, 4, 31),
                             ShortStringAt(data, 36, 31), GetInt32LE(data.data() + 68)};
}

std::optional<TqdAddIndexRequest> ReadAddIndexRequest(TqdBytes data) {
  if (data.size() < kAddIndexRequestSize) return std::nullopt;
  const uint8_t* d = data.data() + 40;
  TqdAddIndexRequest r{GetInt32LE(data.data()), GetInt32LE(data.data() + 4), ShortStringAt(data, 8, 31),
                       GetShortString(d + 4, 31), GetInt32LE(d + 108), {}, d[176] != 0, d[177] != 0,
                       d[178] != 0};
  if (r.KeyFieldCount >= 0 && r.KeyFieldCount <= 16) {
    for (int32_t i = 0; i < r.KeyFieldCount; ++i) r.FieldNumbers.push_back(GetInt32LE(d + 112 + 4 * i));
  }
  return r;
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
