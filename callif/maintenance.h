// The table maintenance requests: rebuild an index, pack a table, build a
// table from a data dictionary, add an index, and report on a task. Each
// takes the handle of a call-interface object, sends one fixed record
// through that object's Request and returns the exchange's result code.
// Rebuild, pack and add-index answer at once with a task number; the
// caller then polls GetTaskStatus until it says finished.
//
// A handle that names no live object answers 9990. A live object of the
// wrong kind raises EqdClientException 776 (AddIndex answers 9990).
// Thread rules: the user-interface thread only.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/result_codes.h"
#include "callif/QDTTBapi.h"
#include "callif/request_records.h"

namespace qd {

class TqdDataDictionary;

inline constexpr int32_t kNoTask = -1;

// The table name is reduced to its base name (no directory, no last
// extension, at most 31 characters) before it is sent.
TqdResult ReIndexTable(hDBIDb database, std::string_view tableName, int32_t indexNumber, int32_t& taskNumber);
TqdResult PackTable(hDBIDb database, std::string_view tableName, int32_t& taskNumber);
// Task -1 is no task: finished at once, nothing sent. An unknown task 8712.
TqdResult GetTaskStatus(hDBISes session, int32_t taskNumber, bool& finished, TaskStatus& status);
TqdResult RestructureTable(hDBIDb database, bool overwrite, std::string_view tableName,
                           TqdDataDictionary& dictionary);
TqdResult AddIndex(hDBICur cursor, const TqdRecord<kIndexDescriptorSize>& descriptor, int32_t& taskNumber);

}  // namespace qd
