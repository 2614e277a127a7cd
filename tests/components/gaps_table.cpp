// The table "Gaps" of the component tests, written straight into the
// server's storage (its nameless index cannot be made through a client).
#include "server/maintenance.h"
#include "server/path_guard.h"
#include "server/record_writer.h"
#include "server/table_store.h"
#include "server_fixture.h"

namespace qd::test {

void MakeGapsTable(const std::string& aliasDir) {
  TqdTableStore store(*CanonicalDirectory(aliasDir), {.Mode = TqdOpenMode::CreateIfMissing});
  TqdDataDictionary dict;
  dict.AddField("Id", "", fkInt32, 10, 0, true);
  dict.AddField("Name", "", fkShortString, 20, 0, false);
  dict.AddField("City", "", fkShortString, 20, 0, false);
  const int32_t id[] = {0}, name[] = {1}, city[] = {2};
  dict.AddCompositeIndex("ById", "", 0, id, false, true, false);
  dict.AddCompositeIndex("", "", 0, name, true, true, false);
  dict.AddCompositeIndex("ByCity", "", 0, city, true, true, false);
  int64_t table = store.CreateTable("Gaps", dict, true);
  TqdRecordWriter writer(dict);
  {
    TqdTransaction txn(store.Db());
    for (int i = 1; i <= 20; ++i) {
      writer.Clear();
      writer.SetInteger(0, i);
      writer.SetText(1, "name" + std::to_string(i % 5));
      writer.SetText(2, "city" + std::to_string(i % 3));
      store.AppendRecord(table, writer.Bytes(), false);
    }
    txn.Commit();
  }
  for (int32_t n = 1; n < dict.IndexCount(); ++n) {
    TqdTaskProgress progress;
    RunRebuildIndex(store, "Gaps", n, progress);
  }
}

}  // namespace qd::test
