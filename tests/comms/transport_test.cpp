// Transport-specific behaviour: part sizes and acknowledgements on the
// single-user transport, discovery and connecting over TCP/IP and IPX/SPX.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <functional>
#include <optional>
#include <set>

#include "base/endian.h"
#include "comms/QDClComm.h"
#include "base/QDLLExcp.h"
#include "comms/QDCLCfg.h"
#include "comms/keepalive.h"
#include "comms/ipx_spx.h"
#include "comms/netbios_transport.h"
#include "comms/single_user.h"
#include "platform/netbios/netbios.h"
#include "engine_fixture.h"
#include "test_peer.h"
#include "tests/support/free_ipx_offset.h"
#include "tests/support/free_port.h"
#include "tests/support/netbios_loopback.h"

namespace qd::test {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for a scope, then puts back what was there.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

fs::path TempDir(const char* what) {
  static int counter = 0;
  fs::path dir = fs::temp_directory_path() /
                 (std::string("qd_") + what + "_" + std::to_string(getpid()) + "_" + std::to_string(++counter));
  fs::create_directories(dir);
  return dir;
}

class SingleUserTest : public ::testing::Test {
 protected:
  SingleUserTest() : dir_(TempDir("su")), env_("QUILLDRIVE_SINGLE_USER_SOCKET", (dir_ / "su").string()) {}
  ~SingleUserTest() override { fs::remove_all(dir_); }
  void Start(PeerBehaviour b = {}) {
    peer_ = std::make_unique<TestPeer>(PeerTransport::kSingleUser, std::move(b));
    engine_ = std::make_unique<TqdClientCommsEngine>("PC1", SingleUserProtocolClass());
    engine_->Startup();
  }
  void TearDown() override {
    engine_.reset();
    peer_.reset();
  }
  fs::path dir_;
  ScopedEnv env_;
  std::unique_ptr<TestPeer> peer_;
  std::unique_ptr<TqdClientCommsEngine> engine_;
};

TEST_F(SingleUserTest, RequestsOf4072And4073BytesWaitForTheAcknowledgementBetweenParts) {
  PeerBehaviour b;
  b.AckDelayMs = 100;  // a client that did not wait would send its second part meanwhile
  Start(b);
  ASSERT_EQ(engine_->Attach("any", "bob", "secret"), qdOK);
  struct Case {
    uint32_t size;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {4072, {"part 2048 11 4096"}},
      // The echo comes back in two parts too: the client acknowledges the first.
      {4073, {"part 2048 10 4096", "ack", "part 2048 01 25", "part 5 11 24"}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> data(c.size, 0x5A);
    std::vector<uint8_t> reply(c.size);
    size_t before = peer_->PartLog().size();
    EXPECT_EQ(engine_->Request(msgGetRecord, data.data(), c.size, reply.data(), c.size), qdOK);
    EXPECT_EQ(reply, data);
    auto log = peer_->PartLog();
    EXPECT_EQ(std::vector<std::string>(log.begin() + static_cast<std::ptrdiff_t>(before), log.end()), c.log) << c.size;
  }
}

// Only a whole header can be answered in the client's key: a shorter part
// that starts like a login confirmation is hung up, not read past its end.
TEST_F(SingleUserTest, ShortLoginPartIsHungUpNotReadPast) {
  Start();
  int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string path = SingleUserSocketPath();
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  timeval wait{30, 0};  // every read below ends within the deadline
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  uint8_t packet[kSingleUserPacketSize];
  ASSERT_EQ(recv(fd, packet, sizeof packet, 0), 4);
  EXPECT_EQ(GetUInt32LE(packet), kSingleUserAccepted);
  uint8_t shortLogin[8];
  PutUInt32LE(shortLogin, kSingleUserData);
  PutUInt32LE(shortLogin + 4, msgConfirmLogin);
  ASSERT_EQ(send(fd, shortLogin, sizeof shortLogin, 0), static_cast<ssize_t>(sizeof shortLogin));
  // The peer answers with its hang-up packet or by closing; never with a reply.
  ssize_t n = recv(fd, packet, sizeof packet, 0);
  EXPECT_TRUE(n == 0 || (n == 4 && GetUInt32LE(packet) == kSingleUserHangUp)) << n;
  close(fd);
}

TEST_F(SingleUserTest, DiscoveryYieldsOnlyTheLocalServer) {
  Start();
  std::vector<std::string> names = {"stale"};
  engine_->GetServerNames(names);
  EXPECT_EQ(names, std::vector<std::string>{"local server"});
}

TEST_F(SingleUserTest, CallWithoutAServerGivesNoConnection) {
  engine_ = std::make_unique<TqdClientCommsEngine>("PC1", SingleUserProtocolClass());
  EXPECT_EQ(engine_->Attach("any", "bob", "secret"), qdErrNetServerNotFound);
}

TEST_F(SingleUserTest, HangUpsTravelBothWays) {
  Start();
  ASSERT_EQ(engine_->Attach("any", "bob", "secret"), qdOK);
  peer_->Run([](TqdBaseCommsProtocol& t, TqdServerEndpoint&) { t.HangUp(t.ConnectionAt(0)->Handle()); });
  auto deadline = std::chrono::steady_clock::now() + kAtOnce;
  while (engine_->IsConnected() && std::chrono::steady_clock::now() < deadline) engine_->Transport().Breathe(10);
  EXPECT_FALSE(engine_->IsConnected());

  ASSERT_EQ(engine_->Attach("any", "bob", "secret"), qdOK);
  EXPECT_TRUE(peer_->WaitUntil([&] { return peer_->ConnectionCount() == 1; }));
  engine_.reset();  // the client's transport goes: the server hears the hang-up
  EXPECT_TRUE(peer_->WaitUntil([&] { return peer_->ConnectionCount() == 0; }));
}

TEST_F(SingleUserTest, ASecondServerCannotTakeALiveSocket) {
  Start();
  EXPECT_THROW(TqdSingleUserProtocol("QD2", kListeningMode).Startup(), EqdWinsockException);
  EXPECT_THROW(TqdSingleUserProtocol("QD2", kListeningMode).Call(""), EqdCommsException);
}

// The socket's directory must be the user's own and writable by nobody
// else, or another user could put a socket of theirs in the server's place.
TEST(SingleUserSocketDirectoryTest, OnlyAPrivateDirectoryIsUsed) {
  struct Case {
    const char* what;
    std::function<void(const fs::path& dir)> make;
    bool usable;
  };
  const Case cases[] = {
      {"made by the server", [](const fs::path&) {}, true},
      {"private", [](const fs::path& dir) { fs::create_directory(dir); fs::permissions(dir, fs::perms::owner_all); },
       true},
      {"writable by all", [](const fs::path& dir) { fs::create_directory(dir); fs::permissions(dir, fs::perms::all); },
       false},
      {"a symbolic link",
       [](const fs::path& dir) {
         fs::create_directory(dir.string() + "-real");
         fs::permissions(dir.string() + "-real", fs::perms::owner_all);
         fs::create_directory_symlink(dir.string() + "-real", dir);
       },
       false},
  };
  for (const Case& c : cases) {
    fs::path runtime = TempDir("run");
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.string());
    c.make(runtime / "quilldrive");
    TqdSingleUserProtocol server("QD", kListeningMode);
    if (c.usable) {
      EXPECT_NO_THROW(server.Startup()) << c.what;
    } else {
      EXPECT_THROW(server.Startup(), EqdWinsockException) << c.what;
    }
    EXPECT_EQ(fs::exists(runtime / "quilldrive" / "single-user"), c.usable) << c.what;
    fs::remove_all(runtime);
  }
}

// The Winsock transports (TCP/IP and IPX/SPX) set up from the settings file
// as a client would be; `extra` holds the transport's endpoint keys.
class WinsockTransportTest : public ::testing::TestWithParam<PeerTransport> {
 protected:
  bool Ipx() const { return GetParam() == PeerTransport::kIPXSPX; }
  std::unique_ptr<TqdClientCommsEngine> ConfiguredClient(const std::string& extra) {
    fs::create_directories(config_ / "Brackwater");
    std::ofstream(config_ / "Brackwater" / "Quilldrive.conf")
        << "[Client Configuration]\nProtocol=" << ProtocolClassOf(GetParam()).Name << "\n" << extra;
    auto engine = std::make_unique<TqdClientCommsEngine>("PC1", *GetDefaultProtocolClass());
    engine->Startup();
    return engine;
  }
  ~WinsockTransportTest() override { fs::remove_all(config_); }
  fs::path config_ = TempDir("cfg");
  ScopedEnv env_{"XDG_CONFIG_DIRS", config_.string()};
};

INSTANTIATE_TEST_SUITE_P(Transports, WinsockTransportTest,
                         ::testing::Values(PeerTransport::kTCP, PeerTransport::kIPXSPX), TransportName);

// One broadcast reaches every server on the discovery port; each answer
// becomes an entry whose address the engine attaches with.
TEST_P(WinsockTransportTest, DiscoveryFindsTwoServersOnLoopback) {
  int32_t offset = FreeIpxPortOffset();
  uint16_t serverPort = Ipx() ? static_cast<uint16_t>(kIpxServerDiscoverySocket + offset) : FreeLoopbackPort(SOCK_DGRAM);
  uint16_t clientPort = Ipx() ? static_cast<uint16_t>(kIpxClientDiscoverySocket + offset) : FreeLoopbackPort(SOCK_DGRAM);
  std::vector<std::unique_ptr<TestPeer>> peers;
  for (const char* name : {"QDONE", "QDTWO"}) {
    PeerBehaviour b;
    b.ServerName = name;
    b.ServerDiscoveryPort = serverPort;
    b.ClientDiscoveryPort = clientPort;
    peers.push_back(std::make_unique<TestPeer>(GetParam(), b));
  }
  std::string extra = Ipx() ? "IPXPortOffset=" + std::to_string(offset) + "\nIPXDiscoveryAddress=127.255.255.255\n"
                            : "ServerPort=" + std::to_string(serverPort) + "\nClientDiscoveryPort=" +
                                  std::to_string(clientPort) + "\nDiscoveryAddress=127.255.255.255\n";
  auto engine = ConfiguredClient(extra);
  std::vector<std::string> names;
  engine->GetServerNames(names);
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(names[i].rfind(i == 0 ? "QDONE@" : "QDTWO@", 0), 0u) << names[i];
    std::string address = names[i].substr(6);
    if (Ipx()) {
      // The node is 00-00 and an IPv4 address of this host.
      EXPECT_TRUE(ParseIpxAddress(address).has_value()) << address;
      EXPECT_EQ(address.size(), kIpxAddressTextLength) << address;
      EXPECT_EQ(address.rfind("00000000:00-00-", 0), 0u) << address;
    }
    static_cast<TqdWinsockProtocol&>(engine->Transport()).Endpoints.StreamPort = peers[i]->Port();
    EXPECT_EQ(engine->Attach(names[i], "bob", "secret"), qdOK) << names[i];
  }
}

