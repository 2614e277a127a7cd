// A qd-server process with demo data on an ephemeral loopback port, client
// settings that point at it, and qd-reindex run against it as a child
// process while the server's log is read.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "server/demo_data.h"
#include "server/table_store.h"
#include "tests/cli/reindex_process.h"
#include "tests/server/server_process.h"
#include "tests/server/temp_dir.h"

namespace qd::test {

using Env = std::map<std::string, const char*>;

class ReindexServerTest : public ::testing::Test {
 protected:
  // Sales: Customers, Suppliers, ...; Stock: Orders, Invoices, ...
  void StartServer(int tables, int records) {
    std::string error;
    ASSERT_TRUE(MakeDemoData(dir_.Path(), tables, records, error)) << error;
    RestartServer("Transports = TCP/IP\nPort = 0\n");
    std::ofstream(dir_.Path() + "/xdg/Brackwater/Quilldrive.conf")
        << "[Client Configuration]\nProtocol = TCP/IP\nServerName = QDCLI@127.0.0.1\nServerPort = "
        << server_->TcpPort() << "\n";
  }
  // A server with these [Server] lines on the same data; the client
  // settings directory is made, their file left to the caller.
  void RestartServer(const std::string& transportLines) {
    server_.reset();
    std::ofstream(dir_.Path() + "/test.conf")
        << "[Server]\nName = QDCLI\n" << transportLines << "BindAddress = 127.0.0.1\nSecure = 1\nDataDir = .\n"
        << "[Users]\ndemo = demo\n[Aliases]\nSales = sales\nStock = stock\n";
    server_ = std::make_unique<ServerProcess>(QD_SERVER_PATH, dir_.Path() + "/test.conf",
                                                    dir_.Path() + "/single-user");
    ASSERT_NE(server_->TcpPort(), 0);
    std::filesystem::create_directories(dir_.Path() + "/xdg/Brackwater");
    xdg_ = dir_.Path() + "/xdg";
  }
  void SetUp() override { StartServer(Tables(), 100); }
  // Split between the two aliases.
  virtual int Tables() const { return 4; }

  Env Environment(const char* password = "demo") const {
    return {{"XDG_CONFIG_DIRS", xdg_.c_str()}, {"QD_PASSWORD", password}};
  }
  std::vector<std::string> WithUser(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), {"--user", "demo"});
    return arguments;
  }
  // Runs to the end while the server's log is read, so it never blocks on
  // a full pipe.
  ReindexResult Run(const std::vector<std::string>& arguments, const Env& environment) {
    ReindexProcess process(arguments, environment);
    return Draining([&] { return process.Wait(300); });
  }
  template <class Body>
  ReindexResult Draining(Body body) {
    std::atomic<bool> done{false};
    std::thread drain([&] {
      while (!done) server_->ReadAvailable();
    });
    ReindexResult result = body();
    done = true;
    drain.join();
    return result;
  }
  // Tasks of a kind ("rebuild", "pack") the server logged as finished.
  int Finished(const char* kind) {
    server_->ReadAvailable();
    std::string marker = std::string("(") + kind + " of ";
    int count = 0;
    const std::string& out = server_->Output();
    for (size_t at = out.find(marker); at != std::string::npos; at = out.find(marker, at + 1)) {
      size_t end = out.find('\n', at);
      if (out.substr(at, end - at).find(") finished") != std::string::npos) ++count;
    }
    return count;
  }
  int Started() { return Finished("rebuild") + Finished("pack"); }
  // Deleted records still held by each table of the alias directory.
  std::map<std::string, int64_t> Deleted(const std::string& aliasDir) {
    TqdTableStore store(std::filesystem::canonical(dir_.Path() + "/" + aliasDir).string());
    std::map<std::string, int64_t> deleted;
    for (const TqdTableInfo& t : store.ListTables("")) deleted[t.Name] = t.Deleted;
    return deleted;
  }
  std::string Path(const char* name) const { return dir_.Path() + "/" + name; }

  TempDir dir_;
  std::unique_ptr<ServerProcess> server_;
  std::string xdg_;
};

}  // namespace qd::test
