// The comms engine against an in-test server over TCP loopback (ephemeral
// port) and over the single-user socket in a temporary directory.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "base/QDHash.h"
#include "base/QDLLExcp.h"
#include "base/string_ids.h"
#include "base/ticks.h"
#include "comms/QDClComm.h"
#include "comms/bundle.h"
#include "comms/keepalive.h"
#include "test_peer.h"

namespace qd::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// A private directory for the single-user socket of one test.
class SocketDirectory {
 public:
  SocketDirectory() {
    static int counter = 0;
    dir_ = fs::temp_directory_path() / ("qd_comms_" + std::to_string(getpid()) + "_" + std::to_string(++counter));
    fs::create_directories(dir_);
    setenv("QUILLDRIVE_SINGLE_USER_SOCKET", (dir_ / "su").c_str(), 1);
  }
  ~SocketDirectory() {
    unsetenv("QUILLDRIVE_SINGLE_USER_SOCKET");
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

 private:
  fs::path dir_;
};

class EngineTest : public ::testing::TestWithParam<PeerTransport> {
 protected:
  void TearDown() override {
    engine_.reset();
    peer_.reset();
    ResetKeepAliveSettings();
  }
  bool Tcp() const { return GetParam() == PeerTransport::kTCP; }

  void StartPeer(PeerBehaviour behaviour = {}) {
    peer_ = std::make_unique<TestPeer>(GetParam(), std::move(behaviour));
    engine_ = std::make_unique<TqdClientCommsEngine>(
        "PC1", Tcp() ? TCPIPProtocolClass() : SingleUserProtocolClass());
    engine_->Startup();
    if (Tcp()) static_cast<TqdWinsockProtocol&>(engine_->Transport()).Endpoints.StreamPort = peer_->Port();
  }
  TqdResult Attach(std::string_view password = "secret") {
    return engine_->Attach("QDTEST@127.0.0.1", "bob", password);
  }
  // Lets the client handle its messages until `done` holds (at most 5 s).
  bool PumpClientUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      engine_->Transport().Breathe(10);
    }
    return true;
  }
  size_t CountReceived(uint32_t id) {
    auto ids = peer_->Received();
    return static_cast<size_t>(std::count(ids.begin(), ids.end(), id));
  }

  SocketDirectory socketDirectory_;
  std::unique_ptr<TestPeer> peer_;
  std::unique_ptr<TqdClientCommsEngine> engine_;
};

INSTANTIATE_TEST_SUITE_P(Transports, EngineTest, ::testing::Values(PeerTransport::kTCP, PeerTransport::kSingleUser),
                         [](const auto& param) { return param.param == PeerTransport::kTCP ? "TCP" : "SingleUser"; });

TEST_P(EngineTest, RequestWithoutConnectionSendsNothing) {
  StartPeer();
  uint8_t reply[4];
  EXPECT_EQ(engine_->Request(msgGetRecordCount, nullptr, 0, reply, 4), qdErrNetServerNotFound);
  EXPECT_TRUE(peer_->Received().empty());
}

TEST_P(EngineTest, ServerVersionsBelow152HundredsAreRefused) {
  struct Case {
    int32_t version;
    TqdResult result;
  };
  for (Case c : {Case{15199, qdErrServerVersion}, Case{15200, qdOK}}) {
    PeerBehaviour b;
    b.ServerVersion = c.version;
    StartPeer(b);
    EXPECT_EQ(Attach(), c.result) << c.version;
    EXPECT_EQ(engine_->IsConnected(), c.result == qdOK);
    EXPECT_EQ(engine_->ClientID(), c.result == qdOK ? 77u : 0u);
    EXPECT_EQ(engine_->ServerName(), c.result == qdOK ? "QDTEST" : "");
    engine_.reset();
    peer_.reset();
  }
}

TEST_P(EngineTest, ScramblingSeedFollowsTheSecureFlag) {
  for (bool secure : {false, true}) {
    PeerBehaviour b;
    b.Secure = secure;
    StartPeer(b);
    ASSERT_EQ(Attach(), qdOK) << secure;
    int32_t expected = secure ? static_cast<int32_t>(0x1234567u ^ HashShortString("secret")) : 0x1234567;
    EXPECT_EQ(engine_->Transport().ScrambleKey().Seed(), expected);
    // Both ends scramble alike: an echo comes back intact.
    Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    Bytes reply(9);
    EXPECT_EQ(engine_->Request(msgGetRecord, data.data(), 9, reply.data(), 9), qdOK);
    EXPECT_EQ(reply, data);
    engine_.reset();
    peer_.reset();
  }
}