// A refused connection is reported without the 5 s connect wait; an
// address that names no host is reported as well. The TCP/IP names below
// fail before any lookup leaves the machine (an empty label cannot be put
// in a query), so the test depends neither on a name server nor on its
// timing; the IPX texts are malformed or name a node that is no IPv4 host.
TEST_P(WinsockTransportTest, RefusedOrUnresolvableServerIsReported) {
  uint16_t closedPort = FreeLoopbackPort(SOCK_STREAM);  // nobody listens there now
  TqdClientCommsEngine engine("PC1", ProtocolClassOf(GetParam()));
  static_cast<TqdWinsockProtocol&>(engine.Transport()).Endpoints.StreamPort = closedPort;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(engine.Attach(std::string("x@") + LoopbackAddress(GetParam()), "bob", ""), qdErrNetServerNotFound);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kConnectWaitMs - 1000));
  std::vector<const char*> bad = {"x@no..such..host", "x@"};
  if (Ipx()) bad = {"x@00000000:01-00-7F-00-00-01", "x@0000000G:00-00-7F-00-00-01", "x@127.0.0.1", "x@"};
  for (const char* address : bad) {
    EXPECT_EQ(engine.Attach(address, "bob", ""), qdErrNetServerNotFound) << address;
  }
}

TEST_P(WinsockTransportTest, ModeErrorsAndSettings) {
  std::unique_ptr<TqdBaseCommsProtocol> server = CreateProtocol(ProtocolClassOf(GetParam()), "QD", kListeningMode);
  EXPECT_THROW(server->Call(LoopbackAddress(GetParam())), EqdCommsException);
  std::unique_ptr<TqdBaseCommsProtocol> client = CreateProtocol(ProtocolClassOf(GetParam()), "QD", kCallingMode);
  EXPECT_THROW(client->Listen(), EqdCommsException);
  EXPECT_FALSE(client->LocalAddress().empty());
  if (Ipx()) {
    EXPECT_TRUE(ParseIpxAddress(client->LocalAddress()).has_value()) << client->LocalAddress();
  }
  EXPECT_EQ(client->MaxMsgSize(), 24576u);
  EXPECT_FALSE(client->NeedsPartAck());
  EXPECT_EQ(client->DiscoveryWait(), 250u);
}

