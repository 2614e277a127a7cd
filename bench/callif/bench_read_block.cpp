// Reading a table of 1 000 000 records (every tenth deleted) in the order
// of its Id index: through a client cursor against a local qd-server with
// ReadBlock of 100 records, and straight from SQLite in the same key order
// in the same process. The goal: the cursor at least 0.3 times as fast.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/support/demo_server.h"
#include "callif/QDCLSess.h"
#include "callif/QDClEng.h"
#include "callif/QDClTabl.h"
#include "server/path_guard.h"
#include "server/table_store.h"

namespace qd {
namespace {

bench::DemoServer& Server() {
  static bench::DemoServer server(1, 1000000);  // Customers in Sales
  server.PointClientAt(true);
  return server;
}

void BM_ReadBlockThroughTheServer(benchmark::State& state) {
  Server();
  SetPresetCredentials("demo", "demo");
  StartClientEngine();
  TqdClientEngine& engine = *ClientEngine();
  hDBIDb db = nullptr;
  hDBICur cursor = nullptr;
  if (engine.OpenDatabase(nullptr, "Sales", nullptr, 0, 0, nullptr, 0, nullptr, nullptr, db) != qdOK ||
      engine.OpenTable(db, "Customers", nullptr, "ById", nullptr, 0, 0, 0, 0, false, nullptr, cursor) != qdOK) {
    state.SkipWithError("cannot open Customers");
    StopClientEngine();
    return;
  }
  auto* table = LiveObject<TQDClientTable>(cursor);
  std::vector<uint8_t> buffer(static_cast<size_t>(table->RecordLength()) * 100);
  int64_t records = 0;
  for (auto _ : state) {
    table->SetToBegin();
    records = 0;
    uint32_t count = 100;
    while (count == 100) {
      count = 100;
      table->ReadBlock(count, buffer.data());
      records += count;
    }
  }
  state.counters["records"] = static_cast<double>(records);
  state.SetItemsProcessed(state.iterations() * records);
  StopClientEngine();
}
BENCHMARK(BM_ReadBlockThroughTheServer)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_SqliteInTheSameKeyOrder(benchmark::State& state) {
  TqdTableStore store(*CanonicalDirectory(Server().dir.Path() + "/sales"));
  const int64_t id = *store.FindTable("Customers");
  const std::string sql = "SELECT r.rec FROM " + *store.ExistingKeyTable(id, 1) + " AS k JOIN " +
                          TqdTableStore::RecordTableName(id) +
                          " AS r ON r.rid = k.rid WHERE r.deleted = 0 ORDER BY k.key, k.rid";
  std::vector<uint8_t> buffer(4096);
  int64_t records = 0;
  for (auto _ : state) {
    auto rows = store.Db().Prepare(sql);
    records = 0;
    while (rows.Step()) {
      auto rec = rows.Blob(0);
      std::copy(rec.begin(), rec.begin() + std::min(rec.size(), buffer.size()), buffer.begin());
      ++records;
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.counters["records"] = static_cast<double>(records);
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_SqliteInTheSameKeyOrder)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace qd

BENCHMARK_MAIN();
