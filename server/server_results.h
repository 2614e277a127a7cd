// Result codes the server answers with beyond those the client tests itself
// (base/result_codes.h); the numbers and texts are those of the result-code
// string table.
#pragma once

#include "base/result_codes.h"

namespace qd {

inline constexpr TqdResult qdErrKeyViolation = 9729;        // 0x2601 Key violation.
inline constexpr TqdResult qdErrInvalidRecStruct = 10003;   // 0x2713 Invalid record structure.
inline constexpr TqdResult qdErrNameNotUnique = 10009;      // 0x2719 Name not unique in this context.
inline constexpr TqdResult qdErrInvalidDir = 10018;         // 0x2722 Invalid directory.
inline constexpr TqdResult qdErrInvalidIndexName = 10022;   // 0x2726 Invalid index/tag name.
inline constexpr TqdResult qdErrInvalidIndexDesc = 10023;   // 0x2727 Invalid index descriptor.
inline constexpr TqdResult qdErrIndexExists = 10027;        // 0x272B Index already exists.
inline constexpr TqdResult qdErrInvalidTableName = 10039;   // 0x2737 Invalid table name.
inline constexpr TqdResult qdErrRecordLocked = 10241;       // 0x2801 Record locked by another user.
inline constexpr TqdResult qdErrTableBusy = 10243;          // 0x2803 Table is busy.
inline constexpr TqdResult qdErrDirBusy = 10244;            // 0x2804 Directory is busy.
inline constexpr TqdResult qdErrTableExists = 13060;        // 0x3304 Table already exists.

}  // namespace qd