TEST_P(EngineTest, WrongPasswordKeepsTheConnectionAndReattachDetachesFirst) {
  PeerBehaviour b;
  b.Secure = true;
  StartPeer(b);
  EXPECT_EQ(Attach("wrong"), qdErrInvalidPassword);
  EXPECT_TRUE(engine_->IsConnected());
  EXPECT_EQ(Attach("secret"), qdOK);
  EXPECT_EQ(peer_->Received(), (std::vector<uint32_t>{msgAttach, msgConfirmLogin, msgDetach, msgAttach, msgConfirmLogin}));
}

TEST_P(EngineTest, WrongPasswordAnsweredInTheServersKeyIsReportedAtOnce) {
  PeerBehaviour b;
  b.Secure = true;
  b.AnswerBadLoginReadably = false;
  StartPeer(b);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Attach("wrong"), qdErrInvalidPassword);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_FALSE(engine_->IsConnected());  // the noise dropped the connection
}

TEST_P(EngineTest, ReentryFromTheIdleHandlerIsRefused) {
  StartPeer();
  ASSERT_EQ(Attach(), qdOK);
  TqdResult inner = qdOK;
  engine_->Transport().Events.OnIdle = [&](TqdBaseCommsProtocol&) {
    if (inner == qdOK) inner = engine_->Request(msgSetToEnd, nullptr, 0, nullptr, 0);
  };
  uint8_t reply[4];
  EXPECT_EQ(engine_->Request(msgGetRecordCount, "abcd", 4, reply, 4), qdOK);
  EXPECT_EQ(inner, qdErrReentered);
}

TEST_P(EngineTest, TimeOutHangsUpWithoutDetach) {
  PeerBehaviour b;
  b.OnRequest = [](TqdServerEndpoint&, const TqdIncomingRequest& r) { return r.MsgID == msgGetTaskStatus; };
  StartPeer(b);
  ASSERT_EQ(Attach(), qdOK);
  engine_->SetReplyTimeout(200);
  uint8_t reply[33];
  EXPECT_EQ(engine_->Request(msgGetTaskStatus, "task", 4, reply, 33), qdErrNetTimeout);
  EXPECT_FALSE(engine_->IsConnected());
  EXPECT_TRUE(peer_->WaitUntil([&] { return peer_->ConnectionCount() == 0; }));
  EXPECT_EQ(CountReceived(msgDetach), 0u);
}

TEST_P(EngineTest, ConnectionLostWhileWaiting) {
  PeerBehaviour b;
  b.OnRequest = [](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID != msgGetTaskStatus) return false;
    e.Transport().HangUp(r.Connection);
    return true;
  };
  StartPeer(b);
  ASSERT_EQ(Attach(), qdOK);
  uint8_t reply[33];
  EXPECT_EQ(engine_->Request(msgGetTaskStatus, "task", 4, reply, 33), qdErrNetTimeout);
  EXPECT_FALSE(engine_->IsConnected());
  EXPECT_EQ(engine_->ServerName(), "");
}

TEST_P(EngineTest, ReplyBufferTakesAtMostItsLength) {
  StartPeer();
  ASSERT_EQ(Attach(), qdOK);
  Bytes data = {1, 2, 3, 4, 5, 6};
  Bytes shorter(3, 0xEE), longer(8, 0xEE);
  EXPECT_EQ(engine_->Request(msgGetRecord, data.data(), 6, shorter.data(), 3), qdOK);
  EXPECT_EQ(shorter, (Bytes{1, 2, 3}));
  EXPECT_EQ(engine_->Request(msgGetRecord, data.data(), 6, longer.data(), 8), qdOK);
  EXPECT_EQ(longer, (Bytes{1, 2, 3, 4, 5, 6, 0xEE, 0xEE}));
}

TEST_P(EngineTest, StreamRequestAndReplyInManyParts) {
  StartPeer();
  ASSERT_EQ(Attach(), qdOK);
  TqdMemoryStream request;
  Bytes data(100000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
  request.Write(data.data(), data.size());
  TqdMemoryStream reply;
  EXPECT_EQ(engine_->Request(msgRestructureTable, {nullptr, 0, &request}, {nullptr, 0, &reply}), qdOK);
  EXPECT_EQ(Bytes(reply.Bytes().begin(), reply.Bytes().end()), data);
}

TEST_P(EngineTest, EmptyReplyLeavesTheBufferAlone) {
  PeerBehaviour b;
  b.OnRequest = [](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID != msgGetRecordCount) return false;
    e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, {});
    return true;
  };
  StartPeer(b);
  ASSERT_EQ(Attach(), qdOK);
  Bytes reply(8, 0xEE);
  EXPECT_EQ(engine_->Request(msgGetRecordCount, nullptr, 0, reply.data(), 8), qdOK);
  EXPECT_EQ(reply, Bytes(8, 0xEE));
}

