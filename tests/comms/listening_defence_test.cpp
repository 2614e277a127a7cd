// What a listening transport and its server endpoint do with clients that
// do not keep to the protocol or do not keep up: requests in parts, paused
// reading, clients that stop reading or vanish, and running out of
// descriptors. The server runs on the test's own thread; the clients are
// bare sockets.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

#include "base/QDLLExcp.h"
#include "comms/QDLLWsck.h"
#include "comms/reply_memory_cap.h"
#include "comms/server_endpoint.h"
#include "comms/single_user.h"
#include "comms/unsent_queue.h"
#include "raw_client.h"

namespace qd::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

class ListeningDefence : public testing::TestWithParam<bool> {  // true: TCP/IP
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "qdlisXXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    setenv("QUILLDRIVE_SINGLE_USER_SOCKET", (dir_ / "su").c_str(), 1);
    if (GetParam()) {
      auto tcp = std::make_unique<TqdTCPIPProtocol>("QDTEST", kListeningMode);
      tcp->Endpoints.StreamPort = 0;
      tcp->Endpoints.BindAddress = "127.0.0.1";
      transport_ = std::move(tcp);
    } else {
      transport_ = std::make_unique<TqdSingleUserProtocol>("QDTEST", kListeningMode);
    }
    endpoint_ = std::make_unique<TqdServerEndpoint>(*transport_);
    endpoint_->OnRequest = [this](TqdServerEndpoint&, const TqdIncomingRequest& r) {
      requests_.push_back(r);
      if (onRequest_) onRequest_(r);
    };
    endpoint_->OnConnectionLost = [this](TqdServerEndpoint&, TqdConnectionHandle h) { lost_.push_back(h); };
    transport_->Events.OnConnectionAdded = [this](TqdBaseCommsProtocol&, TqdConnectionHandle h) {
      added_.push_back(h);
    };
    transport_->Start();
  }
  void TearDown() override {
    endpoint_.reset();
    transport_.reset();
    unsetenv("QUILLDRIVE_SINGLE_USER_SOCKET");
    fs::remove_all(dir_);
  }

  uint16_t Port() { return static_cast<TqdWinsockProtocol&>(*transport_).BoundStreamPort(); }
  // A client the server has taken; its handle is added_.back().
  std::unique_ptr<RawClient> Connect(int receiveBuffer = 0) {
    auto client = GetParam() ? std::make_unique<RawClient>(Port()) : std::make_unique<RawClient>((dir_ / "su").string());
    if (receiveBuffer > 0) setsockopt(client->Fd(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    EXPECT_TRUE(client->Connected());
    size_t before = added_.size();
    EXPECT_TRUE(PumpUntil([&] { return added_.size() > before; }));
    if (!GetParam()) {
      EXPECT_EQ(client->Receive(5000).size(), 4u);  // the acceptance
    }
    return client;
  }
  // Serves until `done` or `ms` pass; false on time-out.
  bool PumpUntil(const std::function<bool()>& done, int ms = 10000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    TqdMessageQueue& queue = TqdMessageQueue::ForThisThread();
    while (!done()) {
      if (Clock::now() > deadline) return false;
      queue.WaitFor(nullptr, 20);
      queue.DispatchPending();
    }
    return true;
  }
  bool Lost(TqdConnectionHandle h) const { return std::find(lost_.begin(), lost_.end(), h) != lost_.end(); }
  uint32_t MaxData() const { return transport_->MaxMsgSize() - kMsgHeaderSize; }

  fs::path dir_;
  std::unique_ptr<TqdBaseCommsProtocol> transport_;
  std::unique_ptr<TqdServerEndpoint> endpoint_;
  std::function<void(const TqdIncomingRequest&)> onRequest_;
  std::vector<TqdIncomingRequest> requests_;
  std::vector<TqdConnectionHandle> added_;
  std::vector<TqdConnectionHandle> lost_;
};

// A paused connection is not read: what it sent waits (in the server's
// buffer or its socket) and is handed on in order once it is resumed.
TEST_P(ListeningDefence, PausedConnectionIsReadAgainOnlyWhenResumed) {
  auto client = Connect();
  onRequest_ = [this](const TqdIncomingRequest& r) {
    if (r.MsgID == 1000) endpoint_->PauseRequests(r.Connection, true);
  };
  for (TqdMsgID msg : {1000, 1001, 1002}) ASSERT_TRUE(client->Send(RawPart(msg, {1, 2, 3}, true, true, 3)));
  ASSERT_TRUE(PumpUntil([&] { return !requests_.empty(); }));
  EXPECT_FALSE(PumpUntil([&] { return requests_.size() > 1; }, 300));
  endpoint_->PauseRequests(added_.back(), false);
  ASSERT_TRUE(PumpUntil([&] { return requests_.size() == 3; }));
  EXPECT_EQ(requests_[1].MsgID, 1001u);
  EXPECT_EQ(requests_[2].MsgID, 1002u);
  EXPECT_EQ(requests_[2].Data, (Bytes{1, 2, 3}));
}

// Each connection puts its own request together: many connections with a
// request begun do not stop another one's request in parts.
TEST_P(ListeningDefence, ManyUnfinishedRequestsDoNotStopAnother) {
  std::vector<std::unique_ptr<RawClient>> stalling;
  for (int i = 0; i < 80; ++i) {
    stalling.push_back(Connect());
    ASSERT_TRUE(stalling.back()->Send(RawPart(1300, Bytes(50, 7), true, false, 100)));
  }
  auto client = Connect();
  ASSERT_TRUE(client->Send(RawPart(1300, Bytes(60, 1), true, false, 100)));
  ASSERT_TRUE(client->Send(RawPart(1300, Bytes(40, 2), false, true, 100)));
  ASSERT_TRUE(PumpUntil([&] { return !requests_.empty(); }));
  EXPECT_EQ(requests_[0].Data.size(), 100u);
  EXPECT_EQ(requests_[0].Data[99], 2);
  EXPECT_TRUE(lost_.empty());
  EXPECT_EQ(endpoint_->AssemblingBytes(), 80u * 100u);
}

// The malformed or greedy ways to send a request in parts each hang up the
// connection that tried, and only that one.
TEST_P(ListeningDefence, RequestsInPartsAreBounded) {
  endpoint_->PartsNeedPermission = true;
  endpoint_->MaxAssemblingBytes = 1000;
  auto bystander = Connect();
  TqdConnectionHandle bystanderHandle = added_.back();

  // (Handles of connections that are gone may be given again, so what is
  // lost is counted.)
  auto unpermitted = Connect();  // not logged in, so to speak
  ASSERT_TRUE(unpermitted->Send(RawPart(1300, Bytes(10), true, false, 20)));
  ASSERT_TRUE(PumpUntil([&] { return lost_.size() == 1; }));
  EXPECT_EQ(lost_.back(), added_.back());

  auto permitted = Connect();
  TqdConnectionHandle permittedHandle = added_.back();
  endpoint_->AllowRequestsInParts(permittedHandle, true);
  ASSERT_TRUE(permitted->Send(RawPart(1300, Bytes(10), true, false, 600)));
  auto greedy = Connect();
  endpoint_->AllowRequestsInParts(added_.back(), true);
  ASSERT_TRUE(greedy->Send(RawPart(1300, Bytes(10), true, false, 600)));  // 1200 announced in all
  ASSERT_TRUE(PumpUntil([&] { return lost_.size() == 2; }));
  EXPECT_EQ(lost_.back(), added_.back());
  EXPECT_EQ(endpoint_->AssemblingBytes(), 600u);

  // The last part comes and the request is short.
  ASSERT_TRUE(permitted->Send(RawPart(1300, Bytes(10), false, true, 0)));
  ASSERT_TRUE(PumpUntil([&] { return lost_.size() == 3; }));
  EXPECT_EQ(lost_.back(), permittedHandle);
  EXPECT_EQ(endpoint_->AssemblingBytes(), 0u);

  ASSERT_TRUE(bystander->Send(RawPart(1000, {}, true, true, 0)));
  ASSERT_TRUE(PumpUntil([&] { return !requests_.empty(); }));
  EXPECT_EQ(requests_[0].Connection, bystanderHandle);
  EXPECT_EQ(lost_.size(), 3u);
}

TEST_P(ListeningDefence, UnfinishedRequestPastItsDeadlineHangsUp) {
  endpoint_->AssemblyDeadlineMs = 50;
  auto slow = Connect();
  ASSERT_TRUE(slow->Send(RawPart(1300, Bytes(10), true, false, 20)));
  EXPECT_TRUE(PumpUntil([&] { return Lost(added_.back()); }));
  EXPECT_EQ(endpoint_->AssemblingBytes(), 0u);
}

// A client that does not read never makes the server wait: what its socket
// does not take is queued, and it all arrives, in order, once it reads.
TEST_P(ListeningDefence, AClientThatDoesNotReadIsQueuedFor) {
  auto client = Connect(64 * 1024);
  TqdConnectionHandle h = added_.back();
  const int replies = 300;
  for (int i = 0; i < replies; ++i) {
    Bytes data(MaxData(), static_cast<uint8_t>(i));
    endpoint_->Reply(h, 2000, 0, kDataKindBlock, data);
  }
  EXPECT_FALSE(Lost(h));
  EXPECT_GT(transport_->UnsentBytes(h), 0u);
  // Read everything while the server drains its queue.
  Bytes stream;
  int packets = 0;
  const size_t expected = static_cast<size_t>(replies) * transport_->MaxMsgSize();
  size_t received = 0;
  PumpUntil([&] {
    for (Bytes b = client->Receive(0); !b.empty(); b = client->Receive(0)) {
      received += GetParam() ? b.size() : b.size() - 4;
      if (!GetParam() && b.size() > 4 + kMsgHeaderSize) {
        EXPECT_EQ(b[4 + kMsgHeaderSize], packets % 256);
      }
      ++packets;
    }
    return received >= expected;
  });
  EXPECT_EQ(received, expected);
  EXPECT_EQ(transport_->UnsentBytes(h), 0u);
  EXPECT_EQ(transport_->UnsentBytesTotal(), 0u);
}

// Replies held for all clients together are capped: beyond the cap the
// client holding the most is hung up.
TEST_P(ListeningDefence, ReplyMemoryOfAllClientsIsCapped) {
  // A TCP socket takes up to a few MiB itself, so there the sizes are larger.
  const size_t unit = GetParam() ? 8u << 20 : 1u << 20;
  TqdReplyMemoryCap cap(4 * unit);
  cap.Watch(*endpoint_);
  std::vector<std::unique_ptr<RawClient>> clients;
  std::vector<TqdConnectionHandle> handles;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(Connect(4096));
    handles.push_back(added_.back());
  }
  endpoint_->Reply(handles[0], 2000, 0, kDataKindBlock, Bytes(3 * unit));
  endpoint_->Reply(handles[1], 2000, 0, kDataKindBlock, Bytes(unit / 2));
  EXPECT_TRUE(lost_.empty());
  endpoint_->Reply(handles[2], 2000, 0, kDataKindBlock, Bytes(5 * unit / 2));
  EXPECT_EQ(lost_, std::vector<TqdConnectionHandle>{handles[0]});
  EXPECT_LE(cap.Total(), cap.Limit());
  EXPECT_GT(endpoint_->HeldBytes(handles[2]), unit);
}

