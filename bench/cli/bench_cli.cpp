// qd-reindex against a local qd-server: "Rebuild alias" with pack on an
// alias of 200 tables, driven in-process, beside the time the server's tasks
// took in the same run (read from the server's log of each task); the peak
// resident memory of the qd-reindex program doing the same run; and the
// resident memory of this process after the first and the last of 100
// runs (of a smaller alias, so that they take a minute, not half an hour).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "bench/support/demo_server.h"
#include "cli/run_reindex.h"

namespace qd {
namespace {

using Server = bench::DemoServer;

const std::vector<std::string> kAliasWithPack{"--user", "demo", "--pack", "--quiet", "Sales"};

int RunInProcess(const std::vector<std::string>& arguments) {
  std::ostringstream out, err;
  TqdReindexIo io{out, err};
  io.Password = "demo";
  return RunReindex(arguments, io);
}

// 200 tables in Sales; the client settings point at it from here on.
Server& AliasServer() {
  static Server server(400, 100);
  server.PointClientAt(true);
  return server;
}

// 10 tables in Sales, for the many runs of the memory check.
Server& SmallServer() {
  static Server server(20, 100);
  server.PointClientAt(true);
  return server;
}

// Wall time of the run; the server's task time of the same run as a
// counter: their ratio is what the front end adds.
void BM_ReindexAliasWithPack(benchmark::State& state) {
  Server& server = AliasServer();
  double serverMs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    int64_t before = server.TaskMilliseconds();
    state.ResumeTiming();
    int code = 0;
    server.Draining([&] { code = RunInProcess(kAliasWithPack); });
    state.PauseTiming();
    if (code != 0) state.SkipWithError("qd-reindex failed");
    serverMs += static_cast<double>(server.TaskMilliseconds() - before);
    state.ResumeTiming();
  }
  state.counters["server_ms"] = benchmark::Counter(serverMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ReindexAliasWithPack)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(9);

// The program itself: peak resident memory of the child that ran the job.
void BM_ReindexProgramPeakMemory(benchmark::State& state) {
  Server& server = AliasServer();
  long peakKb = 0;
  for (auto _ : state) {
    server.Draining([&] {
      pid_t pid = fork();
      if (pid == 0) {
        setenv("QD_PASSWORD", "demo", 1);
        std::vector<char*> argv{const_cast<char*>(QD_REINDEX_PATH)};
        for (const std::string& a : kAliasWithPack) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(QD_REINDEX_PATH, argv.data());
        _exit(127);
      }
      int status = 0;
      rusage usage{};
      wait4(pid, &status, 0, &usage);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("qd-reindex failed");
      peakKb = std::max(peakKb, usage.ru_maxrss);
    });
  }
  state.counters["peak_rss_kb"] = benchmark::Counter(static_cast<double>(peakKb));
}
BENCHMARK(BM_ReindexProgramPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

long ResidentKb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The heap in use on the main arena, where the runs allocate. The server's
// log, which the benchmark keeps and which grows with every task by
// design, is read on another thread and so lives in another arena.
long MainHeapKb() { return static_cast<long>(mallinfo2().uordblks) / 1024; }

// 100 runs in this process, on an alias of 10 tables: what stays resident
// after the first run and after the last (the server's log that the
// benchmark keeps is part of it), and the heap the runs use. QD_BENCH_RUNS
// changes the count.
void BM_ReindexHundredRunsMemory(benchmark::State& state) {
  Server& server = SmallServer();
  int runs = getenv("QD_BENCH_RUNS") != nullptr ? atoi(getenv("QD_BENCH_RUNS")) : 100;
  long first = 0, last = 0, heapFirst = 0, heapLast = 0;
  size_t logFirst = 0;
  auto runMany = [&](int count) {
    server.Draining([&] {
      for (int i = 0; i < count; ++i)
        if (RunInProcess(kAliasWithPack) != 0) state.SkipWithError("qd-reindex failed");
    });
  };
  for (auto _ : state) {
    // The first run on its own: measured once the log's reader has stopped.
    runMany(1);
    first = ResidentKb();
    heapFirst = MainHeapKb();
    logFirst = server.process->Output().capacity();
    runMany(runs - 1);
    last = ResidentKb();
    heapLast = MainHeapKb();
  }
  state.counters["rss_after_first_kb"] = benchmark::Counter(static_cast<double>(first));
  state.counters["rss_after_last_kb"] = benchmark::Counter(static_cast<double>(last));
  state.counters["rss_growth_kb"] = benchmark::Counter(static_cast<double>(last - first));
  state.counters["heap_growth_kb"] = benchmark::Counter(static_cast<double>(heapLast - heapFirst));
  // What the kept log of the server grew by meanwhile.
  state.counters["log_growth_kb"] =
      benchmark::Counter(static_cast<double>(server.process->Output().capacity() - logFirst) / 1024);
  state.counters["runs"] = benchmark::Counter(runs);
}
BENCHMARK(BM_ReindexHundredRunsMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace qd

BENCHMARK_MAIN();
