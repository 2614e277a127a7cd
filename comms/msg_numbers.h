// The message catalogue: every number the client sends or receives. A reply
// carries the number of its request. Numbers group by area: 1-255
// connection control, 256-767 session, 768-1023 table maintenance tasks,
// 1024-1279 transactions, 1280-1535 tables and indexes, 1536-1791 BLOBs,
// 1792-2047 cursor positioning, 2048 and above records.
#pragma once

#include <cstdint>

namespace qd {

using TqdMsgID = uint32_t;

// Connection control.
inline constexpr TqdMsgID msgUnscrambled = 1;  // never sent by the client; never scrambled
inline constexpr TqdMsgID msgDetach = 2;
inline constexpr TqdMsgID msgPartAck = 5;
inline constexpr TqdMsgID msgFindServers = 6;  // datagram without header
inline constexpr TqdMsgID msgServerHere = 7;   // datagram without header
inline constexpr TqdMsgID msgConfirmLogin = 9;
inline constexpr TqdMsgID msgKeepAlive = 10;  // 4 bytes without header
inline constexpr TqdMsgID msgAttach = 11;
inline constexpr TqdMsgID msgBundle = 255;

// Session.
inline constexpr TqdMsgID msgCloseDatabase = 257;
inline constexpr TqdMsgID msgGetAliasList = 258;
inline constexpr TqdMsgID msgGetTableList = 259;
inline constexpr TqdMsgID msgAddAlias = 260;
inline constexpr TqdMsgID msgOpenDatabase = 261;
inline constexpr TqdMsgID msgOpenSession = 512;
inline constexpr TqdMsgID msgCloseSession = 513;

// Table maintenance tasks.
inline constexpr TqdMsgID msgReindexTable = 768;
inline constexpr TqdMsgID msgPackTable = 769;
inline constexpr TqdMsgID msgGetTaskStatus = 771;

// Transactions.
inline constexpr TqdMsgID msgBeginTran = 1024;
inline constexpr TqdMsgID msgEndTran = 1025;

// Tables and indexes.
inline constexpr TqdMsgID msgOpenTable = 1280;
inline constexpr TqdMsgID msgAcqTableLock = 1296;
inline constexpr TqdMsgID msgRelTableLock = 1297;
inline constexpr TqdMsgID msgIsTableLocked = 1298;
inline constexpr TqdMsgID msgGetDictionary = 1299;
inline constexpr TqdMsgID msgRestructureTable = 1300;
inline constexpr TqdMsgID msgDeleteTable = 1301;
inline constexpr TqdMsgID msgRenameTable = 1302;
inline constexpr TqdMsgID msgGetRecordCount = 1303;
inline constexpr TqdMsgID msgEmptyTable = 1304;
inline constexpr TqdMsgID msgAddIndex = 1305;
inline constexpr TqdMsgID msgDeleteIndex = 1306;

// BLOBs.
inline constexpr TqdMsgID msgCreateBlob = 1536;
inline constexpr TqdMsgID msgGetBlob = 1538;
inline constexpr TqdMsgID msgGetBlobSize = 1539;
inline constexpr TqdMsgID msgTruncateBlob = 1540;
inline constexpr TqdMsgID msgPutBlob = 1541;
inline constexpr TqdMsgID msgFreeBlob = 1542;

// Cursor positioning.
inline constexpr TqdMsgID msgSetToBegin = 1792;
inline constexpr TqdMsgID msgSetToEnd = 1793;
inline constexpr TqdMsgID msgCloseCursor = 1794;
inline constexpr TqdMsgID msgGetBookmark = 1795;
inline constexpr TqdMsgID msgSetToBookmark = 1796;
inline constexpr TqdMsgID msgSetToKey = 1797;
inline constexpr TqdMsgID msgSwitchToIndex = 1798;
inline constexpr TqdMsgID msgSetRange = 1799;
inline constexpr TqdMsgID msgResetRange = 1800;
inline constexpr TqdMsgID msgCompareBookmarks = 1801;
inline constexpr TqdMsgID msgCloneCursor = 1802;
inline constexpr TqdMsgID msgSetToCursor = 1803;

// Records.
inline constexpr TqdMsgID msgGetRecord = 2048;
inline constexpr TqdMsgID msgGetNextRecord = 2049;
inline constexpr TqdMsgID msgGetPriorRecord = 2050;
inline constexpr TqdMsgID msgRelRecordLock = 2051;
inline constexpr TqdMsgID msgDeleteRecord = 2052;
inline constexpr TqdMsgID msgInsertRecord = 2053;
inline constexpr TqdMsgID msgModifyRecord = 2054;
inline constexpr TqdMsgID msgExtractKey = 2055;
inline constexpr TqdMsgID msgGetRecordForKey = 2056;

}  // namespace qd
