// The comms engine's defences against a server that misbehaves: silence,
// keep-alives, parts that bring no reply nearer, malformed replies.
#include <gtest/gtest.h>

#include <chrono>

#include "comms/bundle.h"
#include "engine_fixture.h"

namespace qd::test {
namespace {

class EngineDefenceTest : public EngineTest {};

// A part of message msgGetRecordCount with the given sizes and flags, its data zero (at
// least the header's 24 bytes are sent whatever `len` says).
Bytes PartBytes(uint32_t len, uint32_t total, uint8_t first, uint8_t last) {
  TqdMsgHeader h;
  h.MsgID = msgGetRecordCount;
  h.MsgLen = len;
  h.TotalSize = total;
  h.FirstPart = first;
  h.LastPart = last;
  Bytes bytes(std::max<uint32_t>(len, kMsgHeaderSize));
  EncodeMsgHeader(h, bytes.data());
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(Transports, EngineDefenceTest,
                         AllTransports(), TransportName);

TEST_P(EngineDefenceTest, KeepAliveFromTheServerIsAnsweredAtTheNextCheck) {
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

// The keep-alive checks, timers of the message queue, must still run while
// a reply is awaited, so that a server gone silent mid-request is given up
// after the retries and not only at the reply's time-out.
TEST_P(EngineDefenceTest, ServerSilentDuringARequestIsHungUpAfterTheRetries) {
  PeerBehaviour b;
  b.InactivityInterval = 200;
  b.KeepAliveInterval = 10;
  b.KeepAliveRetries = 3;
  b.OnRequest = [](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID != msgGetTaskStatus) return false;
    e.Transport().Window().KillTimer(kKeepAliveTimerId);  // from now on it answers nothing
    return true;
  };
  StartPeer(b);
  ASSERT_EQ(Attach(), qdOK);
  engine_->SetReplyTimeout(2 * static_cast<uint32_t>(std::chrono::milliseconds(kAtOnce).count()));
  auto start = std::chrono::steady_clock::now();
  uint8_t reply[33];
  EXPECT_EQ(engine_->Request(msgGetTaskStatus, "task", 4, reply, 33), qdErrNetTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, kAtOnce);
  EXPECT_FALSE(engine_->IsConnected());
}

TEST_P(EngineDefenceTest, SilentServerIsHungUpAfterTheRetries) {
  FakeClock::Install();
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
  FakeClock::Now += 1001;
  EXPECT_TRUE(PumpClientUntil([&] { return !engine_->IsConnected(); }));
  FakeClock::Uninstall();
}

// Parts that bring a reply no nearer must not put the reply's deadline off,
// else a peer sending such parts could keep a request waiting for ever: a
// continuation part of no message being put together (dropped), and a first
// part that starts anew a message already begun.
TEST_P(EngineDefenceTest, PartsThatBringNoReplyNearerDoNotPutTheTimeOutOff) {
  auto part = [](uint8_t first) { return PartBytes(kMsgHeaderSize + 1, 100, first, 0); };
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
    FakeClock::Install();
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
        FakeClock::Now = 1900;
        send(k.nearTheDeadline);
        sent = 2;
      } else if (sent == 2 && arrived == 2) {
        FakeClock::Now = 2100;
        sent = 3;
      } else if (sent == 3 && ++turnsPastDeadline == kGiveUpTurns) {
        FakeClock::Now = 100000;  // ends the wait however far the deadline moved
      }
    };
    uint8_t reply[4];
    EXPECT_EQ(engine_->Request(msgGetTaskStatus, "task", 4, reply, 4), qdErrNetTimeout) << k.what;
    EXPECT_EQ(sent, 3u) << k.what;
    EXPECT_LT(turnsPastDeadline, kGiveUpTurns) << k.what;
    FakeClock::Uninstall();
    engine_.reset();
    peer_.reset();
  }
}

TEST_P(EngineDefenceTest, MalformedRepliesDropTheConnectionAtOnce) {
  struct Case {
    const char* what;
    std::function<void(TqdServerEndpoint&, TqdConnectionHandle)> answer;
  };
  const Case cases[] = {
      {"flag byte 2", [&](TqdServerEndpoint& e, TqdConnectionHandle c) { e.SendRaw(c, PartBytes(24, 0, 2, 1)); }},
      {"data beyond total", [&](TqdServerEndpoint& e, TqdConnectionHandle c) { e.SendRaw(c, PartBytes(30, 2, 1, 1)); }},
      {"total above cap",
       [&](TqdServerEndpoint& e, TqdConnectionHandle c) { e.SendRaw(c, PartBytes(24, 0x7FFFFFFF, 1, 0)); }},
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
    EXPECT_LT(std::chrono::steady_clock::now() - start, kAtOnce) << k.what;
    EXPECT_FALSE(engine_->IsConnected()) << k.what;
    engine_.reset();
    peer_.reset();
  }
}

TEST_P(EngineDefenceTest, HarmlessSendsBeforeTheReplyDoNotDisturbARequest) {
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

}  // namespace
}  // namespace qd::test