// A server that stops reading (yet stays connected) must not hold a client's
// send for ever: once the socket has taken nothing for the stall limit, the
// connection is hung up and the request ends with the connection lost.
TEST(TcpTransportTest, ASendThatStallsGivesUp) {
  FakeClock::Install();
  TestPeer peer(PeerTransport::kTCP, {});
  TqdClientCommsEngine engine("PC1", TCPIPProtocolClass());
  auto& transport = static_cast<TqdWinsockProtocol&>(engine.Transport());
  transport.Endpoints.StreamPort = peer.Port();
  ASSERT_EQ(engine.Attach("x@127.0.0.1", "bob", "secret"), qdOK);
  transport.SendStallLimitMs = 1000;
  auto selectReads = [](uint16_t events) {
    return [events](TqdBaseCommsProtocol& t, TqdServerEndpoint&) {
      t.Window().AsyncSelect(static_cast<TqdWinsockConnection*>(t.ConnectionAt(0))->Fd, events);
    };
  };
  peer.Run(selectReads(0));  // the server reads no more
  // Each breathing turn of the blocked send moves the clock on; a send that
  // still waits after many turns is released by letting the server read.
  constexpr int kGiveUpTurns = 100;
  int turns = 0;
  transport.Events.OnIdle = [&](TqdBaseCommsProtocol&) {
    FakeClock::Now += 100;
    if (++turns == kGiveUpTurns) peer.Run(selectReads(FD_READ | FD_WRITE | FD_CLOSE));
  };
  std::vector<uint8_t> data(32u << 20, 0x5A);  // more than the socket buffers hold
  TqdMemoryStream request, reply;
  request.Write(data.data(), data.size());
  EXPECT_EQ(engine.Request(msgRestructureTable, {nullptr, 0, &request}, {nullptr, 0, &reply}), qdErrNetTimeout);
  EXPECT_LT(turns, kGiveUpTurns);
  EXPECT_FALSE(engine.IsConnected());
  FakeClock::Uninstall();
}

