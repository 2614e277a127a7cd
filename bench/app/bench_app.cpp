// The window against a local qd-server: from the window's construction to
// its filled alias list (single user and TCP/IP), and "Rebuild alias" with
// pack on an alias of 200 tables beside the time the server's tasks took
// (read from the server's log of each task). Runs offscreen.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/RIMain.h"
#include "app/queue_driver.h"
#include "callif/QDCLSess.h"
#include "components/QDDB.h"
#include "jobs/component_backend.h"
#include "platform/hooks.h"
#include "server/demo_data.h"
#include "tests/server/server_process.h"
#include "tests/server/temp_dir.h"

namespace qd {
namespace {

// A demo server with `tables` tables of `records` records, TCP and single user.
struct Server {
  Server(int tables, int records) {
    std::string error;
    if (!MakeDemoData(dir.Path(), tables, records, error)) return;
    std::ofstream(dir.Path() + "/bench.conf")
        << "[Server]\nName = QDBENCH\nTransports = TCP/IP, Single User\nPort = 0\nSecure = 1\nDataDir = .\n"
        << "[Users]\ndemo = demo\n[Aliases]\nSales = sales\nStock = stock\n";
    process = std::make_unique<test::ServerProcess>(QD_SERVER_PATH, dir.Path() + "/bench.conf", dir.Path() + "/su");
  }
  void PointClientAt(bool tcp) {
    std::filesystem::create_directories(dir.Path() + "/xdg/Brackwater");
    std::ofstream(dir.Path() + "/xdg/Brackwater/Quilldrive.conf")
        << "[Client Configuration]\nProtocol = " << (tcp ? "TCP/IP" : "Single User")
        << "\nServerName = " << (tcp ? "QDBENCH@127.0.0.1" : "local server") << "\nServerPort = " << process->TcpPort()
        << "\n";
    setenv("XDG_CONFIG_DIRS", (dir.Path() + "/xdg").c_str(), 1);
    setenv("QUILLDRIVE_SINGLE_USER_SOCKET", (dir.Path() + "/su").c_str(), 1);
  }
  // The milliseconds of every task the server logged as finished so far.
  int64_t TaskMilliseconds() {
    process->ReadAvailable();
    static const std::regex finished(R"(\) finished after (\d+) ms)");
    int64_t sum = 0;
    const std::string& out = process->Output();
    for (auto it = std::sregex_iterator(out.begin(), out.end(), finished); it != std::sregex_iterator(); ++it)
      sum += std::stoll((*it)[1]);
    return sum;
  }
  test::TempDir dir;
  std::unique_ptr<test::ServerProcess> process;
};

void BM_WindowToFilledAliasList(benchmark::State& state) {
  Server server(4, 10);
  server.PointClientAt(state.range(0) != 0);
  InitializeComponentLayer();
  {
    TqdQtQueueDriver driver;
    for (auto _ : state) {
      TqdComponentBackend backend;
      TFrmRIMain window(backend);
      if (window.ComboBoxAlias->count() != 2) state.SkipWithError("no aliases");
    }
  }
  FinalizeComponentLayer();
}
BENCHMARK(BM_WindowToFilledAliasList)->Arg(0)->Arg(1)->ArgNames({"tcp"})->Unit(benchmark::kMillisecond);

// Reports the job's wall time and, as a counter, the server's task time of
// the same run; their ratio is the client's share.
void BM_RebuildAliasWithPack(benchmark::State& state) {
  Server server(400, 100);  // 200 tables in each alias
  // TCP/IP; QD_BENCH_SU=1 in the environment runs it over the single-user transport.
  server.PointClientAt(getenv("QD_BENCH_SU") == nullptr);
  InitializeComponentLayer();
  double serverMs = 0, jobMs = 0;
  {
    TqdQtQueueDriver driver;
    TqdComponentBackend backend;
    TFrmRIMain window(backend);
    window.ComboBoxAlias->setCurrentIndex(window.ComboBoxAlias->findText("Sales"));
    emit window.ComboBoxAlias->activated(window.ComboBoxAlias->currentIndex());
    window.CheckBoxPack->setChecked(true);
    std::string failure;
    SetMessageBoxHook([&](std::string_view, std::string_view text) { failure = text; });
    for (auto _ : state) {
      int64_t before = server.TaskMilliseconds();
      // The server logs every task; its log must be read meanwhile, or the
      // pipe fills and the server waits on it.
      std::atomic<bool> done{false};
      std::thread drain([&] {
        while (!done) server.process->ReadAvailable();
      });
      auto start = std::chrono::steady_clock::now();
      window.BitBtnReIndexAlias->click();
      jobMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      done = true;
      drain.join();
      if (!failure.empty()) {
        state.SkipWithError(failure.c_str());
        break;
      }
      state.PauseTiming();
      serverMs += static_cast<double>(server.TaskMilliseconds() - before);
      state.ResumeTiming();
    }
  }
  FinalizeComponentLayer();
  state.counters["server_ms"] = benchmark::Counter(serverMs, benchmark::Counter::kAvgIterations);
  // The goal: at most 1.2.
  if (serverMs > 0) state.counters["job_per_server"] = jobMs / serverMs;
}
BENCHMARK(BM_RebuildAliasWithPack)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace qd

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  qd::SetPresetCredentials("demo", "demo");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
