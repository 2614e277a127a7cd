#include "comms/bundle.h"

#include "base/endian.h"

namespace qd {

bool ParseBundle(std::span<const uint8_t> data, std::vector<TqdBundleRecord>& out, size_t maxRecords) {
  out.clear();
  size_t offset = 0;
  while (offset < data.size()) {
    size_t left = data.size() - offset;
    if (left < kBundleRecordHeaderSize) break;
    const uint8_t* p = data.data() + offset;
    uint32_t length = GetUInt32LE(p + 4);
    if (length < kBundleRecordHeaderSize || length > left || p[10] > 1 || out.size() == maxRecords) break;
    TqdBundleRecord record;
    record.MsgID = GetUInt32LE(p);
    record.ResultCode = GetUInt16LE(p + 8);
    record.DataKind = p[10];
    record.Data = data.subspan(offset + kBundleRecordHeaderSize, length - kBundleRecordHeaderSize);
    out.push_back(record);
    offset += length;
    if (out.size() == 1 && record.ResultCode != 0) return true;
  }
  if (offset == data.size() && !out.empty()) return true;
  out.clear();
  return false;
}

void AppendBundleRecord(std::vector<uint8_t>& bundle, TqdMsgID msgId, uint16_t resultCode,
                        uint8_t dataKind, std::span<const uint8_t> data) {
  size_t at = bundle.size();
  bundle.resize(at + kBundleRecordHeaderSize + data.size());
  uint8_t* p = bundle.data() + at;
  PutUInt32LE(p, msgId);
  PutUInt32LE(p + 4, static_cast<uint32_t>(kBundleRecordHeaderSize + data.size()));
  PutUInt16LE(p + 8, resultCode);
  PutUInt8(p + 10, dataKind);
  PutUInt8(p + 11, 0);
  if (!data.empty()) std::copy(data.begin(), data.end(), p + kBundleRecordHeaderSize);
}

}  // namespace qd
