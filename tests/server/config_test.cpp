#include <gtest/gtest.h>

#include <fstream>

#include "server/command_line.h"
#include "server/server_config.h"
#include "temp_dir.h"

namespace qd {
namespace {

TEST(ServerConfig, DefaultsWithUsersAndAliases) {
  test::TempDir dir;
  dir.Make("sales");
  TqdServerConfig cfg;
  std::string error;
  ASSERT_TRUE(ParseServerConfig("[Users]\ndemo = secret\n[Aliases]\nSales = sales\n", dir.Path(),
                                cfg, error))
      << error;
  EXPECT_EQ(cfg.Name, "QDSERVER");
  EXPECT_EQ(cfg.Port, 24677);
  EXPECT_EQ(cfg.ClientDiscoveryPort, 24933);
  EXPECT_EQ(cfg.IPXPortOffset, 10000);
  EXPECT_TRUE(cfg.Secure);
  ASSERT_EQ(cfg.Transports.size(), 2u);
  EXPECT_EQ(cfg.Transports[0], TqdServerTransport::TCPIP);
  EXPECT_EQ(cfg.Transports[1], TqdServerTransport::SingleUser);
  ASSERT_EQ(cfg.Aliases.size(), 1u);
  EXPECT_EQ(cfg.Aliases[0].Name, "Sales");
  EXPECT_EQ(cfg.Aliases[0].Directory, cfg.DataDir + "/sales");
  std::string password;
  EXPECT_TRUE(cfg.PasswordOf("DEMO", password));
  EXPECT_EQ(password, "secret");
  EXPECT_FALSE(cfg.PasswordOf("nobody", password));
}

TEST(ServerConfig, AllServerKeys) {
  test::TempDir dir;
  dir.Make("data/a");
  TqdServerConfig cfg;
  std::string error;
  ASSERT_TRUE(ParseServerConfig("[Server]\nName = HQ\nTransports = single user, ipx/spx, netbios\nPort = 0\n"
                                "ClientDiscoveryPort = 4000\nIPXPortOffset = 0\nSecure = 0\nDataDir = data\n"
                                "NetBIOSInterfaces = 127.0.0.1, 127.0.0.2\nNetBIOSNamePort = 5137\nNetBIOSDatagramPort = 5138\n"
                                "NetBIOSSessionPort = 5139\nNetBIOSBroadcastAddress = 127.255.255.255\n"
                                "KeepAliveInactivity = 400\nKeepAliveInterval = 300\nKeepAliveRetries = 2\n"
                                "[Aliases]\nA = a\n",
                                dir.Path(), cfg, error))
      << error;
  EXPECT_EQ(cfg.Name, "HQ");
  ASSERT_EQ(cfg.Transports.size(), 3u);
  EXPECT_EQ(cfg.Transports[0], TqdServerTransport::SingleUser);
  EXPECT_EQ(cfg.Transports[1], TqdServerTransport::IPXSPX);
  EXPECT_EQ(cfg.Transports[2], TqdServerTransport::NetBIOS);
  EXPECT_EQ(cfg.NetBIOS.Interfaces, (std::vector<std::string>{"127.0.0.1", "127.0.0.2"}));
  EXPECT_EQ(cfg.NetBIOS.NamePort, 5137);
  EXPECT_EQ(cfg.NetBIOS.DatagramPort, 5138);
  EXPECT_EQ(cfg.NetBIOS.SessionPort, 5139);
  EXPECT_EQ(cfg.NetBIOS.BroadcastAddress, "127.255.255.255");
  EXPECT_EQ(cfg.IPXPortOffset, 0);
  EXPECT_EQ(cfg.Port, 0);
  EXPECT_EQ(cfg.ClientDiscoveryPort, 4000);
  EXPECT_FALSE(cfg.Secure);
  EXPECT_EQ(cfg.Aliases[0].Directory, cfg.DataDir + "/a");
  EXPECT_EQ(cfg.KeepAlive.InactivityInterval, 400);
  EXPECT_EQ(cfg.KeepAlive.CheckInterval, 300);
  EXPECT_EQ(cfg.KeepAlive.Retries, 2);
}

struct BadConfigCase {
  const char* Text;
  const char* ErrorPart;
};

TEST(ServerConfig, RejectsBadSettings) {
  const BadConfigCase cases[] = {
      {"[Server]\nPort = 70000\n", "Port"},
      {"[Server]\nPort = x\n", "Port"},
      {"[Server]\nClientDiscoveryPort = 0\n", "ClientDiscoveryPort"},
      {"[Server]\nSecure = yes\n", "Secure"},
      {"[Server]\nKeepAliveInactivity = 50\n", "KeepAliveInactivity"},
      {"[Server]\nKeepAliveInterval = 9999999999\n", "KeepAliveInterval"},
      {"[Server]\nKeepAliveRetries = 0\n", "KeepAliveRetries"},
      {"[Server]\nTransports = AppleTalk\n", "Transports"},
      {"[Server]\nNetBIOSInterfaces = 127.0.0.1, lo\n", "NetBIOSInterfaces"},
      {"[Server]\nNetBIOSSessionPort = 0\n", "NetBIOSSessionPort"},
      {"[Server]\nNetBIOSBroadcastAddress = all\n", "NetBIOSBroadcastAddress"},
      {"[Server]\nIPXPortOffset = 40347\n", "IPXPortOffset"},
      {"[Server]\nIPXPortOffset = -1\n", "IPXPortOffset"},
      {"[Server]\nColour = red\n", "Colour"},
      {"[Aliases]\na/b = x\n", "a/b"},
      {"[Server]\nSecure = 0\n[Aliases]\nA = missing\n", "not an existing directory"},
      {"[Server]\nSecure = 0\nDataDir = nowhere\n", "DataDir"},
      {"[Server]\nSecure = 1\n", "Users"},
      {"[Server]\nSecure = 0\n[Aliases]\nA = .\na = .\n", "twice"},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    TqdServerConfig cfg;
    std::string error;
    EXPECT_FALSE(ParseServerConfig(c.Text, dir.Path(), cfg, error)) << c.Text;
    EXPECT_NE(error.find(c.ErrorPart), std::string::npos) << c.Text << " -> " << error;
  }
}

TEST(ServerConfig, LoadTakesDirectoriesFromTheFilesPlace) {
  test::TempDir dir;
  dir.Make("x");
  std::ofstream(dir.Path() + "/server.conf") << "[Server]\nSecure=0\n[Aliases]\nX=x\n";
  TqdServerConfig cfg;
  std::string error;
  ASSERT_TRUE(LoadServerConfig(dir.Path() + "/server.conf", cfg, error)) << error;
  EXPECT_EQ(cfg.Aliases[0].Directory, cfg.DataDir + "/x");
  EXPECT_FALSE(LoadServerConfig(dir.Path() + "/none.conf", cfg, error));
}

// The size is checked while reading: a file that never ends (a device, a
// pipe) is refused after the first megabyte instead of filling memory.
TEST(ServerConfig, LoadRefusesAFileWithoutEnd) {
  TqdServerConfig cfg;
  std::string error;
  EXPECT_FALSE(LoadServerConfig("/dev/zero", cfg, error));
  EXPECT_EQ(error, "/dev/zero: the file is too large");
}

struct CommandLineCase {
  std::vector<std::string> Args;
  bool Ok;
  TqdRunMode Mode;
  int Tables;
  int Records;
};

TEST(CommandLine, AcceptsExactlyTheThreeForms) {
  const CommandLineCase cases[] = {
      {{"--help"}, true, TqdRunMode::Help, 3, 1000},
      {{"--config", "a.conf"}, true, TqdRunMode::Run, 3, 1000},
      {{"--make-demo", "d"}, true, TqdRunMode::MakeDemo, 3, 1000},
      {{"--make-demo", "d", "--tables", "5", "--records", "20"}, true, TqdRunMode::MakeDemo, 5, 20},
      {{"--make-demo", "d", "--records", "0"}, true, TqdRunMode::MakeDemo, 3, 0},
      {{}, false, TqdRunMode::Help, 3, 1000},
      {{"--config"}, false, TqdRunMode::Help, 3, 1000},
      {{"--config", "a", "b"}, false, TqdRunMode::Help, 3, 1000},
      {{"--make-demo", "d", "--tables", "0"}, false, TqdRunMode::Help, 3, 1000},
      {{"--make-demo", "d", "--tables", "2x"}, false, TqdRunMode::Help, 3, 1000},
      {{"--make-demo", "d", "--tables", "2", "--tables", "3"}, false, TqdRunMode::Help, 3, 1000},
      {{"--make-demo", "d", "--records"}, false, TqdRunMode::Help, 3, 1000},
      {{"--verbose"}, false, TqdRunMode::Help, 3, 1000},
  };
  for (const auto& c : cases) {
    TqdCommandLine line;
    std::string error;
    bool ok = ParseCommandLine(c.Args, line, error);
    EXPECT_EQ(ok, c.Ok) << testing::PrintToString(c.Args);
    if (ok && c.Ok) {
      EXPECT_EQ(line.Mode, c.Mode);
      EXPECT_EQ(line.Tables, c.Tables);
      EXPECT_EQ(line.Records, c.Records);
    }
  }
}

}  // namespace
}  // namespace qd
