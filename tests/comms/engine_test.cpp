// The comms engine's attach, requests and replies against an in-test server.
#include <gtest/gtest.h>

#include "base/QDHash.h"
#include "comms/bundle.h"
#include "engine_fixture.h"

namespace qd::test {
namespace {

INSTANTIATE_TEST_SUITE_P(Transports, EngineTest, AllTransports(),
                         TransportName);

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
  EXPECT_LT(std::chrono::steady_clock::now() - start, kAtOnce);
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
  // Whether the hang-up reaches the client while it still sends its parts
  // or while it waits, the request ends with the connection lost.
  EXPECT_EQ(engine_->Request(msgRestructureTable, {nullptr, 0, &big}, {nullptr, 0, &reply}), qdErrNetTimeout);
  EXPECT_FALSE(engine_->IsConnected());
}

// The caller learns how many bytes the server sent; a record of fixed
// layout that comes back short drops the connection. The peer echoes the
// request's 6 bytes in the request's form.
TEST_P(EngineTest, ReplySizeIsReportedAndAShortFixedRecordDropsTheConnection) {
  struct Case {
    const char* what;
    uint32_t length;  // of the reply buffer; 0: a stream
    bool fixed;
    TqdResult result;
    uint32_t received;
  };
  const Case cases[] = {
      {"buffer longer than the reply", 8, false, qdOK, 6},
      {"buffer shorter than the reply", 4, false, qdOK, 6},
      {"fixed record of the reply's size", 6, true, qdOK, 6},
      {"fixed record shorter than the reply", 4, true, qdOK, 6},
      {"fixed record longer than the reply", 8, true, qdErrNetTimeout, 0},
      {"stream", 0, false, qdOK, 6},
  };
  StartPeer();
  const Bytes data = {1, 2, 3, 4, 5, 6};
  for (const Case& c : cases) {
    if (!engine_->IsConnected()) {
      ASSERT_EQ(Attach(), qdOK) << c.what;
    }
    Bytes buffer(c.length, 0xEE);
    TqdMemoryStream requestStream, replyStream;
    requestStream.Write(data.data(), data.size());
    uint32_t received = 12345;
    TqdRequestData request{.Block = data.data(), .Length = 6};
    TqdReplyTarget target{.Buffer = buffer.data(), .Length = c.length, .FixedSize = c.fixed, .Received = &received};
    if (c.length == 0) {
      request = {.Stream = &requestStream};
      target = {.Stream = &replyStream, .Received = &received};
    }
    EXPECT_EQ(engine_->Request(msgGetRecord, request, target), c.result) << c.what;
    EXPECT_EQ(received, c.received) << c.what;
    EXPECT_EQ(engine_->IsConnected(), c.result == qdOK) << c.what;
  }
}

// A server's refusal carries no record: its code is passed on whatever the
// size of its data.
TEST_P(EngineTest, RefusalIsNotCheckedForSize) {
  PeerBehaviour b;
  b.OnRequest = [](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID != msgOpenDatabase) return false;
    e.Reply(r.Connection, r.MsgID, qdErrUnknownDB, kDataKindBlock, {});
    return true;
  };
  StartPeer(b);
  ASSERT_EQ(Attach(), qdOK);
  Bytes reply(4, 0);
  uint32_t received = 12345;
  EXPECT_EQ(engine_->Request(msgOpenDatabase, {"db", 2, nullptr},
                             {.Buffer = reply.data(), .Length = 4, .FixedSize = true, .Received = &received}),
            qdErrUnknownDB);
  EXPECT_EQ(received, 0u);
  EXPECT_TRUE(engine_->IsConnected());
}

TEST_P(EngineTest, ShortAttachReplyDropsTheConnection) {
  PeerBehaviour b;
  b.OnRequest = [](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID != msgAttach) return false;
    uint8_t bytes[kAttachReplySize];
    EncodeAttachReply({77, 15200, 0x1234567, 5000, 2500, 5, false}, bytes);
    e.Reply(r.Connection, msgAttach, 0, kDataKindBlock, {bytes, kAttachReplySize - 1}, 77);
    return true;
  };
  StartPeer(b);
  EXPECT_EQ(Attach(), qdErrNetTimeout);
  EXPECT_FALSE(engine_->IsConnected());
  EXPECT_EQ(CountReceived(msgConfirmLogin), 0u);
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
