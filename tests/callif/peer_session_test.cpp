// Sessions and maintenance requests against an in-test peer that scripts
// its answers: which messages a session sends, and replies that are short
// or stale.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/endian.h"
#include "callif/QDCLSess.h"
#include "callif/maintenance.h"
#include "callif/request_path.h"
#include "comms/msg_numbers.h"
#include "tests/comms/test_peer.h"

namespace qd {
namespace {

using test::PeerBehaviour;
using test::PeerTransport;
using test::TestPeer;

class PeerSessionTest : public testing::Test {
 protected:
  void Start(PeerBehaviour b) {
    b.OnRequest = [this, inner = b.OnRequest](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
      if (r.MsgID == msgOpenSession) {
        uint8_t id[4];
        PutInt32LE(id, 4242);
        e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, id);
        return true;
      }
      if (r.MsgID == msgCloseSession) {
        closedIds_.push_back(GetInt32LE(r.Data.data()));
        e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, {});
        return true;
      }
      return inner && inner(e, r);
    };
    peer_ = std::make_unique<TestPeer>(PeerTransport::kTCP, std::move(b));
    comms_ = std::make_unique<TqdClientCommsEngine>("tester", TCPIPProtocolClass());
    comms_->Startup();
    static_cast<TqdWinsockProtocol&>(comms_->Transport()).Endpoints.StreamPort = peer_->Port();
  }
  size_t Count(TqdMsgID id) {
    auto r = peer_->Received();
    return static_cast<size_t>(std::count(r.begin(), r.end(), id));
  }
  std::unique_ptr<TestPeer> peer_;
  std::unique_ptr<TqdClientCommsEngine> comms_;
  std::vector<int32_t> closedIds_;  // written on the peer thread, read after it is quiet
};

TEST_F(PeerSessionTest, ASecondSessionOpensOnlyAServerSession) {
  Start({});
  auto first = std::make_unique<TqdClientSession>(nullptr, nullptr, nullptr, nullptr, comms_.get());
  first->SetServerName("QDTEST@127.0.0.1");
  ASSERT_EQ(first->Connect(), qdOK);
  EXPECT_EQ(Count(msgOpenSession), 0u);  // the first session of a connection is the client's own
  auto second = std::make_unique<TqdClientSession>(nullptr, nullptr, nullptr, nullptr, comms_.get());
  ASSERT_EQ(second->Connect(), qdOK);
  EXPECT_EQ(second->ServerSessionId(), 4242);
  EXPECT_EQ(Count(msgOpenSession), 1u);
  EXPECT_EQ(Count(msgAttach), 1u);
  second.reset();
  first.reset();
  ASSERT_TRUE(peer_->WaitUntil([&] { return Count(msgCloseSession) == 2; }));
  peer_.reset();
  EXPECT_EQ(closedIds_, (std::vector<int32_t>{4242, 0}));
}

// A status reply shorter than its record is refused; nothing of an
// earlier reply is taken for its found flag or its Finished byte.
TEST_F(PeerSessionTest, AShortStatusReplyIsNeverReadFromStaleBytes) {
  PeerBehaviour b;
  int answers = 0;
  b.OnRequest = [&](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID != msgGetTaskStatus) return false;
    uint8_t reply[33] = {};
    reply[28] = 1;  // finished
    reply[32] = 1;  // found
    // The first answer is whole; later ones stop before the found flag.
    e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, {reply, answers++ == 0 ? 33u : 20u});
    return true;
  };
  Start(std::move(b));
  TqdClientSession session(nullptr, nullptr, nullptr, nullptr, comms_.get());
  session.SetServerName("QDTEST@127.0.0.1");
  ASSERT_EQ(session.Connect(), qdOK);
  bool finished = false;
  TaskStatus status;
  ASSERT_EQ(GetTaskStatus(session.Handle(), 7, finished, status), qdOK);
  EXPECT_TRUE(finished);
  finished = false;
  EXPECT_NE(GetTaskStatus(session.Handle(), 7, finished, status), qdOK);
  EXPECT_FALSE(finished);
}

TEST(RequestPathTest, TheReplyBufferIsZeroedAndNoEngineAnswers11271) {
  uint8_t reply[8];
  std::fill(std::begin(reply), std::end(reply), 0xAB);
  uint32_t received = 99;
  EXPECT_EQ(SendRequest(nullptr, msgGetTaskStatus, TqdRequestData{},
                        TqdReplyTarget{.Buffer = reply, .Length = sizeof reply, .Received = &received}),
            qdErrNetUnknown);
  EXPECT_TRUE(std::all_of(std::begin(reply), std::end(reply), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(received, 0u);
}

}  // namespace
}  // namespace qd
