// Seeds of server_requests: each request as the call interface encodes
// it, behind its message number.
#include <vector>

#include "base/endian.h"
#include "base/stream.h"
#include "callif/cursor_requests.h"
#include "callif/request_records.h"
#include "comms/QDNetMsg.h"
#include "comms/msg_numbers.h"
#include "fuzz/seeds.h"
#include "server/bookmark.h"
#include "tests/callif/open_table_sample.h"

namespace qd::fuzz {
namespace {

void Request(TqdMsgID msg, std::span<const uint8_t> data) {
  std::vector<uint8_t> seed(4);
  PutUInt32LE(seed.data(), msg);
  seed.insert(seed.end(), data.begin(), data.end());
  WriteSeed("server_requests", std::to_string(msg), seed);
}

std::vector<uint8_t> Joined(std::span<const uint8_t> head, std::span<const uint8_t> tail) {
  std::vector<uint8_t> out(head.begin(), head.end());
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

void WriteTableRequests() {
  uint8_t attach[kAttachRequestSize];
  EncodeAttachRequest({"tester", "demo"}, attach);
  Request(msgAttach, attach);
  Request(msgCloseDatabase, EncodeInt32Record(3));
  Request(msgGetTableList, EncodeTableList(3, "*.*"));
  Request(msgAddAlias, EncodeAddAlias("Sales", "/srv/data/sales"));
  Request(msgOpenDatabase, EncodeOpenDatabase("Sales", 0, 0));
  Request(msgReindexTable, EncodeReindex(3, "Orders", 2));
  Request(msgPackTable, EncodeTableRequest(3, "Orders"));
  Request(msgBeginTran, EncodeBeginTran(3, 1));
  Request(msgEndTran, EncodeEndTran(5, true));
  Request(msgOpenTable, EncodeOpenTable(3, "Orders", "ByName", 0, 0, 0));
  std::vector<uint8_t> dict = test::DictionaryBytes(*test::OrdersDictionary());
  Request(msgRestructureTable, Joined(EncodeRestructureHeader(3, true, "Orders"), dict));
  Request(msgRenameTable, EncodeRenameTable(3, "Orders", "Sales"));
  Request(msgEmptyTable, EncodeEmptyTable(3, 4, "Orders"));
  Request(msgDeleteIndex, EncodeDeleteIndex(3, 4, "Orders", "ByName", 2));
  TqdNewIndex index{.Name = "ByDay", .KeyFieldCount = 2, .KeyFields = {3, 1}};
  Request(msgAddIndex, EncodeAddIndex(3, 4, EncodeIndexDescriptor(index)));
  Request(msgSwitchToIndex, EncodeSwitchToIndex(4, "ByName", 2, true));
}

void WriteCursorRequests() {
  const std::vector<uint8_t> key = {5, 0, 0, 0};
  const std::vector<uint8_t> record(40, 0x41);
  const std::vector<uint8_t> mark = EncodeBookmark({TqdBookmark::OnRecord, 12, 0}, 24);
  Request(msgAcqTableLock, EncodeLockRequest(4, 1));
  Request(msgRelTableLock, EncodeRelTableLock(4, false, 1));
  Request(msgGetBlob, EncodeBlobRequest(4, 1, {0, 16}));
  Request(msgPutBlob, EncodeBlobRequest(4, 1, {0, 4}, key));
  Request(msgTruncateBlob, EncodeBlobRequest(4, 1, {8}));
  Request(msgGetBlobSize, EncodeBlobRequest(4, 1, {}));
  Request(msgSetToBegin, EncodeInt32Record(4));
  Request(msgGetBookmark, EncodeBookmarkRequest(4, 24));
  Request(msgSetToBookmark, EncodeBookmarkRequest(4, 24, {mark}));
  Request(msgCompareBookmarks, EncodeBookmarkRequest(4, 24, {mark, mark}));
  Request(msgSetToKey, EncodeSetToKey(4, 2, true, 1, 0, key));
  Request(msgSetRange, EncodeSetRange(4, true, {1, 0, key.data(), 4, true}, {}));
  Request(msgCloneCursor, EncodeLockRequest(4, 0));
  Request(msgSetToCursor, EncodeTwoWords(4, 5));
  Request(msgGetNextRecord, EncodeReadRecord(4, 40, 24, 0));
  Request(msgDeleteRecord, EncodeTwoWords(4, 40));
  Request(msgInsertRecord, EncodeWriteRecord(4, 24, 0, record));
  Request(msgExtractKey, EncodeExtractKey(4, 4, record));
  Request(msgGetRecordForKey, EncodeRecordForKey(4, true, 1, 0, 40, 24, key));
}

}  // namespace

void WriteRequestSeeds() {
  WriteTableRequests();
  WriteCursorRequests();
}

}  // namespace qd::fuzz
