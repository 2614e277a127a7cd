// TttBaseSession: the records the session fills for callers (client,
// session, system and driver information, configuration and version) and
// the date, number and time formats it keeps verbatim. Every record is
// zero-filled before it is written.
// Thread rules: one thread at a time (the user-interface thread).
#include <cstring>

#include "base/endian.h"
#include "callif/QDTTDbas.h"
#include "callif/QDTTSess.h"
#include "callif/bde_records.h"

namespace qd {

namespace {

std::string_view OrEmpty(const std::optional<std::string>& text) {
  return text.has_value() ? std::string_view(*text) : std::string_view();
}

uint16_t Count16(int count) {
  return static_cast<uint16_t>(count);
}

}  // namespace

// Slot 25.
TqdResult TttBaseSession::GetClientInfo(uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  std::memset(record, 0, kClientInfoSize);
  PutUInt16LE(record + kClientInfoSessionsOffset,
              Count16(Collection() == nullptr ? 0 : Collection()->Count()));
  PutZeroText(record + kClientInfoDirectoryOffset, kDirectoryCapacity, OrEmpty(networkDir_));
  return SetResult(qdOK);
}

// Slot 28.
TqdResult TttBaseSession::GetDriverDesc(const char* typeName, uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  std::memset(record, 0, kDriverDescSize);
  PutZeroText(record, kDriverDescTypeCapacity, typeName == nullptr ? "" : typeName);
  return SetResult(qdOK);
}

// Slot 39.
TqdResult TttBaseSession::GetSesInfo(uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  std::memset(record, 0, kSessionInfoSize);
  int cursors = 0;
  for (int i = 0; i < databases_.Count(); ++i) {
    if (auto* database = dynamic_cast<TttBaseDatabase*>(databases_.Item(i)))
      cursors += database->Cursors().Count();
  }
  PutUInt16LE(record + kSesInfoNumberOffset, Count16(Index()));
  PutZeroText(record + kSesInfoNameOffset, kSesInfoNameCapacity, OrEmpty(sessionName_));
  PutUInt16LE(record + kSesInfoDatabasesOffset, Count16(databases_.Count()));
  PutUInt16LE(record + kSesInfoCursorsOffset, Count16(cursors));
  PutInt16LE(record + kSesInfoLockRetryOffset, lockRetry_);
  PutZeroText(record + kSesInfoNetDirOffset, kDirectoryCapacity, OrEmpty(networkDir_));
  PutZeroText(record + kSesInfoPrivateDirOffset, kDirectoryCapacity, OrEmpty(privateDir_));
  return SetResult(qdOK);
}

// Slot 41.
TqdResult TttBaseSession::GetSysInfo(uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  std::memset(record, 0, kSysInfoSize);
  PutUInt16LE(record + kSysInfoSessionsOffset,
              Count16(Collection() == nullptr ? 0 : Collection()->Count()));
  return SetResult(qdOK);
}

// Slots 40 and 42: records the session has nothing to put in.
TqdResult TttBaseSession::GetSysConfig(uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  std::memset(record, 0, kSysConfigSize);
  return SetResult(qdOK);
}

TqdResult TttBaseSession::GetSysVersion(uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  std::memset(record, 0, kSysVersionSize);
  return SetResult(qdOK);
}

// The formats, copied in and out verbatim.
template <size_t N>
TqdResult TttBaseSession::CopyFormat(const uint8_t* from, uint8_t* to) {
  if (from == nullptr || to == nullptr) return SetResult(qdErrInvalidParam);
  std::memcpy(to, from, N);
  return SetResult(qdOK);
}

TqdResult TttBaseSession::GetDateFormat(uint8_t* record) {
  return CopyFormat<kDateFormatSize>(dateFormat_.data(), record);
}
TqdResult TttBaseSession::GetNumberFormat(uint8_t* record) {
  return CopyFormat<kNumberFormatSize>(numberFormat_.data(), record);
}
TqdResult TttBaseSession::GetTimeFormat(uint8_t* record) {
  return CopyFormat<kTimeFormatSize>(timeFormat_.data(), record);
}
TqdResult TttBaseSession::SetDateFormat(const uint8_t* record) {
  return CopyFormat<kDateFormatSize>(record, dateFormat_.data());
}
TqdResult TttBaseSession::SetNumberFormat(const uint8_t* record) {
  return CopyFormat<kNumberFormatSize>(record, numberFormat_.data());
}
TqdResult TttBaseSession::SetTimeFormat(const uint8_t* record) {
  return CopyFormat<kTimeFormatSize>(record, timeFormat_.data());
}

}  // namespace qd