// A server caps what one client may make it hold: a request announced as
// larger than the cap is refused by hanging up before anything is kept.
TEST_P(EngineTest, ServerHangsUpOnARequestAboveItsCap) {
  PeerBehaviour b;
  b.MaxRequestSize = 50000;
  StartPeer(b);
  ASSERT_EQ(Attach(), qdOK);
  TqdMemoryStream small, big, reply;
  Bytes data(50000, 0x3C);
  small.Write(data.data(), data.size());
  EXPECT_EQ(engine_->Request(msgRestructureTable, {nullptr, 0, &small}, {nullptr, 0, &reply}), qdOK);
  big.Write(data.data(), data.size());
  big.Write(data.data(), 1);
  // The hang-up reaches the client either while it still sends its parts
  // (the transport raises, as on any send failure) or while it waits.
  try {
    EXPECT_EQ(engine_->Request(msgRestructureTable, {nullptr, 0, &big}, {nullptr, 0, &reply}), qdErrNetTimeout);
  } catch (const EqdCommsException& e) {
    EXPECT_EQ(e.ErrorCode, gsWinsockUnexpectedError) << e.what();
  }
  EXPECT_FALSE(engine_->IsConnected());
}

TEST_P(EngineTest, ABundleAnswersTwoRequests) {
  PeerBehaviour b;
  b.OnRequest = [](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID != msgGetTaskStatus) return false;
    Bytes bundle;
    AppendBundleRecord(bundle, msgGetTaskStatus, 0, kDataKindBlock, Bytes{0xA1, 0xA2});
    AppendBundleRecord(bundle, msgGetRecordCount, 0, kDataKindBlock, Bytes{0xB1, 0xB2, 0xB3, 0xB4});
    e.Reply(r.Connection, msgBundle, 0, kDataKindBlock, bundle);
    return true;
  };
  StartPeer(b);
  ASSERT_EQ(Attach(), qdOK);
  Bytes a(2), c(4);
  EXPECT_EQ(engine_->Request(msgGetTaskStatus, "t", 1, a.data(), 2), qdOK);
  EXPECT_EQ(a, (Bytes{0xA1, 0xA2}));
  EXPECT_EQ(engine_->Request(msgGetRecordCount, "c", 1, c.data(), 4), qdOK);
  EXPECT_EQ(c, (Bytes{0xB1, 0xB2, 0xB3, 0xB4}));
  EXPECT_EQ(CountReceived(msgGetRecordCount), 0u);  // answered from the bundle, never sent
  EXPECT_EQ(engine_->Request(msgGetRecordCount, "cd", 2, c.data(), 2), qdOK);
  EXPECT_EQ(c[0], 'c');
  EXPECT_TRUE(peer_->WaitUntil([&] { return CountReceived(msgGetRecordCount) == 1; }));
}

TEST_P(EngineTest, KeepAliveFromTheServerIsAnsweredAtTheNextCheck) {
  PeerBehaviour b;
  b.KeepAliveInterval = 20;
  StartPeer(b);
  ASSERT_EQ(Attach(), qdOK);
  TqdConnectionHandle server = 0;
  peer_->Run([&](TqdBaseCommsProtocol& t, TqdServerEndpoint&) {
    server = t.ConnectionAt(0)->Handle();
    uint8_t keepAlive[kKeepAliveSize];
    EncodeKeepAlive(keepAlive);
    t.SendMsg(server, keepAlive, sizeof keepAlive);
  });
  auto keepAlivesAtServer = [&] {
    uint32_t count = 0;
    peer_->Run([&](TqdBaseCommsProtocol& t, TqdServerEndpoint&) {
      if (TqdConnection* c = t.FindConnection(server)) count = c->KeepAlivesReceived;
    });
    return count;
  };
  EXPECT_TRUE(PumpClientUntil([&] { return keepAlivesAtServer() >= 1; }));
  EXPECT_TRUE(engine_->IsConnected());
}

uint32_t g_fakeNow = 1000;
uint32_t FakeTicks() { return g_fakeNow; }

