// A qd-server process on demo data for the front ends' benchmarks: TCP/IP
// on loopback and the single-user socket, client settings pointing at it,
// and the server's own log of its tasks, read meanwhile so a full pipe
// never stops it.
#pragma once

#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "server/demo_data.h"
#include "tests/server/server_process.h"
#include "tests/server/temp_dir.h"

namespace qd::bench {

// `tables` tables (half in each alias) of `records` records.
struct DemoServer {
  DemoServer(int tables, int records) {
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
  // Runs `body` while the server's log is read.
  template <class Body>
  void Draining(Body body) {
    std::atomic<bool> done{false};
    std::thread drain([&] {
      while (!done) process->ReadAvailable();
    });
    body();
    done = true;
    drain.join();
  }
  test::TempDir dir;
  std::unique_ptr<test::ServerProcess> process;
};

}  // namespace qd::bench
