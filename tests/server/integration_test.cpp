// The whole server contract, through the client comms engine, against a
// qd-server process on an ephemeral TCP port, over SPX (the IPX/SPX
// emulation on loopback) and on a private single-user socket; and a server
// killed with SIGKILL during a pack.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <fstream>
#include <atomic>
#include <random>
#include <thread>

#include "base/QDLLExcp.h"
#include "base/endian.h"
#include "base/padlock.h"
#include "comms/QDClComm.h"
#include "comms/QDLLWsck.h"
#include "comms/ipx_spx.h"
#include "platform/netbios/netbios.h"
#include "server/demo_data.h"
#include "server/maintenance.h"
#include "server/server_core.h"
#include "server/server_results.h"
#include "server/wire_records.h"
#include "server_process.h"
#include "temp_dir.h"
#include "tests/comms/raw_client.h"
#include "tests/support/free_ipx_offset.h"
#include "tests/support/free_port.h"
#include "tests/support/netbios_loopback.h"

namespace qd {
namespace {

using Bytes = std::vector<uint8_t>;

// The transport a test reaches the server by.
enum class Via { kTCPIP, kIPXSPX, kSingleUser, kNetBIOS };
constexpr const char* kIpxLoopback = "00000000:00-00-7F-00-00-01";

class ServerIntegration : public testing::TestWithParam<Via> {
 protected:
  bool Winsock() const { return GetParam() == Via::kTCPIP || GetParam() == Via::kIPXSPX; }
  // The client's name for this host in the transport's address form.
  std::string Host() const {
    switch (GetParam()) {
      case Via::kTCPIP: return "127.0.0.1";
      case Via::kIPXSPX: return kIpxLoopback;
      case Via::kNetBIOS: return "QDTESTSRV";  // a NetBIOS address is the server's name
      default: return kLocalAddress;
    }
  }
  uint16_t StreamPort() const { return GetParam() == Via::kTCPIP ? server_->TcpPort() : server_->SpxPort(); }
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(MakeDemoData(dir_.Path(), 2, Records(), error)) << error;
    clientDiscoveryPort_ = test::FreeLoopbackPort(SOCK_DGRAM);
    ipxPortOffset_ = test::FreeIpxPortOffset();
    netbios_ = test::LoopbackNetBIOS();
    ConfigureNetBIOS(netbios_);  // the clients' side, shared by every client of the test
    std::ofstream(dir_.Path() + "/test.conf")
        << "[Server]\nName = QDTESTSRV\nTransports = TCP/IP, IPX/SPX, NetBIOS, Single User\nPort = 0\nClientDiscoveryPort = "
        << clientDiscoveryPort_ << "\nIPXPortOffset = " << ipxPortOffset_ << "\nNetBIOSInterfaces = 127.0.0.1"
        << "\nNetBIOSNamePort = " << netbios_.NamePort << "\nNetBIOSDatagramPort = " << netbios_.DatagramPort
        << "\nNetBIOSSessionPort = " << netbios_.SessionPort << "\nNetBIOSBroadcastAddress = 127.255.255.255\nSecure = 1\nDataDir = .\n[Users]\ndemo = demo\n[Aliases]\nSales = sales\nStock = stock\n";
    StartServer();
  }
  void TearDown() override {
    server_.reset();
    ConfigureNetBIOS(TqdNetBIOSConfig{});  // stops this test's emulation
  }
  virtual int Records() const { return 2000; }
  void StartServer() {
    server_ = std::make_unique<test::ServerProcess>(QD_SERVER_PATH, dir_.Path() + "/test.conf", SocketPath());
    ASSERT_NE(server_->TcpPort(), 0) << server_->Output();
    ASSERT_NE(server_->SpxPort(), 0) << server_->Output();
  }
  std::string SocketPath() const { return dir_.Path() + "/single-user"; }
  std::unique_ptr<TqdClientCommsEngine> Client() {
    setenv("QUILLDRIVE_SINGLE_USER_SOCKET", SocketPath().c_str(), 1);
    const TqdProtocolClass& kind = GetParam() == Via::kTCPIP     ? TCPIPProtocolClass()
                                   : GetParam() == Via::kIPXSPX  ? IPXSPXProtocolClass()
                                   : GetParam() == Via::kNetBIOS ? NetBIOSProtocolClass()
                                                                 : SingleUserProtocolClass();
    auto engine = std::make_unique<TqdClientCommsEngine>("tester", kind);
    engine->Startup();
    if (GetParam() == Via::kIPXSPX) {
      // IPX discovery is broadcast, on loopback's broadcast address.
      static_cast<TqdIPXSPXProtocol&>(engine->Transport()).SetEmulation({ipxPortOffset_, "127.255.255.255"});
    } else if (GetParam() == Via::kTCPIP) {
      auto& endpoints = static_cast<TqdWinsockProtocol&>(engine->Transport()).Endpoints;
      endpoints.ServerDiscoveryPort = server_->TcpPort();
      endpoints.ClientDiscoveryPort = clientDiscoveryPort_;
      endpoints.BroadcastAddress = "127.0.0.1";
    }
    if (Winsock()) static_cast<TqdWinsockProtocol&>(engine->Transport()).Endpoints.StreamPort = StreamPort();
    return engine;
  }
  std::string Address() const { return GetParam() != Via::kSingleUser ? "QDTESTSRV@" + Host() : "local server"; }
  std::unique_ptr<TqdClientCommsEngine> LoggedIn() {
    auto engine = Client();
    EXPECT_EQ(engine->Attach(Address(), "demo", "demo"), 0);
    return engine;
  }
  static TqdResult Block(TqdClientCommsEngine& e, TqdMsgID msg, const Bytes& request, Bytes& reply) {
    return e.Request(msg, TqdRequestData{request.data(), static_cast<uint32_t>(request.size()), nullptr},
                     TqdReplyTarget{reply.data(), static_cast<uint32_t>(reply.size()), nullptr});
  }
  static TqdResult Stream(TqdClientCommsEngine& e, TqdMsgID msg, const Bytes& request, TqdMemoryStream& reply) {
    return e.Request(msg, TqdRequestData{request.data(), static_cast<uint32_t>(request.size()), nullptr},
                     TqdReplyTarget{nullptr, 0, &reply});
  }
  int32_t OpenDatabase(TqdClientCommsEngine& e, const std::string& path) {
    Bytes req(222, 0), reply(4);
    PutShortString(req.data(), path, 219);
    req[220] = req[221] = 1;
    return Block(e, msgOpenDatabase, req, reply) == 0 ? GetInt32LE(reply.data()) : -1;
  }
  int32_t StartTask(TqdClientCommsEngine& e, TqdMsgID msg, int32_t db, const std::string& table, int32_t index) {
    Bytes req(msg == msgReindexTable ? 72 : 36, 0), reply(4);
    PutInt32LE(req.data(), db);
    PutShortString(req.data() + 4, table, 31);
    if (msg == msgReindexTable) PutInt32LE(req.data() + 68, index);
    EXPECT_EQ(Block(e, msg, req, reply), 0);
    return GetInt32LE(reply.data());
  }
  // Polls back to back until finished; the last percentage.
  int32_t PollToFinished(TqdClientCommsEngine& e, int32_t task) {
    Bytes reply(33);
    for (int i = 0; i < 1000000; ++i) {
      EXPECT_EQ(Block(e, msgGetTaskStatus, Int32Reply(task), reply), 0);
      EXPECT_EQ(reply[32], 1);
      if (reply[32] != 1 || reply[28] != 0) break;
    }
    return GetInt32LE(reply.data() + 20);
  }

