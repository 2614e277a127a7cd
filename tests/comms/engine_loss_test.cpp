// The comms engine when the server hangs up: an answer that arrived in
// full before the hang-up still answers, and nothing a lost connection left
// behind answers on the next one.
#include <gtest/gtest.h>

#include <chrono>

#include "comms/bundle.h"
#include "platform/message_queue.h"
#include "engine_fixture.h"

namespace qd::test {
namespace {

class EngineLossTest : public EngineTest {};

INSTANTIATE_TEST_SUITE_P(Transports, EngineLossTest,
                         AllTransports(), TransportName);

// A server may answer and hang up at once; the client often reads both in
// one go (on the single-user transport the hang-up is a packet of its own).
// The answer still counts. The peer answers only once the client waits, so
// that both are there when the client reads.
TEST_P(EngineLossTest, AnAnswerFollowedByAHangUpStillAnswers) {
  struct Case {
    const char* what;
    uint16_t code;
  };
  const Case cases[] = {{"data", qdOK}, {"refusal", qdErrUnknownDB}};
  for (const Case& c : cases) {
    PeerBehaviour b;
    b.OnRequest = [](TqdServerEndpoint&, const TqdIncomingRequest& r) { return r.MsgID == msgGetRecord; };
    StartPeer(b);
    ASSERT_EQ(Attach(), qdOK) << c.what;
    bool answered = false;
    engine_->Transport().Events.OnIdle = [&](TqdBaseCommsProtocol&) {
      if (answered || CountReceived(msgGetRecord) == 0) return;
      answered = true;
      peer_->Run([&](TqdBaseCommsProtocol& t, TqdServerEndpoint& e) {
        TqdConnectionHandle client = t.ConnectionAt(0)->Handle();
        e.Reply(client, msgGetRecord, c.code, kDataKindBlock, Bytes{'a', 'b', 'c'});
        t.HangUp(client);
      });
    };
    Bytes reply(3, 0);
    EXPECT_EQ(engine_->Request(msgGetRecord, "xyz", 3, reply.data(), 3), c.code) << c.what;
    EXPECT_EQ(reply, c.code == qdOK ? Bytes({'a', 'b', 'c'}) : Bytes(3, 0)) << c.what;
    EXPECT_TRUE(PumpClientUntil([&] { return !engine_->IsConnected(); })) << c.what;
    EXPECT_EQ(engine_->Request(msgGetRecord, "xyz", 3, reply.data(), 3), qdErrNetServerNotFound) << c.what;
    engine_.reset();
    peer_.reset();
  }
}

TEST_P(EngineLossTest, FailedLoginFollowedByAHangUpIsReportedAndTheNextAttachWorks) {
  PeerBehaviour b;
  b.Secure = true;
  b.HangUpAfterFailedLogin = true;
  StartPeer(b);
  EXPECT_EQ(Attach("wrong"), qdErrInvalidPassword);
  EXPECT_EQ(Attach("secret"), qdOK);
  EXPECT_TRUE(engine_->IsConnected());
  EXPECT_EQ(CountReceived(msgAttach), 2u);
  EXPECT_EQ(CountReceived(msgConfirmLogin), 2u);
  uint8_t reply[2];
  EXPECT_EQ(engine_->Request(msgGetRecord, "ok", 2, reply, 2), qdOK);
}

// What a lost connection left queued (here the rest of a bundle: an attach
// reply of another client identifier) never answers a request on a new one.
TEST_P(EngineLossTest, NothingQueuedFromALostConnectionAnswersOnTheNext) {
  PeerBehaviour b;
  b.OnRequest = [](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID != msgGetTaskStatus) return false;
    uint8_t stale[kAttachReplySize];
    EncodeAttachReply({999, 15200, 0x1234567, 5000, 2500, 5, false}, stale);
    Bytes bundle;
    AppendBundleRecord(bundle, msgGetTaskStatus, 0, kDataKindBlock, Bytes{0xA1});
    AppendBundleRecord(bundle, msgAttach, 0, kDataKindBlock, Bytes(stale, stale + kAttachReplySize));
    e.Reply(r.Connection, msgBundle, 0, kDataKindBlock, bundle);
    e.Transport().HangUp(r.Connection);
    return true;
  };
  StartPeer(b);
  ASSERT_EQ(Attach(), qdOK);
  uint8_t status = 0;
  EXPECT_EQ(engine_->Request(msgGetTaskStatus, "t", 1, &status, 1), qdOK);
  EXPECT_EQ(status, 0xA1);
  ASSERT_TRUE(PumpClientUntil([&] { return !engine_->IsConnected(); }));
  EXPECT_EQ(Attach(), qdOK);
  EXPECT_EQ(engine_->ClientID(), 77u);
  EXPECT_EQ(CountReceived(msgAttach), 2u);
}

// A hang-up while the engine idles (nobody pumps its window) is seen by a
// connection check, without a request made on the lost connection.
TEST_P(EngineLossTest, AConnectionCheckSeesAHangUpThatCameWhileIdle) {
  StartPeer();
  ASSERT_EQ(Attach(), qdOK);
  EXPECT_TRUE(engine_->CheckConnection());
  const size_t received = peer_->Received().size();
  peer_->Run([](TqdBaseCommsProtocol& t, TqdServerEndpoint&) { t.HangUp(t.ConnectionAt(0)->Handle()); });
  // The hang-up crosses from the peer's thread: checked as messages come
  // (waited for, not dispatched, here) until it is seen.
  auto deadline = std::chrono::steady_clock::now() + kAtOnce;
  while (engine_->CheckConnection() && std::chrono::steady_clock::now() < deadline)
    TqdMessageQueue::ForThisThread().WaitFor(nullptr, 50);
  EXPECT_FALSE(engine_->CheckConnection());
  EXPECT_FALSE(engine_->IsLoggedIn());
  EXPECT_EQ(peer_->Received().size(), received);
}

}  // namespace
}  // namespace qd::test
