// The bundle reply (message 255): a sequence of complete replies, each a
// sub-record with a 12-byte header of its own: message number 4, length 4
// (these 12 bytes included), result code 2, data kind 1, filler 1, data.
// Thread rules: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "comms/msg_numbers.h"

namespace qd {

inline constexpr uint32_t kBundleRecordHeaderSize = 4 + 4 + 2 + 1 + 1;
static_assert(kBundleRecordHeaderSize == 12);

struct TqdBundleRecord {
  TqdMsgID MsgID = 0;
  uint16_t ResultCode = 0;
  uint8_t DataKind = 0;
  std::span<const uint8_t> Data;  // points into the bundle
};

// Splits a bundle. The records that a receiver takes are those up to and
// including the first one when it carries a non-zero result code (the rest
// is then dropped unread), else all of them. False, with `out` empty, when a
// taken record is shorter than 12 bytes, reaches past the data, or has a
// data kind other than 0 or 1, when the bundle holds no record, or when it
// holds more than `maxRecords` records to take.
bool ParseBundle(std::span<const uint8_t> data, std::vector<TqdBundleRecord>& out,
                 size_t maxRecords = SIZE_MAX);

// Appends one sub-record (for servers and tests).
void AppendBundleRecord(std::vector<uint8_t>& bundle, TqdMsgID msgId, uint16_t resultCode,
                        uint8_t dataKind, std::span<const uint8_t> data);

}  // namespace qd
