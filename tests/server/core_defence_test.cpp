// What the server core does so that no client can take it from the others:
// failed logins and the throttle on guessing, names with NUL bytes, a new
// attach on a logged-in connection, connections lost in the middle of a
// reply, the caps on connections that have not logged in, and the cap on
// a client's unanswered requests.
#include <gtest/gtest.h>

#include <atomic>

#include "base/ticks.h"
#include "core_fixture.h"
#include "server/login_throttle.h"
#include "server/server_results.h"

namespace qd {
namespace {

using test::CoreTest;
using test::RecordedReply;
using test::TableRequest;

std::vector<uint8_t> AttachRequest(const std::string& user) {
  std::vector<uint8_t> attach(kAttachRequestSize);
  EncodeAttachRequest({"tester", user}, attach.data());
  return attach;
}

// A login part that is not readable under the server's key (a wrong password).
const uint8_t kUnreadableLogin[kMsgHeaderSize] = {9, 0, 0, 0, 24, 0, 0, 0, 0x55, 0x66};

class CoreDefenceTest : public CoreTest {
 protected:
  // Attaches `user` from `address`; the connection.
  TqdCoreConnection Attached(const std::string& user, const std::string& address) {
    TqdCoreConnection c = harness_->Core().AddConnection(address);
    RecordedReply a = harness_->Request(c, msgAttach, AttachRequest(user));
    clientId_ = GetUInt32LE(a.Data.data());
    return c;
  }
  // A login of `c` with a wrong password, as the core sees it.
  void WrongLogin(TqdCoreConnection c) { harness_->Core().OnUnsound(c, kUnreadableLogin, sizeof kUnreadableLogin); }
  void RightLogin(TqdCoreConnection c) { harness_->Core().OnRequest(c, {msgConfirmLogin, clientId_, false, {}}); }
  size_t LogLinesWith(const std::string& text) const {
    return static_cast<size_t>(std::count_if(harness_->Log.begin(), harness_->Log.end(),
                                             [&](const std::string& line) { return line.find(text) != std::string::npos; }));
  }
  uint32_t clientId_ = 0;
};

// A failed login is answered, then its connection is hung up (a guess costs
// a new connection), and both are logged with the user and the address.
TEST_F(CoreDefenceTest, FailedLoginIsAnsweredThenHungUpAndLogged) {
  TqdCoreConnection readable = Attached("nobody", "10.0.0.1");
  auto r = harness_->Request(readable, msgConfirmLogin);
  EXPECT_EQ(r.Result, qdErrInvalidPassword);
  EXPECT_TRUE(harness_->Output().WasHungUp(readable));
  EXPECT_EQ(LogLinesWith("login failed: user \"nobody\" from 10.0.0.1"), 1u);
  EXPECT_EQ(LogLinesWith("hung up after a failed login: user \"nobody\" from 10.0.0.1"), 1u);

  TqdCoreConnection unreadable = Attached("demo", "10.0.0.2");
  WrongLogin(unreadable);
  r = harness_->NextReply();
  EXPECT_TRUE(r.Unreadable);
  EXPECT_EQ(r.Result, qdErrInvalidPassword);
  EXPECT_TRUE(harness_->Output().WasHungUp(unreadable));
  EXPECT_EQ(harness_->Core().Connections(), 0u);
  // A name with line breaks cannot forge log lines.
  TqdCoreConnection forger = Attached("x\nqd-server: login ok", "10.0.0.3");
  WrongLogin(forger);
  harness_->NextReply();
  for (const std::string& line : harness_->Log) EXPECT_EQ(line.find('\n'), std::string::npos);
}

// Each login that succeeds is logged once, with the user and the address:
// an operator counts a client's logins there.
TEST_F(CoreDefenceTest, ASuccessfulLoginIsLoggedOnce) {
  TqdCoreConnection c = Attached("demo", "10.0.0.4");
  RightLogin(c);
  EXPECT_EQ(harness_->NextReply().Result, 0);
  EXPECT_EQ(LogLinesWith("logged in: user \"demo\" from 10.0.0.4"), 1u);
  EXPECT_EQ(LogLinesWith("login failed"), 0u);
}

std::atomic<uint32_t> g_now{5000};
uint32_t FakeTicks() { return g_now.load(); }

// After a failure, logins of that user or from that address wait: each is
// held, whatever its outcome, until the throttle lets it be answered; a
// correct one is then served as usual, a wrong one makes the next wait
// twice as long.
TEST_F(CoreDefenceTest, LoginsAfterAFailureAreHeld) {
  SetTickSource(&FakeTicks);
  TqdCoreConnection first = Attached("demo", "10.0.0.1");
  WrongLogin(first);
  EXPECT_EQ(harness_->Output().Replies.size(), 1u);  // the first failure is answered at once
  harness_->Output().Replies.clear();

  TqdCoreConnection sameAddress = Attached("other", "10.0.0.1");
  WrongLogin(sameAddress);
  TqdCoreConnection sameUser = Attached("demo", "10.0.0.9");
  RightLogin(sameUser);
  TqdCoreConnection stranger = Attached("demo2", "10.0.0.5");
  WrongLogin(stranger);  // neither that user nor that address: answered at once
  ASSERT_EQ(harness_->Output().Replies.size(), 1u);
  EXPECT_EQ(harness_->Output().Replies[0].Connection, stranger);
  harness_->Output().Replies.clear();
  EXPECT_EQ(harness_->Core().HeldLogins(), 2u);

  g_now += TqdLoginThrottle::DelayAfter(1) - 1;
  harness_->Core().OnTimer();
  EXPECT_TRUE(harness_->Output().Replies.empty());
  g_now += 1;
  harness_->Core().OnTimer();
  ASSERT_EQ(harness_->Output().Replies.size(), 2u);
  EXPECT_TRUE(harness_->Output().Replies[0].Unreadable);
  EXPECT_EQ(harness_->Output().Replies[1].Connection, sameUser);
  EXPECT_EQ(harness_->Output().Replies[1].Result, 0);
  harness_->Output().Replies.clear();
  harness_->Core().OnRequest(sameUser, {msgOpenSession, clientId_, false, {}});
  EXPECT_EQ(harness_->Output().Replies.at(0).Result, 0);

  // The address has failed twice now: the next wait is twice as long.
  harness_->Output().Replies.clear();
  TqdCoreConnection again = Attached("third", "10.0.0.1");
  WrongLogin(again);
  g_now += TqdLoginThrottle::DelayAfter(2) - 1;
  harness_->Core().OnTimer();
  EXPECT_TRUE(harness_->Output().Replies.empty());
  g_now += 1;
  harness_->Core().OnTimer();
  EXPECT_EQ(harness_->Output().Replies.size(), 1u);
  SetTickSource(nullptr);
}

TEST(LoginThrottle, TheWaitDoublesUpTo32Seconds) {
  const std::pair<int, uint32_t> cases[] = {{0, 0},     {1, 250},    {2, 500},    {3, 1000},
                                            {7, 16000}, {8, 32000},  {9, 32000},  {1000, 32000}};
  for (auto [failures, ms] : cases) EXPECT_EQ(TqdLoginThrottle::DelayAfter(failures), ms) << failures;
}

TEST(LoginThrottle, KeysWaitApartAndAcrossTheTickWrap) {
  TqdLoginThrottle throttle;
  const uint32_t start = 0xFFFFFF00u;  // the tick count wraps 256 ms later
  throttle.Failed("Demo", "10.0.0.1", start);
  EXPECT_FALSE(throttle.MayAnswer("DEMO", "10.9.9.9", start + 249));  // user names without regard to case
  EXPECT_FALSE(throttle.MayAnswer("bob", "10.0.0.1", start + 249));
  EXPECT_TRUE(throttle.MayAnswer("bob", "10.9.9.9", start));
  EXPECT_TRUE(throttle.MayAnswer("demo", "10.0.0.1", start + 250));
  throttle.Failed("demo", "10.0.0.2", start + 250);
  EXPECT_FALSE(throttle.MayAnswer("demo", "10.0.0.3", start + 749));
  EXPECT_TRUE(throttle.MayAnswer("demo", "10.0.0.3", start + 750));
  throttle.Forget(start + 250 + kLoginMemoryMs - 1);
  EXPECT_EQ(throttle.Keys(), 2u);  // 10.0.0.1 failed 250 ms earlier than the others
  throttle.Forget(start + 250 + kLoginMemoryMs);
  EXPECT_EQ(throttle.Keys(), 0u);
}

TEST(LoginThrottle, KeysAreCapped) {
  TqdLoginThrottle throttle;
  for (uint32_t i = 0; i < kMaxThrottledKeys + 10; ++i)
    throttle.Failed("user" + std::to_string(i), "10.0.0.1", 1000 + i);
  EXPECT_EQ(throttle.Keys(), kMaxThrottledKeys + 1);
  EXPECT_FALSE(throttle.MayAnswer("new", "10.0.0.1", 1000));  // the busy address is still known
}

// A NUL ends a C comparison early: "sales\0../../etc" must not pass for
// "sales", and a user name must not split into many throttle keys.
TEST_F(CoreDefenceTest, NamesWithNulAreRefused) {
  TqdCoreConnection c = harness_->Core().AddConnection();
  EXPECT_EQ(harness_->Request(c, msgAttach, AttachRequest(std::string("demo\0x", 6))).Result, qdErrInvalidParam);
  c = harness_->LoggedIn();
  std::vector<uint8_t> open(kOpenDatabaseRequestSize, 0);
  PutShortString(open.data(), std::string("sales\0../../etc", 15), kPathCapacity);
  EXPECT_EQ(harness_->Request(c, msgOpenDatabase, open).Result, qdErrInvalidParam);
  std::vector<uint8_t> alias(kAddAliasRequestSize, 0);
  PutShortString(alias.data(), std::string("Ali\0as", 6), 31);
  PutShortString(alias.data() + 32, "spare", kPathCapacity);
  EXPECT_EQ(harness_->Request(c, msgAddAlias, alias).Result, qdErrInvalidParam);
  int32_t db = harness_->OpenDatabase(c, "sales");
  EXPECT_EQ(harness_->Request(c, msgPackTable, TableRequest(db, std::string("Orders\0x", 8))).Result,
            qdErrInvalidParam);
}

// A second attach and login on one connection starts afresh: the ids the
// first login opened are no longer the client's.
TEST_F(CoreDefenceTest, ASecondAttachDropsWhatTheFirstOpened) {
  TqdCoreConnection c = harness_->LoggedIn();
  int32_t db = harness_->OpenDatabase(c, "sales");
  std::vector<uint8_t> list(kTableListRequestSize, 0);
  PutInt32LE(list.data(), db);
  ASSERT_EQ(harness_->Request(c, msgGetTableList, list).Result, 0);
  EXPECT_EQ(harness_->Request(c, msgAttach, AttachRequest("demo")).Result, 0);
  EXPECT_EQ(harness_->Output().PartsAllowed[c], false);
  EXPECT_EQ(harness_->Request(c, msgConfirmLogin).Result, 0);
  EXPECT_EQ(harness_->Output().PartsAllowed[c], true);
  EXPECT_EQ(harness_->Request(c, msgGetTableList, list).Result, qdErrUnknownDB);
}

// A reply whose send loses its connection (a peer that vanished) must not
// leave the handler with a freed client: the removal waits until the
// handling has returned.
TEST_F(CoreDefenceTest, AConnectionLostWhileRepliedToIsRemovedAfterTheHandler) {
  for (TqdMsgID msg : {msgAttach, msgDetach, msgConfirmLogin}) {
    TqdCoreConnection c = msg == msgAttach ? harness_->Core().AddConnection() : Attached("demo", "local");
    harness_->Output().LoseOnReply.insert(c);
    harness_->Core().OnRequest(c, {msg, clientId_, false, msg == msgAttach ? AttachRequest("demo") : std::vector<uint8_t>{}});
    harness_->PumpUntil([&] { return harness_->Core().Connections() == 0; });
    EXPECT_EQ(harness_->Core().Connections(), 0u) << msg;
    harness_->Output().Replies.clear();
  }
}

// Connections that have not logged in are capped per address (a newcomer
// beyond goes) and in all (the one waiting longest goes).
TEST_F(CoreDefenceTest, ConnectionsNotLoggedInAreCapped) {
  std::vector<TqdCoreConnection> fromOne;
  for (size_t i = 0; i <= kMaxUnauthenticatedPerAddress; ++i) fromOne.push_back(harness_->Core().AddConnection("10.0.0.1"));
  harness_->Core().OnTimer();
  EXPECT_EQ(harness_->Output().HungUp, std::vector<TqdCoreConnection>{fromOne.back()});

  TqdCoreConnection loggedIn = harness_->LoggedIn("demo", "10.0.0.200");
  std::vector<TqdCoreConnection> others;
  for (size_t i = kMaxUnauthenticatedPerAddress; i < kMaxUnauthenticated; ++i)
    others.push_back(harness_->Core().AddConnection("10.1." + std::to_string(i / 200) + "." + std::to_string(i % 200)));
  harness_->Core().OnTimer();
  EXPECT_EQ(harness_->Output().HungUp.size(), 1u);
  harness_->Core().AddConnection("10.2.0.1");  // one more than all may be
  harness_->Core().OnTimer();
  ASSERT_EQ(harness_->Output().HungUp.size(), 2u);
  EXPECT_EQ(harness_->Output().HungUp.back(), fromOne.front());  // it waited longest
  EXPECT_FALSE(harness_->Output().WasHungUp(loggedIn));
}

// A connection must log in soon after it connects (or attaches).
TEST_F(CoreDefenceTest, ConnectionsThatDoNotLogInInTimeAreHungUp) {
  SetTickSource(&FakeTicks);
  TqdCoreConnection idle = harness_->Core().AddConnection("10.0.0.1");
  TqdCoreConnection loggedIn = harness_->LoggedIn("demo", "10.0.0.2");
  g_now += kLoginDeadlineMs - 1000;
  TqdCoreConnection late = harness_->Core().AddConnection("10.0.0.3");
  g_now += 1000;
  harness_->Core().OnTimer();
  EXPECT_EQ(harness_->Output().HungUp, std::vector<TqdCoreConnection>{idle});
  g_now += kLoginDeadlineMs;
  harness_->Core().OnTimer();
  EXPECT_TRUE(harness_->Output().WasHungUp(late));
  EXPECT_FALSE(harness_->Output().WasHungUp(loggedIn));
  SetTickSource(nullptr);
}

// A client with kMaxOutstandingRequests unanswered is not read until one is
// answered: a client that sends without waiting waits in its own socket.
TEST_F(CoreDefenceTest, AClientAtItsCapOfUnansweredRequestsIsPaused) {
  TqdCoreConnection c = harness_->LoggedIn();
  int32_t db = harness_->OpenDatabase(c, "sales");
  std::vector<uint8_t> list(kTableListRequestSize, 0);
  PutInt32LE(list.data(), db);
  for (int i = 0; i < kMaxOutstandingRequests - 1; ++i) harness_->Core().OnRequest(c, {msgGetTableList, 0, false, list});
  EXPECT_FALSE(harness_->Output().Paused[c]);
  harness_->Core().OnRequest(c, {msgGetTableList, 0, false, list});
  EXPECT_TRUE(harness_->Output().Paused[c]);
  ASSERT_TRUE(harness_->PumpUntil(
      [&] { return harness_->Output().Replies.size() == static_cast<size_t>(kMaxOutstandingRequests); }));
  EXPECT_FALSE(harness_->Output().Paused[c]);
}

// Workers take jobs from the clients in turn: a client with many jobs
// waiting delays another's by one of its own. The one worker is held in
// the first job until every other job is queued, so that the order does
// not depend on when the worker first wakes.
TEST(RequestPool, ServesOwnersInTurn) {
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;
  bool open = false;
  int woken = 0;
  TqdRequestPool pool(
      [&] {
        std::lock_guard<std::mutex> guard(mutex);
        ++woken;
        changed.notify_all();
      },
      nullptr, 1);
  std::vector<std::string> order;
  auto job = [&](std::string name, bool hold) {
    return std::make_pair(
        [&, hold](TqdStoreCache&) {
          std::unique_lock<std::mutex> lock(mutex);
          if (hold) {
            started = true;
            changed.notify_all();
            changed.wait(lock, [&] { return open; });
          }
          return TqdJobResult{};
        },
        [&order, name](TqdJobResult&) { order.push_back(name); });
  };
  {
    auto [work, then] = job("a0", true);
    pool.Submit(1, work, then);
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return started; }));
  }
  for (int i = 1; i < 5; ++i) {
    auto [work, then] = job("a" + std::to_string(i), false);
    pool.Submit(1, work, then);
  }
  auto [work, then] = job("b", false);
  pool.Submit(2, work, then);
  {
    std::lock_guard<std::mutex> guard(mutex);
    open = true;
    changed.notify_all();
  }
  for (int ran = 0; ran < 6;) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return woken > 0; }));
      woken = 0;
    }
    ran += pool.RunCompletions();
  }
  EXPECT_EQ(order, (std::vector<std::string>{"a0", "a1", "b", "a2", "a3", "a4"}));
}

}  // namespace
}  // namespace qd
