// Packing a 200 000-record table with one two-field index, of which every
// tenth record is deleted, against what SQLite does for the same rows in a
// file of their own: DELETE of the same records, VACUUM, and REINDEX of the
// same index. Each iteration starts from freshly made files (not timed).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench/server/bench_table.h"
#include "server/maintenance.h"
#include "server/record_writer.h"
#include "server/table_store.h"

namespace qd {
namespace {

constexpr int kRows = 200'000;

bool IsDeleted(int i) { return i % 10 == 0; }

std::filesystem::path FreshDir(const char* what) {
  auto dir = std::filesystem::temp_directory_path() / ("qd_bench_pack_" + std::to_string(getpid()) + "_" + what);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}


// The table with its keys built, as a table that is used has them.
void MakeStore(const std::filesystem::path& dir) {
  TqdTableStore store(dir.string(), {.Mode = TqdOpenMode::CreateIfMissing});
  auto dict = bench::BenchDictionary();
  int64_t id = store.CreateTable("Big", *dict, true);
  TqdRecordWriter w(*dict);
  {
    TqdTransaction txn(store.Db());
    for (int i = 1; i <= kRows; ++i) {
      w.SetInteger(0, i);
      w.SetText(1, bench::NameOf(i));
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
    insert.Bind(1, i).Bind(2, bench::NameOf(i));
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
