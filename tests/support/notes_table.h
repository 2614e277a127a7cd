// The table "Notes" of the BLOB tests (1 Id, 2 Memo, a BLOB field; index
// ById), made empty in an alias directory's store, replacing any earlier
// one. The server may already run: it sees the new table at once.
// Thread rules: the test's thread.
#pragma once

#include <string>

#include "server/path_guard.h"
#include "server/table_store.h"

namespace qd::test {

inline void MakeNotesTable(const std::string& aliasDir) {
  TqdTableStore store(*CanonicalDirectory(aliasDir));
  TqdDataDictionary dict;
  dict.AddField("Id", "", fkInt32, 10, 0, true);
  dict.AddField("Memo", "", fkBlobMemo, 0, 0, false);
  const int32_t id[] = {0};
  dict.AddCompositeIndex("ById", "", 0, id, false, true, false);
  store.CreateTable("Notes", dict, true);
}

}  // namespace qd::test
