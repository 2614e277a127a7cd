// Seeds of callif_replies: the rows and replies as the server writes them,
// behind the byte that picks the reader.
#include <vector>

#include "fuzz/seeds.h"
#include "server/wire_records.h"
#include "tests/callif/open_table_sample.h"

namespace qd::fuzz {
namespace {

void Reply(uint8_t reader, const std::string& name, std::span<const uint8_t> data) {
  std::vector<uint8_t> seed{reader};
  seed.insert(seed.end(), data.begin(), data.end());
  WriteSeed("callif_replies", name, seed);
}

}  // namespace

void WriteReplySeeds() {
  std::vector<uint8_t> alias;
  AppendAliasRow(alias, "Sales", "/srv/data/sales");
  Reply(0, "alias-row", alias);
  std::vector<uint8_t> table;
  AppendTableRow(table, "Orders", "QDD", 50, 10, 5);
  Reply(1, "table-row", table);
  TqdTaskStatusRecord status{.Found = true, .TaskNumber = 3, .Done = 20, .Total = 50, .Kind = 1, .PercentDone = 40};
  Reply(2, "task-status", EncodeTaskStatusReply(status));
  Reply(3, "open-table", test::OpenTableReply(4, 1));
}

}  // namespace qd::fuzz
