// Transport-specific behaviour: part sizes and acknowledgements on the
// single-user transport, discovery and connecting over TCP/IP.
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
#include <functional>
#include <optional>

#include "base/endian.h"
#include "comms/QDClComm.h"
#include "base/QDLLExcp.h"
#include "comms/QDCLCfg.h"
#include "comms/keepalive.h"
#include "comms/single_user.h"
#include "engine_fixture.h"
#include "test_peer.h"
#include "tests/support/free_port.h"

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

TEST(TcpTransportTest, DiscoveryOnLoopbackWithTheAddressOverride) {
  uint16_t clientPort = FreeLoopbackPort(SOCK_DGRAM);
  PeerBehaviour b;
  b.ClientDiscoveryPort = clientPort;
  TestPeer peer(PeerTransport::kTCP, b);
  fs::path config = TempDir("cfg");
  fs::create_directories(config / "Brackwater");
  std::ofstream(config / "Brackwater" / "Quilldrive.conf")
      << "[Client Configuration]\nProtocol=TCP/IP\nServerPort=" << peer.Port()
      << "\nClientDiscoveryPort=" << clientPort << "\nDiscoveryAddress=127.0.0.1\n";
  ScopedEnv env("XDG_CONFIG_DIRS", config.string());
  TqdClientCommsEngine engine("PC1", *GetDefaultProtocolClass());
  engine.Startup();
  std::vector<std::string> names;
  engine.GetServerNames(names);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].rfind("QDTEST", 0), 0u) << names[0];
  // The entry is an address the engine attaches with.
  EXPECT_EQ(engine.Attach(names[0], "bob", "secret"), qdOK);
  fs::remove_all(config);
}

// A refused connection is reported without the 5 s connect wait; an
// address that names no host is reported as well. The names below fail
// before any lookup leaves the machine (an empty label cannot be put in a
// query), so the test depends neither on a name server nor on its timing.
TEST(TcpTransportTest, RefusedOrUnresolvableServerIsReported) {
  uint16_t closedPort = FreeLoopbackPort(SOCK_STREAM);  // nobody listens there now
  TqdClientCommsEngine engine("PC1", TCPIPProtocolClass());
  static_cast<TqdWinsockProtocol&>(engine.Transport()).Endpoints.StreamPort = closedPort;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(engine.Attach("x@127.0.0.1", "bob", ""), qdErrNetServerNotFound);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kConnectWaitMs - 1000));
  for (const char* address : {"x@no..such..host", "x@"}) {
    EXPECT_EQ(engine.Attach(address, "bob", ""), qdErrNetServerNotFound) << address;
  }
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

TEST(TcpTransportTest, ModeErrors) {
  TqdTCPIPProtocol server("QD", kListeningMode);
  EXPECT_THROW(server.Call("127.0.0.1"), EqdCommsException);
  TqdTCPIPProtocol client("QD", kCallingMode);
  EXPECT_THROW(client.Listen(), EqdCommsException);
  EXPECT_FALSE(client.LocalAddress().empty());
  EXPECT_EQ(client.MaxMsgSize(), 24576u);
  EXPECT_FALSE(client.NeedsPartAck());
}

TEST(ProtocolClassTest, TransportsWithoutAnEmulationYetRaise) {
  EXPECT_THROW(TqdClientCommsEngine("PC1", IPXSPXProtocolClass()), EqdWinsockException);
  EXPECT_THROW(TqdClientCommsEngine("PC1", NetBIOSProtocolClass()), EqdNetBIOSException);
}

}  // namespace
}  // namespace qd::test
