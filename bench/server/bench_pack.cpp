// Packing a 200 000-record table with one two-field index, of which every
// tenth record is deleted, against what SQLite does for the same rows in a
// file of their own: DELETE of the same records, VACUUM, and REINDEX of the
// same index. Each iteration starts from freshly made files (not timed).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "server/maintenance.h"
#include "server/record_writer.h"
#include "server/table_store.h"

namespace qd {
namespace {

constexpr int kRows = 200'000;

bool IsDeleted(int i) { return i % 10 == 0; }
std::string NameOf(int i) { return "name" + std::to_string((i * 7919) % 100003); }

std::filesystem::path FreshDir(const char* what) {
  auto dir = std::filesystem::temp_directory_path() / ("qd_bench_pack_" + std::to_string(getpid()) + "_" + what);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

std::unique_ptr<TqdDataDictionary> PackDictionary() {
  auto d = std::make_unique<TqdDataDictionary>();
  d->AddField("Id", "", fkInt32, 10, 0, true);
  d->AddField("Name", "", fkShortString, 20, 0, false);
  d->AddField("Amount", "", fkDouble, 12, 2, false);
  const int32_t nameId[] = {1, 0};
  d->AddCompositeIndex("ByNameId", "", 0, nameId, true, true, true);
  return d;
}

// The table with its keys built, as a table that is used has them.
void MakeStore(const std::filesystem::path& dir) {
  TqdTableStore store(dir.string(), {.Mode = TqdOpenMode::CreateIfMissing});
  auto dict = PackDictionary();
  int64_t id = store.CreateTable("Big", *dict, true);
  TqdRecordWriter w(*dict);
  {
    TqdTransaction txn(store.Db());
    for (int i = 1; i <= kRows; ++i) {
      w.SetInteger(0, i);
      w.SetText(1, NameOf(i));
      w.SetFloat(2, i * 0.5);
      store.AppendRecord(id, w.Bytes(), IsDeleted(i));
    }
    txn.Commit();
  }
  TqdTaskProgress progress;
  RunRebuildIndex(store, "Big", 1, progress);
}

void MakePlain(TqdSqliteDb& db) {
  TqdTransaction txn(db);
  db.Exec("CREATE TABLE plain(id INTEGER, name TEXT COLLATE NOCASE, amount REAL)");
  db.Exec("CREATE INDEX plain_name_id ON plain(name, id)");
  auto insert = db.Prepare("INSERT INTO plain VALUES(?, ?, ?)");
  for (int i = 1; i <= kRows; ++i) {
    insert.Bind(1, i).Bind(2, NameOf(i));
    insert.Run();
  }
  txn.Commit();
}

void BM_PackTable(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto dir = FreshDir("store");
    MakeStore(dir);
    {
      TqdTableStore store(dir.string());
      state.ResumeTiming();
      TqdTaskProgress progress;
      RunPackTable(store, "Big", progress);
      state.PauseTiming();
    }
    std::filesystem::remove_all(dir);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_PackTable)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SqliteDeleteVacuumReindex(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto dir = FreshDir("plain");
    {
      TqdSqliteDb db((dir / "plain.db").string(), {.Mode = TqdOpenMode::CreateIfMissing});
      MakePlain(db);
      state.ResumeTiming();
      {
        TqdTransaction txn(db);
        db.Exec("DELETE FROM plain WHERE id % 10 = 0");
        txn.Commit();
      }
      db.Exec("VACUUM");
      TqdTransaction txn(db);
      db.Exec("REINDEX plain_name_id");
      txn.Commit();
      state.PauseTiming();
    }
    std::filesystem::remove_all(dir);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SqliteDeleteVacuumReindex)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace qd

BENCHMARK_MAIN();
