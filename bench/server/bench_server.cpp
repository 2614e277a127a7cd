// Benchmarks of the server's index rebuild: (a) rebuilding a two-field
// index of a 1 000 000-record table against SQLite's own CREATE INDEX over
// the same rows; (b) the same rebuild while a client polls its status back
// to back, against no polling; (c) 32 clients polling at once during a
// rebuild; (d) the process's peak resident memory (counter PeakRSS_MB).
// BM_RebuildAgainstCreateIndex takes turns between (a)'s two, so that a
// machine whose speed drifts during the run moves both alike; its counters
// are the ratios themselves.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "base/endian.h"
#include "comms/QDNetMsg.h"
#include "bench/server/bench_table.h"
#include "bench/support/taking_turns.h"
#include "server/maintenance.h"
#include "server/record_writer.h"
#include "server/server_core.h"

namespace qd {
namespace {

constexpr int kRows = 1'000'000;

using bench::BenchDictionary;
using bench::NameOf;

// One data directory for the whole run: the table and a plain SQLite copy.
struct BenchData {
  BenchData() {
    dir = std::filesystem::temp_directory_path() / ("qd_bench_server_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    TqdTableStore store(dir.string(), {.Mode = TqdOpenMode::CreateIfMissing});
    auto dict = BenchDictionary();
    int64_t id = store.CreateTable("Big", *dict, true);
    TqdRecordWriter w(*dict);
    TqdTransaction txn(store.Db());
    store.Db().Exec("CREATE TABLE plain(id INTEGER, name TEXT COLLATE NOCASE, amount REAL)");
    auto plain = store.Db().Prepare("INSERT INTO plain VALUES(?1, ?2, ?1 * 0.5)");
    for (int i = 1; i <= kRows; ++i) {
      w.SetInteger(0, i);
      w.SetText(1, NameOf(i));
      w.SetFloat(2, i * 0.5);
      store.AppendRecord(id, w.Bytes(), false);
      plain.Bind(1, i).Bind(2, NameOf(i));
      plain.Run();
    }
    txn.Commit();
  }
  ~BenchData() { std::filesystem::remove_all(dir); }
  std::filesystem::path dir;
};

BenchData& Data() {
  static BenchData data;
  return data;
}

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_RebuildTwoFieldIndex(benchmark::State& state) {
  TqdTableStore store(Data().dir.string());
  for (auto _ : state) {
    TqdTaskProgress progress;
    RunRebuildIndex(store, "Big", 1, progress);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  state.counters["PeakRSS_MB"] = PeakRssMb();
}
BENCHMARK(BM_RebuildTwoFieldIndex)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SqliteCreateIndex(benchmark::State& state) {
  TqdTableStore store(Data().dir.string());
  for (auto _ : state) {
    TqdTransaction txn(store.Db());
    store.Db().Exec("CREATE INDEX plain_name_id ON plain(name, id)");
    txn.Commit();
    state.PauseTiming();
    store.Db().Exec("DROP INDEX plain_name_id");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SqliteCreateIndex)->Unit(benchmark::kMillisecond)->Iterations(3);

// Each iteration: one rebuild, then one CREATE INDEX (its DROP not timed).
// Counters: the mean times, ratio = CREATE INDEX time over rebuild time
// (at least 1 when the rebuild is as fast), ratio_fastest = the same over
// the fastest of each.
void BM_RebuildAgainstCreateIndex(benchmark::State& state) {
  TqdTableStore store(Data().dir.string());
  bench::TurnTimes rebuild, create;
  for (auto _ : state) {
    rebuild.Add(bench::SecondsOf([&] {
      TqdTaskProgress progress;
      RunRebuildIndex(store, "Big", 1, progress);
    }));
    create.Add(bench::SecondsOf([&] {
      TqdTransaction txn(store.Db());
      store.Db().Exec("CREATE INDEX plain_name_id ON plain(name, id)");
      txn.Commit();
    }));
    store.Db().Exec("DROP INDEX plain_name_id");
  }
  bench::ReportTurns(state, "create_index_ms", create, "rebuild_ms", rebuild, 1, 1e3);
}
BENCHMARK(BM_RebuildAgainstCreateIndex)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(9);

// A core without transports; replies are counted.
class CountingOutput : public TqdCoreOutput {
 public:
  void Reply(TqdCoreConnection, TqdMsgID msg, uint16_t, uint8_t, std::span<const uint8_t> data, uint32_t) override {
    ++replies;
    if (msg == msgGetTaskStatus && data.size() == 33) finished = data[28] != 0;
    if (msg == msgReindexTable && data.size() == 4) task = GetInt32LE(data.data());
  }
  void ReplyToUnreadableLogin(TqdCoreConnection, std::span<const uint8_t>, uint32_t, uint16_t) override {}
  void SetScramblingSeed(TqdCoreConnection, int32_t) override {}
  void HangUp(TqdCoreConnection) override {}
  int64_t replies = 0;
  bool finished = false;
  int32_t task = 0;
};

struct CoreRig {
  CoreRig() : core(Config(), output, [this] { Wake(); }) {
    for (int i = 0; i < 32; ++i) {
      TqdCoreConnection c = core.AddConnection();
      std::vector<uint8_t> attach(kAttachRequestSize, 0);
      core.OnRequest(c, {msgAttach, 0, false, attach});
      core.OnRequest(c, {msgConfirmLogin, static_cast<uint32_t>(i + 1), false, {}});
      std::vector<uint8_t> open(222, 0);
      PutShortString(open.data(), Data().dir.string(), 219);
      core.OnRequest(c, {msgOpenDatabase, 0, false, open});
      connections.push_back(c);
    }
  }
  static const TqdServerConfig& Config() {
    static TqdServerConfig config = [] {
      TqdServerConfig c;
      c.Secure = false;
      c.DataDir = Data().dir.string();
      c.Aliases.push_back({"Bench", Data().dir.string()});
      return c;
    }();
    return config;
  }
  void Wake() {
    std::lock_guard<std::mutex> g(mutex);
    woken = true;
    cv.notify_all();
  }
  // One turn of the serving loop.
  void Serve() {
    {
      std::unique_lock<std::mutex> lock(mutex);
      cv.wait_for(lock, std::chrono::milliseconds(1), [this] { return woken; });
      woken = false;
    }
    core.RunCompletions();
    core.OnTimer();
  }
  int32_t StartRebuild() {
    std::vector<uint8_t> req(72, 0);
    PutInt32LE(req.data(), 1);  // the first database id the core gives
    PutShortString(req.data() + 4, "Big", 31);
    PutInt32LE(req.data() + 68, 1);
    output.task = 0;
    core.OnRequest(connections[0], {msgReindexTable, 0, false, req});
    while (output.task == 0) Serve();
    output.finished = false;
    return output.task;
  }
  // Every client in `clients` asks once; returns when all are answered.
  void PollRound(int32_t task, size_t clients) {
    int64_t want = output.replies + static_cast<int64_t>(clients);
    for (size_t i = 0; i < clients; ++i) core.OnRequest(connections[i], {msgGetTaskStatus, 0, false, Int32Reply(task)});
    while (output.replies < want) Serve();
  }
  bool Finished(int32_t task) { return core.Tasks().Status(task).Finished; }

  CountingOutput output;
  std::mutex mutex;
  std::condition_variable cv;
  bool woken = false;
  std::vector<TqdCoreConnection> connections;
  TqdServerCore core;
};

void RunRebuildWithPollers(benchmark::State& state, size_t pollers) {
  CoreRig rig;
  int64_t polls = 0;
  for (auto _ : state) {
    int32_t task = rig.StartRebuild();
    while (!rig.Finished(task)) {
      if (pollers == 0) {
        rig.Serve();
      } else {
        rig.PollRound(task, pollers);
        polls += static_cast<int64_t>(pollers);
      }
    }
  }
  state.counters["StatusAnswers"] = static_cast<double>(polls);
  state.counters["PeakRSS_MB"] = PeakRssMb();
}

void BM_RebuildNoPolling(benchmark::State& state) { RunRebuildWithPollers(state, 0); }
void BM_RebuildOnePollerBackToBack(benchmark::State& state) { RunRebuildWithPollers(state, 1); }
void BM_RebuildThirtyTwoPollers(benchmark::State& state) { RunRebuildWithPollers(state, 32); }
BENCHMARK(BM_RebuildNoPolling)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_RebuildOnePollerBackToBack)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_RebuildThirtyTwoPollers)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
}  // namespace qd

BENCHMARK_MAIN();
