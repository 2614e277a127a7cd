// Packing a 200 000-record table with one two-field index, of which every
// tenth record is deleted, against what SQLite does for the same rows in a
// file of their own: DELETE of the same records, VACUUM, and REINDEX of the
// same index. Each iteration starts from freshly made files (not timed).
// BM_PackAgainstSqlite takes turns between the two, so that a machine whose
// speed drifts during the run moves both alike; its counters are the ratios.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench/server/bench_table.h"
#include "bench/support/taking_turns.h"
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
  auto insert = db.Prepare("INSERT INTO plain VALUES(?1, ?2, ?1 * 0.5)");
  for (int i = 1; i <= kRows; ++i) {
    insert.Bind(1, i).Bind(2, bench::NameOf(i));
    insert.Run();
  }
  txn.Commit();
}

// The seconds a pack of a fresh store takes (making it is not timed).
double TimedPack() {
  auto dir = FreshDir("store");
  MakeStore(dir);
  double seconds;
  {
    TqdTableStore store(dir.string());
    seconds = bench::SecondsOf([&] {
      TqdTaskProgress progress;
      RunPackTable(store, "Big", progress);
    });
  }
  std::filesystem::remove_all(dir);
  return seconds;
}

// The seconds SQLite's DELETE, VACUUM and REINDEX of a fresh file take.
double TimedSqlite() {
  auto dir = FreshDir("plain");
  double seconds;
  {
    TqdSqliteDb db((dir / "plain.db").string(), {.Mode = TqdOpenMode::CreateIfMissing});
    MakePlain(db);
    seconds = bench::SecondsOf([&] {
      {
        TqdTransaction txn(db);
        db.Exec("DELETE FROM plain WHERE id % 10 = 0");
        txn.Commit();
      }
      db.Exec("VACUUM");
      TqdTransaction txn(db);
      db.Exec("REINDEX plain_name_id");
      txn.Commit();
    });
  }
  std::filesystem::remove_all(dir);
  return seconds;
}

void BM_PackTable(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(TimedPack());
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_PackTable)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

void BM_SqliteDeleteVacuumReindex(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(TimedSqlite());
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SqliteDeleteVacuumReindex)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

// Each iteration: one pack, then SQLite's work on the same rows. Counters:
// the mean times, ratio = SQLite's time over the pack's (at least 1 when
// the pack is as fast), ratio_fastest = the same over the fastest of each.
void BM_PackAgainstSqlite(benchmark::State& state) {
  bench::TurnTimes pack, sqlite;
  for (auto _ : state) {
    const double ours = TimedPack(), reference = TimedSqlite();
    state.SetIterationTime(ours + reference);
    pack.Add(ours);
    sqlite.Add(reference);
  }
  bench::ReportTurns(state, "sqlite_ms", sqlite, "pack_ms", pack, 1, 1e3);
}
BENCHMARK(BM_PackAgainstSqlite)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(9)->UseManualTime();

}  // namespace
}  // namespace qd

BENCHMARK_MAIN();