// A keep-alive that a reset connection refuses hangs the connection up; it
// raises nothing out of the timer that sent it.
TEST(TcpTransportTest, AKeepAliveToAResetConnectionRaisesNothing) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  socklen_t len = sizeof sa;
  getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len);
  TqdTCPIPProtocol client("PC1", kCallingMode);
  client.Endpoints.StreamPort = ntohs(sa.sin_port);
  TqdConnectionHandle handle = client.Call("127.0.0.1");
  ASSERT_NE(handle, 0u);
  int accepted = accept(listener, nullptr, nullptr);
  linger reset{1, 0};
  setsockopt(accepted, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(accepted);
  close(listener);
  // A new connection counts as idle, so each check sends a keep-alive.
  for (int i = 0; i < 10 && client.FindConnection(handle) != nullptr; ++i) EXPECT_NO_THROW(client.KeepAliveCheck());
  EXPECT_EQ(client.FindConnection(handle), nullptr);
}

// A site without NetBIOS gets text 132 when the transport is created.
TEST(ProtocolClassTest, AnAbsentNetBIOSRaises132) {
  TqdNetBIOSConfig absent;
  absent.Present = false;
  ConfigureNetBIOS(absent);
  try {
    TqdClientCommsEngine engine("PC1", NetBIOSProtocolClass());
    ADD_FAILURE() << "created without NetBIOS";
  } catch (const EqdNetBIOSException& e) {
    EXPECT_STREQ(e.what(), "NetBIOS communications: NetBIOS driver not found");
  }
  ConfigureNetBIOS(TqdNetBIOSConfig{});
}