TEST_P(EngineTest, SilentServerIsHungUpAfterTheRetries) {
  g_fakeNow = 1000;
  SetTickSource(&FakeTicks);
  PeerBehaviour b;
  b.InactivityInterval = 1000;
  b.KeepAliveInterval = 10;
  b.KeepAliveRetries = 3;
  StartPeer(b);
  ASSERT_EQ(Attach(), qdOK);
  // The server stops its own keep-alive checks: it never answers.
  peer_->Run([](TqdBaseCommsProtocol& t, TqdServerEndpoint&) { t.Window().KillTimer(kKeepAliveTimerId); });
  engine_->Transport().Breathe(30);
  EXPECT_TRUE(engine_->IsConnected());  // the inactivity interval has not passed
  g_fakeNow += 1001;
  EXPECT_TRUE(PumpClientUntil([&] { return !engine_->IsConnected(); }));
  SetTickSource(nullptr);
}

// Parts that bring a reply no nearer must not put the reply's deadline off,
// else a peer sending such parts could keep a request waiting for ever: a
// continuation part of no message being put together (dropped), and a first
// part that starts anew a message already begun.
TEST_P(EngineTest, PartsThatBringNoReplyNearerDoNotPutTheTimeOutOff) {
  auto part = [](uint8_t first) {
    TqdMsgHeader h;
    h.MsgID = msgGetRecordCount;
    h.MsgLen = kMsgHeaderSize + 1;
    h.TotalSize = 100;
    h.FirstPart = first;
    h.LastPart = 0;
    Bytes bytes(h.MsgLen);
    EncodeMsgHeader(h, bytes.data());
    return bytes;
  };
  struct Case {
    const char* what;
    std::vector<Bytes> atStart;         // sent when the request waits (clock 1000)
    std::vector<Bytes> nearTheDeadline;  // sent at clock 1900
  };
  const Case cases[] = {
      {"stray continuation", {}, {part(0)}},
      {"first part again", {part(1)}, {part(1)}},
  };
  for (const Case& k : cases) {
    g_fakeNow = 1000;
    SetTickSource(&FakeTicks);
    PeerBehaviour b;
    b.OnRequest = [](TqdServerEndpoint&, const TqdIncomingRequest& r) { return r.MsgID == msgGetTaskStatus; };
    StartPeer(b);
    ASSERT_EQ(Attach(), qdOK) << k.what;
    engine_->SetReplyTimeout(1000);
    // The parts, then a keep-alive that tells the client's side they arrived.
    auto send = [&](const std::vector<Bytes>& parts) {
      peer_->Run([&](TqdBaseCommsProtocol& t, TqdServerEndpoint& e) {
        TqdConnectionHandle client = t.ConnectionAt(0)->Handle();
        for (const Bytes& bytes : parts) e.SendRaw(client, bytes);
        uint8_t keepAlive[kKeepAliveSize];
        EncodeKeepAlive(keepAlive);
        t.SendMsg(client, keepAlive, sizeof keepAlive);
      });
    };
    uint32_t sent = 0;  // batches sent; the clock moves once each has arrived
    int turnsPastDeadline = 0;
    constexpr int kGiveUpTurns = 40;
    engine_->Transport().Events.OnIdle = [&](TqdBaseCommsProtocol& t) {
      TqdConnection* c = t.ConnectionAt(0);
      uint32_t arrived = c != nullptr ? c->KeepAlivesReceived : 0;
      if (sent == 0) {
        send(k.atStart);
        sent = 1;
      } else if (sent == 1 && arrived == 1) {
        g_fakeNow = 1900;
        send(k.nearTheDeadline);
        sent = 2;
      } else if (sent == 2 && arrived == 2) {
        g_fakeNow = 2100;
        sent = 3;
      } else if (sent == 3 && ++turnsPastDeadline == kGiveUpTurns) {
        g_fakeNow = 100000;  // ends the wait however far the deadline moved
      }
    };
    uint8_t reply[4];
    EXPECT_EQ(engine_->Request(msgGetTaskStatus, "task", 4, reply, 4), qdErrNetTimeout) << k.what;
    EXPECT_EQ(sent, 3u) << k.what;
    EXPECT_LT(turnsPastDeadline, kGiveUpTurns) << k.what;
    SetTickSource(nullptr);
    engine_.reset();
    peer_.reset();
  }
}

