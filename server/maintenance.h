// The maintenance work of the server's tasks: rebuild one index, pack a
// table (drop deleted records, renumber the rest, rebuild every index) and
// add an index. Each runs in one write transaction: an interruption at any
// point (a crash, kill -9, power loss) leaves the table as it was before.
// Failures raise EqdStorageError with the code the task reports. A pack
// then gives the space it freed back (store_space.h) and reports the bytes
// in the progress's Reclaimed.
// Thread rules: run on a task's worker thread with its own store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/index_build.h"
#include "server/store_space.h"
#include "server/table_store.h"

namespace qd {

// A new composite index as the add-index request describes it.
struct TqdNewIndex {
  std::string Name;
  std::vector<int32_t> FieldNumbers;  // 0-based, key order
  bool AllowDuplicates = true;
  bool Ascending = true;
  bool CaseInsensitive = false;
};

// Index 0 (the sequential access index) has no keys: nothing to do.
void RunRebuildIndex(TqdTableStore& store, const std::string& table, int32_t indexNo,
                     TqdTaskProgress& progress);
void RunPackTable(TqdTableStore& store, const std::string& table, TqdTaskProgress& progress);
void RunAddIndex(TqdTableStore& store, const std::string& table, const TqdNewIndex& index,
                 TqdTaskProgress& progress);

// The checks of an add-index request against the table's dictionary, made
// before a task is started so that the client hears of a bad request at
// once: qdOK, or qdErrIndexExists (name taken), qdErrInvalidIndexName,
// qdErrInvalidIndexDesc (bad fields), qdErrServerMaxIndexes (no room for
// another index).
TqdResult CheckNewIndex(const TqdDataDictionary& dict, const TqdNewIndex& index);

}  // namespace qd