// What a capture of discovery shows: the request is an IPX packet from the
// client's discovery socket to the server discovery socket of every node.
TEST(IpxTransportTest, ADiscoveryRequestIsAnIpxPacketOnTheWire) {
  int32_t offset = FreeIpxPortOffset();
  int listener = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(kIpxServerDiscoverySocket + offset));
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  TqdClientCommsEngine engine("PC1", IPXSPXProtocolClass());
  auto& transport = static_cast<TqdIPXSPXProtocol&>(engine.Transport());
  transport.SetEmulation({offset, "127.255.255.255"});
  std::vector<std::string> names;
  engine.GetServerNames(names);
  timeval wait{30, 0};
  setsockopt(listener, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  uint8_t packet[64];
  ASSERT_EQ(recv(listener, packet, sizeof packet, 0), 34);
  close(listener);
  std::vector<uint8_t> expected = {0xFF, 0xFF, 0x00, 0x22, 0x00, 0x04, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x60, 0x65};
  std::vector<uint8_t> source(12);
  TqdIpxAddress local = *ParseIpxAddress(transport.LocalAddress());
  std::copy(local.Network.begin(), local.Network.end(), source.begin());
  std::copy(local.Node.begin(), local.Node.end(), source.begin() + 4);
  source[10] = 0x61;
  source[11] = 0x65;
  expected.insert(expected.end(), source.begin(), source.end());
  expected.insert(expected.end(), {6, 0, 0, 0});
  EXPECT_EQ(std::vector<uint8_t>(packet, packet + 34), expected);
}

// The IPX/SPX emulation's settings: defaults, the keys, and values out of
// range that keep the defaults.
TEST(IpxSettingsTest, OffsetAndDiscoveryAddressFromTheClientConfiguration) {
  struct Case {
    const char* lines;
    int32_t offset;
    const char* address;
  };
  const Case cases[] = {
      {"", 10000, "255.255.255.255"},
      {"IPXPortOffset=0\nIPXDiscoveryAddress=127.255.255.255\n", 0, "127.255.255.255"},
      {"IPXPortOffset=40346\n", 40346, "255.255.255.255"},
      {"IPXPortOffset=40347\nIPXDiscoveryAddress=broadcast\n", 10000, "255.255.255.255"},
      {"IPXPortOffset=-1\n", 10000, "255.255.255.255"},
  };
  for (const Case& c : cases) {
    fs::path config = TempDir("cfg");
    fs::create_directories(config / "Brackwater");
    std::ofstream(config / "Brackwater" / "Quilldrive.conf") << "[Client Configuration]\n" << c.lines;
    ScopedEnv env("XDG_CONFIG_DIRS", config.string());
    TqdIPXSPXProtocol client("PC1", kCallingMode);
    EXPECT_EQ(client.Emulation().PortOffset, c.offset) << c.lines;
    EXPECT_EQ(client.Emulation().DiscoveryAddress, c.address) << c.lines;
    EXPECT_EQ(client.Endpoints.StreamPort, 25189 + c.offset) << c.lines;
    EXPECT_EQ(client.Endpoints.ServerDiscoveryPort, 24677 + c.offset) << c.lines;
    EXPECT_EQ(client.Endpoints.ClientDiscoveryPort, 24933 + c.offset) << c.lines;
    fs::remove_all(config);
  }
}