  test::TempDir dir_;
  uint16_t clientDiscoveryPort_ = 0;
  int32_t ipxPortOffset_ = 0;
  TqdNetBIOSConfig netbios_;
  std::unique_ptr<test::ServerProcess> server_;
};

TEST_P(ServerIntegration, DiscoveryFindsTheServer) {
  auto engine = Client();
  std::vector<std::string> names;
  engine->GetServerNames(names);
  ASSERT_FALSE(names.empty());
  // A NetBIOS server's address is its name: the entry is the name alone.
  const char* expected = Winsock() ? "QDTESTSRV@" : GetParam() == Via::kNetBIOS ? "QDTESTSRV" : "local server";
  EXPECT_EQ(names[0].substr(0, std::string(expected).size()), expected);
  if (GetParam() == Via::kIPXSPX) {
    // The server tells its address in the IPX form, node 00-00 and IPv4.
    EXPECT_EQ(names[0].substr(10, 15), "00000000:00-00-") << names[0];
    EXPECT_EQ(names[0].size(), 10 + kIpxAddressTextLength) << names[0];
  }
}

// A wrong password is answered (not left to the one-hour time-out), the
// connection is hung up and the failure logged; the client's next attach
// (a fresh connection) with the right password gets in.
TEST_P(ServerIntegration, WrongPasswordIsRefusedAndTheNextTryWorks) {
  auto engine = Client();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(engine->Attach(Address(), "demo", "wrong"), qdErrInvalidPassword);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(engine->Attach(Address(), "nobody", "demo"), qdErrInvalidPassword);
  EXPECT_EQ(engine->Attach(Address(), "demo", "demo"), 0);
  Bytes session(4);
  EXPECT_EQ(Block(*engine, msgOpenSession, {}, session), 0);
  EXPECT_TRUE(server_->ReadUntil("hung up after a failed login: user \"nobody\""));
  // A NetBIOS client is known by its random name "QDC_" and 11 letters.
  EXPECT_NE(server_->Output().find("login failed: user \"demo\" from " +
                                   (GetParam() == Via::kNetBIOS ? std::string("QDC_") : Host())),
            std::string::npos);
}

// Clients that send an attach and vanish before its reply is sent: the
// server, which loses each while replying, serves on.
TEST_P(ServerIntegration, ClientsThatVanishWhileAnsweredDoNotStopTheServer) {
  if (GetParam() == Via::kNetBIOS) GTEST_SKIP() << "raw clients speak TCP or the single-user socket";
  std::vector<uint8_t> attach(kAttachRequestSize);
  EncodeAttachRequest({"ghost", "demo"}, attach.data());
  for (int i = 0; i < 50; ++i) {
    // An SPX stream is a TCP connection with the TCP/IP framing.
    auto raw = Winsock() ? std::make_unique<test::RawClient>(StreamPort())
                         : std::make_unique<test::RawClient>(SocketPath());
    ASSERT_TRUE(raw->Connected());
    if (!Winsock()) {
      ASSERT_EQ(raw->Receive(20000).size(), 4u);  // accepted: the server knows it
    }
    ASSERT_TRUE(raw->Send(test::RawPart(msgAttach, attach, true, true, kAttachRequestSize)));
    if (Winsock()) {
      raw->Reset();
    } else {
      raw->Close();
    }
  }
  // Until the server has seen them go they count against this address's
  // share of connections that have not logged in.
  std::unique_ptr<TqdClientCommsEngine> e;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  do {
    e = Client();
  } while (e->Attach(Address(), "demo", "demo") != 0 && std::chrono::steady_clock::now() < deadline);
  Bytes session(4);
  EXPECT_EQ(Block(*e, msgOpenSession, {}, session), 0);
}

TEST_P(ServerIntegration, WalksTheContract) {
  auto e = LoggedIn();
  Bytes session(4);
  ASSERT_EQ(Block(*e, msgOpenSession, {}, session), 0);
  TqdMemoryStream aliases;
  ASSERT_EQ(Stream(*e, msgGetAliasList, {}, aliases), 0);
  ASSERT_EQ(aliases.Size(), 2 * 252u);
  EXPECT_EQ(GetShortString(aliases.Data(), 31), "Sales");
  int32_t db = OpenDatabase(*e, GetShortString(aliases.Data() + 32, 219));
  ASSERT_GT(db, 0);
  Bytes listReq(40, 0);
  PutInt32LE(listReq.data(), db);
  TqdMemoryStream tables;
  ASSERT_EQ(Stream(*e, msgGetTableList, listReq, tables), 0);
  ASSERT_EQ(tables.Size(), 48u);
  EXPECT_EQ(GetShortString(tables.Data(), 31), "Customers");

  Bytes open(74, 0);
  PutInt32LE(open.data(), db);
  PutShortString(open.data() + 4, "Customers", 31);
  PutInt32LE(open.data() + 68, 2);
  TqdMemoryStream opened;
  ASSERT_EQ(Stream(*e, msgOpenTable, open, opened), 0);
  int32_t cursor = GetInt32LE(opened.Data());
  opened.Seek(4);
  TqdDataDictionary dict;
  dict.LoadFromStream(opened);
  EXPECT_EQ(dict.IndexCount(), 5);
  uint8_t index[4];
  ASSERT_TRUE(opened.ReadExact(index, 4));
  EXPECT_EQ(GetInt32LE(index), 2);
  Bytes none;
  EXPECT_EQ(Block(*e, msgCloseCursor, Int32Reply(cursor), none), 0);

  EXPECT_EQ(PollToFinished(*e, StartTask(*e, msgReindexTable, db, "Customers", 3)), 100);
  EXPECT_EQ(PollToFinished(*e, StartTask(*e, msgPackTable, db, "Customers", 0)), 100);
  Bytes status(33);
  EXPECT_EQ(Block(*e, msgGetTaskStatus, Int32Reply(987654), status), 0);
  EXPECT_EQ(status[32], 0);
  EXPECT_EQ(Block(*e, msgGetNextRecord, Int32Reply(cursor), status), qdErrInvalidParam);  // 4 of its 13 bytes
  EXPECT_EQ(Block(*e, msgCloseSession, session, none), 0);
  EXPECT_EQ(OpenDatabase(*e, "../.."), -1);
}

TEST_P(ServerIntegration, TaskOutlivesAClientThatVanishes) {
  int32_t task;
  {
    auto e = LoggedIn();
    int32_t db = OpenDatabase(*e, "stock");
    task = StartTask(*e, msgPackTable, db, "Orders", 0);
  }  // the client goes without a word
  auto other = LoggedIn();
  EXPECT_EQ(PollToFinished(*other, task), 100);
}

TEST_P(ServerIntegration, GarbageAfterAttachDisturbsNoOne) {
  if (!Winsock()) GTEST_SKIP() << "raw bytes are sent over TCP";
  auto good = LoggedIn();
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(StreamPort());
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  std::mt19937 random(7);
  Bytes noise(100000);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  (void)!write(fd, noise.data(), noise.size());
  close(fd);
  Bytes session(4);
  EXPECT_EQ(Block(*good, msgOpenSession, {}, session), 0);
}

// A logged-in client that sends malformed records of every kind gets a
// result code for each, stays connected, and leaves the server to others.
TEST_P(ServerIntegration, MalformedRequestsAfterLoginAreAnsweredWithCodes) {
  auto fuzzer = LoggedIn();
  auto bystander = LoggedIn();
  const int32_t db = OpenDatabase(*fuzzer, "sales");
  ASSERT_GE(db, 0);
  const TqdMsgID blockReplies[] = {msgCloseDatabase, msgAddAlias,    msgOpenDatabase, msgOpenSession,
                                   msgCloseSession,  msgReindexTable, msgPackTable,   msgGetTaskStatus,
                                   msgRestructureTable, msgDeleteTable, msgRenameTable, msgEmptyTable,
                                   msgAddIndex,      msgDeleteIndex, msgCloseCursor,  msgBeginTran, msgEndTran, 4321};
  const TqdMsgID streamReplies[] = {msgGetAliasList, msgGetTableList, msgOpenTable, msgGetDictionary};
  // These begin with a cursor id: half of their records name an open cursor.
  const TqdMsgID cursorReplies[] = {msgSetToBegin,  msgSetToEnd,       msgResetRange,      msgGetRecord,
                                    msgGetNextRecord, msgGetPriorRecord, msgGetRecordCount, msgSetToKey,
                                    msgGetRecordForKey, msgSetRange,   msgGetBookmark,     msgSetToBookmark,
                                    msgCompareBookmarks, msgExtractKey, msgSwitchToIndex, msgInsertRecord,
                                    msgModifyRecord, msgDeleteRecord, msgAcqTableLock,  msgRelTableLock,
                                    msgIsTableLocked, msgRelRecordLock, msgCreateBlob, msgGetBlob,
                                    msgGetBlobSize,   msgTruncateBlob, msgPutBlob,      msgFreeBlob,
                                    msgCloneCursor,   msgSetToCursor};
  Bytes open(74, 0);
  PutInt32LE(open.data(), db);
  PutShortString(open.data() + 4, "Customers", 31);
  PutInt32LE(open.data() + 68, 2);
  TqdMemoryStream opened;
  ASSERT_EQ(Stream(*fuzzer, msgOpenTable, open, opened), 0);
  const int32_t cursor = GetInt32LE(opened.Data());
  const size_t lengths[] = {0, 1, 3, 4, 5, 8, 9, 13, 18, 25, 31, 35, 36, 37, 40, 72, 74, 219, 222, 252, 300};
  std::mt19937 random(11);
  auto payload = [&](size_t length, int32_t id) {
    Bytes bytes(length);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    // Half of the records name the open database or cursor, so their other fields are read too.
    if (length >= 4 && random() % 2 == 0) PutInt32LE(bytes.data(), id);
    return bytes;
  };
  for (size_t length : lengths) {
    for (TqdMsgID msg : cursorReplies) {
      Bytes reply(64 * 1024);
      EXPECT_NE(Block(*fuzzer, msg, payload(length, cursor), reply), qdErrNetTimeout) << msg << "/" << length;
      ASSERT_TRUE(fuzzer->IsConnected()) << msg << "/" << length;
    }
    for (TqdMsgID msg : blockReplies) {
      Bytes reply(64);
      TqdResult r = Block(*fuzzer, msg, payload(length, db), reply);
      EXPECT_NE(r, qdErrNetTimeout) << msg << "/" << length;
      ASSERT_TRUE(fuzzer->IsConnected()) << msg << "/" << length;
    }
    for (TqdMsgID msg : streamReplies) {
      TqdMemoryStream reply;
      EXPECT_NE(Stream(*fuzzer, msg, payload(length, db), reply), qdErrNetTimeout) << msg << "/" << length;
      ASSERT_TRUE(fuzzer->IsConnected()) << msg << "/" << length;
    }
  }
  Bytes session(4);
  EXPECT_EQ(Block(*bystander, msgOpenSession, {}, session), 0);
  EXPECT_GE(OpenDatabase(*bystander, "sales"), 0);
}

// No request of the catalogue is larger than a restructure: a client that
// sends more is hung up before the server holds it, and no one else notices.
TEST_P(ServerIntegration, OversizeRequestHangsUpOnlyItsClient) {
  auto greedy = LoggedIn();
  auto bystander = LoggedIn();
  TqdMemoryStream big, reply;
  big.SetSize(kMaxRestructureBytes + 1);
  EXPECT_EQ(greedy->Request(msgRestructureTable, TqdRequestData{nullptr, 0, &big},
                            TqdReplyTarget{nullptr, 0, &reply}),
            qdErrNetTimeout);
  EXPECT_FALSE(greedy->IsConnected());
  Bytes session(4);
  EXPECT_EQ(Block(*bystander, msgOpenSession, {}, session), 0);
}

std::string ViaName(const testing::TestParamInfo<Via>& p) {
  switch (p.param) {
    case Via::kTCPIP: return "TCPIP";
    case Via::kIPXSPX: return "IPXSPX";
    case Via::kNetBIOS: return "NetBIOS";
    default: return "SingleUser";
  }
}

INSTANTIATE_TEST_SUITE_P(Transports, ServerIntegration,
                         testing::Values(Via::kTCPIP, Via::kIPXSPX, Via::kSingleUser, Via::kNetBIOS), ViaName);

class ServerCrash : public ServerIntegration {
 protected:
  int Records() const override { return 60000; }
};

// SIGKILL during a pack leaves the table as it was; the server starts again.
TEST_P(ServerCrash, KilledDuringPackLeavesTheTable) {
  {
    auto e = LoggedIn();
    int32_t db = OpenDatabase(*e, "sales");
    int32_t task = StartTask(*e, msgPackTable, db, "Customers", 0);
    Bytes reply(33);
    for (int i = 0; i < 1000000; ++i) {
      ASSERT_EQ(Block(*e, msgGetTaskStatus, Int32Reply(task), reply), 0);
      ASSERT_EQ(reply[28], 0) << "the pack ended before the kill";
      if (GetInt32LE(reply.data() + 20) >= 5) break;
    }
    server_->Signal(SIGKILL);
  }
  {
    TqdTableStore store(dir_.Path() + "/sales");
    auto info = store.ListTables("Customers");
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].Records, 54000);
    EXPECT_EQ(info[0].Deleted, 6000);
    auto check = store.Db().Prepare("PRAGMA integrity_check");
    ASSERT_TRUE(check.Step());
    EXPECT_EQ(check.Text(0), "ok");
  }
  StartServer();
  auto e = LoggedIn();
  int32_t db = OpenDatabase(*e, "sales");
  EXPECT_EQ(PollToFinished(*e, StartTask(*e, msgReindexTable, db, "Customers", 1)), 100);
}