TEST_P(EngineTest, MalformedRepliesDropTheConnectionAtOnce) {
  struct Case {
    const char* what;
    std::function<void(TqdServerEndpoint&, TqdConnectionHandle)> answer;
  };
  auto header = [](uint32_t len, uint32_t total, uint8_t first, uint8_t last) {
    TqdMsgHeader h;
    h.MsgID = msgGetRecordCount;
    h.MsgLen = len;
    h.TotalSize = total;
    h.FirstPart = first;
    h.LastPart = last;
    Bytes bytes(std::max<uint32_t>(len, 24));
    EncodeMsgHeader(h, bytes.data());
    return bytes;
  };
  const Case cases[] = {
      {"flag byte 2", [&](TqdServerEndpoint& e, TqdConnectionHandle c) { e.SendRaw(c, header(24, 0, 2, 1)); }},
      {"data beyond total", [&](TqdServerEndpoint& e, TqdConnectionHandle c) { e.SendRaw(c, header(30, 2, 1, 1)); }},
      {"total above cap",
       [&](TqdServerEndpoint& e, TqdConnectionHandle c) { e.SendRaw(c, header(24, 0x7FFFFFFF, 1, 0)); }},
      {"malformed bundle",
       [&](TqdServerEndpoint& e, TqdConnectionHandle c) {
         Bytes bundle;
         AppendBundleRecord(bundle, msgGetRecordCount, 0, 0, Bytes{1});
         bundle[4] = 99;
         e.Reply(c, msgBundle, 0, kDataKindBlock, bundle);
       }},
  };
  for (const Case& k : cases) {
    PeerBehaviour b;
    b.OnRequest = [&](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
      if (r.MsgID != msgGetRecordCount) return false;
      k.answer(e, r.Connection);
      return true;
    };
    StartPeer(b);
    ASSERT_EQ(Attach(), qdOK);
    uint8_t reply[4];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(engine_->Request(msgGetRecordCount, "x", 1, reply, 4), qdErrNetTimeout) << k.what;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << k.what;
    EXPECT_FALSE(engine_->IsConnected()) << k.what;
    engine_.reset();
    peer_.reset();
  }
}

TEST_P(EngineTest, ReplyOfTheWrongDataKindIsRefusedButTheConnectionStays) {
  StartPeer();
  ASSERT_EQ(Attach(), qdOK);
  TqdMemoryStream streamReply;
  EXPECT_EQ(engine_->Request(msgGetRecord, {"abc", 3, nullptr}, {nullptr, 0, &streamReply}), qdErrNetUnknown);
  EXPECT_TRUE(engine_->IsConnected());
  uint8_t reply[3];
  EXPECT_EQ(engine_->Request(msgGetRecord, "abc", 3, reply, 3), qdOK);
}

// What the server sends before its reply does not disturb the request: a
// flood of keep-alives, or an empty send (no part, no buffer).
TEST_P(EngineTest, HarmlessSendsBeforeTheReplyDoNotDisturbARequest) {
  struct Case {
    const char* what;
    std::function<void(TqdServerEndpoint&, TqdConnectionHandle)> before;
  };
  const Case cases[] = {
      {"keep-alive flood",
       [](TqdServerEndpoint& e, TqdConnectionHandle c) {
         uint8_t keepAlive[kKeepAliveSize];
         EncodeKeepAlive(keepAlive);
         for (int i = 0; i < 2000; ++i) e.SendRaw(c, keepAlive);
       }},
      {"empty send", [](TqdServerEndpoint& e, TqdConnectionHandle c) { e.SendRaw(c, {}); }},
  };
  for (const Case& k : cases) {
    PeerBehaviour b;
    b.OnRequest = [&](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
      if (r.MsgID != msgGetRecord) return false;
      k.before(e, r.Connection);
      e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, r.Data);
      return true;
    };
    StartPeer(b);
    ASSERT_EQ(Attach(), qdOK) << k.what;
    uint8_t reply[2] = {};
    EXPECT_EQ(engine_->Request(msgGetRecord, "ok", 2, reply, 2), qdOK) << k.what;
    EXPECT_EQ(reply[1], 'k') << k.what;
    engine_.reset();
    peer_.reset();
  }
}

TEST_P(EngineTest, ServerResultCodeIsPassedThroughWithoutData) {
  PeerBehaviour b;
  b.OnRequest = [](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID != msgOpenDatabase) return false;
    e.Reply(r.Connection, r.MsgID, qdErrUnknownDB, kDataKindBlock, Bytes{9, 9, 9, 9});
    return true;
  };
  StartPeer(b);
  ASSERT_EQ(Attach(), qdOK);
  Bytes reply(4, 0);
  EXPECT_EQ(engine_->Request(msgOpenDatabase, "db", 2, reply.data(), 4), qdErrUnknownDB);
  EXPECT_EQ(reply, Bytes(4, 0));
}

TEST_P(EngineTest, DetachSendsMessage2AndHangsUp) {
  StartPeer();
  ASSERT_EQ(Attach(), qdOK);
  engine_->Detach();
  EXPECT_FALSE(engine_->IsConnected());
  EXPECT_TRUE(peer_->WaitUntil([&] { return peer_->ConnectionCount() == 0; }));
  EXPECT_EQ(CountReceived(msgDetach), 1u);
}

}  // namespace
}  // namespace qd::test