// The NetBIOS transport on the emulation, on loopback.
class NetBIOSTransportTest : public ::testing::Test {
 protected:
  NetBIOSTransportTest() { ConfigureNetBIOS(LoopbackNetBIOS()); }
  ~NetBIOSTransportTest() override { ConfigureNetBIOS(TqdNetBIOSConfig{}); }
};

// Discovery broadcasts every 500 ms for 3000 ms: both servers answer (each
// round, so each is listed several times; callers drop the repeats).
TEST_F(NetBIOSTransportTest, DiscoveryFindsTwoServers) {
  std::vector<std::unique_ptr<TestPeer>> peers;
  for (const char* name : {"QDONE", "QDTWO"}) {
    PeerBehaviour b;
    b.ServerName = name;
    peers.push_back(std::make_unique<TestPeer>(PeerTransport::kNetBIOS, b));
  }
  TqdClientCommsEngine engine("PC1", NetBIOSProtocolClass());
  engine.Startup();
  EXPECT_EQ(engine.Transport().LocalAddress().rfind("QDC_", 0), 0u) << engine.Transport().LocalAddress();
  EXPECT_EQ(engine.Transport().LocalAddress().size(), 15u);
  std::vector<std::string> names;
  engine.GetServerNames(names);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), (std::set<std::string>{"QDONE", "QDTWO"}));
  EXPECT_EQ(engine.Attach("QDTWO@QDTWO", "bob", "secret"), qdOK);
}

// A second server of the same name cannot register it: text 134.
TEST_F(NetBIOSTransportTest, ANameInUseIsNotAdded) {
  TestPeer peer(PeerTransport::kNetBIOS, {});
  TqdNetBIOSProtocol second("QDTEST", kListeningMode);
  try {
    second.Startup();
    ADD_FAILURE() << "a second QDTEST registered";
  } catch (const EqdNetBIOSException& e) {
    EXPECT_STREQ(e.what(), "NetBIOS communications: Name [QDTEST] could not be added to lana 0 [error $D]");
  }
}

// A receive that fails with anything but "session closed" (here a message
// longer than a part: code 6) hangs the connection up at once; the
// keep-alive, which would end it too, checks only once an hour here.
TEST_F(NetBIOSTransportTest, AFailedReceiveHangsUpAtOnce) {
  SetKeepAliveSettings({3600000, 3600000, 5});
  NCB add, listen;
  add.ncb_command = NCBADDNAME;
  std::memcpy(add.ncb_name, "RAWSERVER       ", NCBNAMSZ);
  ASSERT_EQ(Netbios(&add), NRC_GOODRET);
  listen.ncb_command = NCBLISTEN | kAsynch;
  std::memcpy(listen.ncb_name, "RAWSERVER       ", NCBNAMSZ);
  std::memcpy(listen.ncb_callname, "*               ", NCBNAMSZ);
  ASSERT_EQ(Netbios(&listen), NRC_GOODRET);
  TqdNetBIOSProtocol client("PC1", kCallingMode);
  client.Start();
  TqdConnectionHandle handle = client.Call("RAWSERVER");
  ASSERT_NE(handle, 0u);
  auto deadline = std::chrono::steady_clock::now() + kAtOnce;
  while (listen.ncb_cmd_cplt == NRC_PENDING && std::chrono::steady_clock::now() < deadline) client.Breathe(10);
  ASSERT_EQ(listen.ncb_cmd_cplt, NRC_GOODRET);
  std::vector<uint8_t> tooLong(kNetBIOSMaxMsgSize + 1, 0x5A);
  NCB send;
  send.ncb_command = NCBSEND;
  send.ncb_lsn = listen.ncb_lsn;
  send.ncb_buffer = tooLong.data();
  send.ncb_length = static_cast<uint16_t>(tooLong.size());
  ASSERT_EQ(Netbios(&send), NRC_GOODRET);
  while (client.FindConnection(handle) != nullptr && std::chrono::steady_clock::now() < deadline) client.Breathe(10);
  EXPECT_EQ(client.FindConnection(handle), nullptr);
  ResetKeepAliveSettings();
}

}  // namespace
}  // namespace qd::test
