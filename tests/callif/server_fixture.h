// The call interface against a qd-server process with the demo data: on an
// ephemeral TCP port (the client's settings file points at it) or on a
// private single-user socket. The server is secure (user demo, password
// demo); a login hook answers with the credentials a test chooses.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "callif/QDCLSess.h"
#include "callif/QDClEng.h"
#include "callif/dialog_hooks.h"
#include "server/demo_data.h"
#include "tests/server/server_process.h"
#include "tests/server/temp_dir.h"
#include "tests/support/free_port.h"

namespace qd::test {

class CallifServerTest : public testing::TestWithParam<bool> {  // true: TCP/IP
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(MakeDemoData(dir_.Path(), 4, 300, error)) << error;
    clientDiscoveryPort_ = FreeLoopbackPort(SOCK_DGRAM);
    StartServer();
    ForgetAcceptedCredentials();
    AnswerLogins("demo", "demo");
  }
  void TearDown() override {
    StopClientEngine();
    SetLoginDialogHook({});
    SetServerDialogHook({});
    SetPresetCredentials("", "");
    ForgetAcceptedCredentials();
    unsetenv("XDG_CONFIG_DIRS");
    unsetenv("QUILLDRIVE_SINGLE_USER_SOCKET");
  }
  bool Tcp() const { return GetParam(); }

  // (Re)starts the server; a TCP server gets a new port, and the client's
  // settings follow it.
  void StartServer() {
    std::ofstream(dir_.Path() + "/test.conf")
        << "[Server]\nName = QDCALLIF\nTransports = TCP/IP, Single User\nPort = 0\nClientDiscoveryPort = "
        << clientDiscoveryPort_ << "\nSecure = 1\nDataDir = .\n[Users]\ndemo = demo\n[Aliases]\nSales = sales\n"
        << "Stock = stock\n";
    server_ = std::make_unique<ServerProcess>(QD_SERVER_PATH, dir_.Path() + "/test.conf", SocketPath());
    ASSERT_NE(server_->TcpPort(), 0) << server_->Output();
    WriteClientSettings(Tcp() ? "QDCALLIF@127.0.0.1" : "");
  }
  void WriteClientSettings(const std::string& serverName, const std::string& discoveryAddress = "127.0.0.1") {
    std::filesystem::create_directories(dir_.Path() + "/xdg/Brackwater");
    std::ofstream(dir_.Path() + "/xdg/Brackwater/Quilldrive.conf")
        << "[Client Configuration]\nProtocol = " << (Tcp() ? "TCP/IP" : "Single User") << "\nServerName = "
        << serverName << "\nServerPort = " << server_->TcpPort() << "\nClientDiscoveryPort = " << clientDiscoveryPort_
        << "\nDiscoveryAddress = " << discoveryAddress << "\n";
    setenv("XDG_CONFIG_DIRS", (dir_.Path() + "/xdg").c_str(), 1);
    setenv("QUILLDRIVE_SINGLE_USER_SOCKET", SocketPath().c_str(), 1);
  }
  std::string SocketPath() const { return dir_.Path() + "/single-user"; }

  // The login dialog answers with these and counts its prompts.
  void AnswerLogins(std::string user, std::string password, bool confirm = true) {
    SetLoginDialogHook([this, user, password, confirm](const std::string&, const std::string&, TqdNetName& u,
                                                       TqdNetName& p) {
      ++prompts_;
      u.Assign(user);
      p.Assign(password);
      return confirm;
    });
  }

  // The engine with a current session: logged in, or the test fails.
  TqdClientEngine& Engine() {
    if (!ClientEngineStarted()) StartClientEngine();
    return *ClientEngine();
  }
  hDBIDb OpenSales() {
    hDBIDb db = nullptr;
    EXPECT_EQ(Engine().OpenDatabase(nullptr, "Sales", nullptr, 0, 0, nullptr, 0, nullptr, nullptr, db), qdOK);
    return db;
  }
  hDBICur OpenTable(hDBIDb db, const char* name, int32_t translation = 0) {
    hDBICur cursor = nullptr;
    EXPECT_EQ(Engine().OpenTable(db, name, nullptr, nullptr, nullptr, 0, 0, 0, translation, false, nullptr, cursor),
              qdOK);
    return cursor;
  }

  TempDir dir_;
  uint16_t clientDiscoveryPort_ = 0;
  std::unique_ptr<ServerProcess> server_;
  int prompts_ = 0;
};

inline std::string ParamName(const testing::TestParamInfo<bool>& info) { return info.param ? "TCP" : "SingleUser"; }

}  // namespace qd::test