// On running out of descriptors the listening socket is left alone for a
// moment instead of being looked at again and again; accepting resumes.
TEST_P(ListeningDefence, OutOfDescriptorsPausesAccepting) {
  auto client = GetParam() ? std::make_unique<RawClient>(Port()) : std::make_unique<RawClient>((dir_ / "su").string());
  ASSERT_TRUE(client->Connected());  // waits in the backlog
  rlimit old{};
  getrlimit(RLIMIT_NOFILE, &old);
  rlimit low = old;
  low.rlim_cur = 128;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> fillers;
  for (int fd = dup(0); fd >= 0; fd = dup(0)) fillers.push_back(fd);
  int dispatched = 0;
  TqdMessageQueue& queue = TqdMessageQueue::ForThisThread();
  auto until = Clock::now() + std::chrono::milliseconds(300);
  while (Clock::now() < until) {
    queue.WaitFor(nullptr, 20);
    dispatched += queue.DispatchPending();
  }
  for (int fd : fillers) close(fd);
  setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_LT(dispatched, 50) << "the listening socket was looked at again and again";
  EXPECT_TRUE(added_.empty());
  EXPECT_TRUE(PumpUntil([&] { return added_.size() == 1; }));
}

INSTANTIATE_TEST_SUITE_P(Transports, ListeningDefence, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& p) { return p.param ? "TCPIP" : "SingleUser"; });