// Work that waits for another program's write lock (a task, with its
// ten-minute patience, and a request worker) does not hold up a stop.
TEST_P(ServerCrash, StopsAtOnceWhileWorkWaitsForALock) {
  auto e = LoggedIn();
  int32_t db = OpenDatabase(*e, "sales");
  TqdTableStore holder(dir_.Path() + "/sales");
  holder.Db().Exec("BEGIN IMMEDIATE");
  int32_t task = StartTask(*e, msgPackTable, db, "Customers", 0);
  std::atomic<bool> sending{false};
  SetMultiThreaded();  // the second client's engine shares the pools with the first
  std::thread waiting([&] {
    auto other = LoggedIn();
    Bytes request(kRenameTableRequestSize, 0), none;
    PutInt32LE(request.data(), OpenDatabase(*other, "sales"));
    PutShortString(request.data() + 4, "Nothing", 31);
    PutShortString(request.data() + 36, "Other", 31);
    sending = true;
    Block(*other, msgRenameTable, request, none);  // waits for the lock; ends when the server does
  });
  // A few round trips while the delete reaches its worker; the pack waits.
  Bytes status(kTaskStatusReplySize);
  for (int i = 0; i < 20 || !sending; ++i) {
    ASSERT_EQ(Block(*e, msgGetTaskStatus, Int32Reply(task), status), 0);
    ASSERT_EQ(status[kFinishedOffset], 0);
  }
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(server_->Signal(SIGTERM), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  waiting.join();
  holder.Db().Exec("ROLLBACK");
  EXPECT_EQ(holder.ListTables("Customers")[0].Records, 54000);
}

TEST_P(ServerCrash, StopsCleanlyOnSigterm) {
  auto e = LoggedIn();
  int32_t db = OpenDatabase(*e, "sales");
  StartTask(*e, msgPackTable, db, "Customers", 0);
  EXPECT_EQ(server_->Signal(SIGTERM), 0);
  TqdTableStore store(dir_.Path() + "/sales");
  EXPECT_EQ(store.ListTables("Customers")[0].Records, 54000);
}

INSTANTIATE_TEST_SUITE_P(Tcp, ServerCrash, testing::Values(Via::kTCPIP), ViaName);

}  // namespace
}  // namespace qd
