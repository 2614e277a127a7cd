// Filling a key table from the records of a table. Keys are made in memory
// in runs of at most kKeyRunBytes, each run sorted and written in key
// order, so that a table of any size is indexed in bounded memory and a run
// of a table that fits is one ordered append to the key table's tree.
// Thread rules: the builder runs on one worker thread inside its caller's
// transaction; the progress counters may be read from any thread.
#pragma once

#include <cstdint>

#include "dict/QDLLDict.h"
#include "server/task_progress.h"
#include "server/table_store.h"

namespace qd {

inline constexpr size_t kKeyRunBytes = 64u << 20;

// No fewer than the live records of the table, read from its highest
// record number alone (numbers start at 1 and none is given twice): a
// count would read the whole table once more before the work reads it.
int64_t LiveRecordsAtMost(TqdTableStore& store, int64_t tableId);

// Empties and refills the key table of index `indexNo` (1 or more). Each
// live record counts twice in `progress`: read, then its key written.
// `counted` is the number of live records the caller put into
// progress.Total for this index (twice each); once every record is read,
// Total is put right by the difference, before the keys are written, so
// that a count from above only ever makes the percentage climb faster.
// Keys are sorted in memory in runs of at most `runBytes`.
// Raises EqdStorageError: qdErrKeyViolation for a key that a unique index
// already holds, qdErrServerRead for a stored record shorter than the
// dictionary's record.
void RebuildIndexKeys(TqdTableStore& store, int64_t tableId, const TqdDataDictionary& dict,
                      int32_t indexNo, int64_t counted, TqdTaskProgress& progress,
                      size_t runBytes = kKeyRunBytes);

}  // namespace qd