// A send to a client that has reset its connection hangs that client up;
// it neither raises nor disturbs the server.
TEST(TcpListening, SendToAClientThatResetNeitherRaisesNorStops) {
  TqdTCPIPProtocol transport("QDTEST", kListeningMode);
  transport.Endpoints.StreamPort = 0;
  TqdServerEndpoint endpoint(transport);
  std::vector<TqdConnectionHandle> added, lost;
  transport.Events.OnConnectionAdded = [&](TqdBaseCommsProtocol&, TqdConnectionHandle h) { added.push_back(h); };
  endpoint.OnConnectionLost = [&](TqdServerEndpoint&, TqdConnectionHandle h) { lost.push_back(h); };
  transport.Start();
  RawClient client(transport.BoundStreamPort());
  TqdMessageQueue& queue = TqdMessageQueue::ForThisThread();
  auto deadline = Clock::now() + std::chrono::seconds(10);
  while (added.empty() && Clock::now() < deadline) {
    queue.WaitFor(nullptr, 20);
    queue.DispatchPending();
  }
  ASSERT_EQ(added.size(), 1u);
  client.Reset();
  for (int i = 0; i < 1000 && lost.empty(); ++i)
    EXPECT_NO_THROW(endpoint.Reply(added[0], 2000, 0, kDataKindBlock, Bytes(1000)));
  EXPECT_EQ(lost, added);
}

TEST(UnsentQueue, GivesPartsBackAsTheyAreTaken) {
  size_t total = 0;
  TqdUnsentQueue queue(&total);
  Bytes a(10, 1), b(20, 2);
  queue.Push(a.data(), a.size());
  queue.Push(b.data(), b.size());
  EXPECT_EQ(queue.Bytes(), 30u);
  EXPECT_EQ(total, 30u);
  queue.Consume(4);
  EXPECT_EQ(queue.Front().size(), 6u);
  queue.Consume(6);
  ASSERT_EQ(queue.Front().size(), 20u);  // the first part is gone as a whole
  EXPECT_EQ(queue.Front()[0], 2);
  EXPECT_EQ(total, 20u);
  {
    TqdUnsentQueue other(&total);
    other.Push(a.data(), a.size());
    EXPECT_EQ(total, 30u);
  }
  EXPECT_EQ(total, 20u);
  queue.Clear();
  EXPECT_TRUE(queue.Empty());
  EXPECT_EQ(total, 0u);
}

}  // namespace
}  // namespace qd::test
