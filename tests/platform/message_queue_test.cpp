#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/notify_window.h"

namespace qd {
namespace {

struct Seen {
  uint32_t msg;
  uintptr_t wParam;
  intptr_t lParam;
};

// A window that records what its procedure receives.
struct RecordingWindow {
  std::vector<Seen> seen;
  TqdNotifyWindow window{[this](uint32_t m, uintptr_t w, intptr_t l) {
    seen.push_back({m, w, l});
    return static_cast<intptr_t>(m + 1);
  }};
};

// How long a wait for something that must come may take: far beyond what it
// takes even on busy cores under the sanitizers.
constexpr int kMustComeMs = 20000;

// Dispatches until `done` holds or kMustComeMs have passed.
template <class Pred>
bool PumpUntil(TqdNotifyWindow& window, Pred done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kMustComeMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (window.WaitForMessage(50)) window.DispatchOne();
  }
  return true;
}

TEST(MessageQueueTest, DispatchOneTakesOnlyOneMessageOfItsWindow) {
  RecordingWindow a, b;
  a.window.Post(WM_USER + 1, 1, 0);
  b.window.Post(WM_USER + 2, 2, 0);
  a.window.Post(WM_USER + 3, 3, 0);
  EXPECT_TRUE(a.window.DispatchOne());
  ASSERT_EQ(a.seen.size(), 1u);
  EXPECT_EQ(a.seen[0].wParam, 1u);
  EXPECT_TRUE(b.seen.empty());
  EXPECT_TRUE(a.window.DispatchOne());
  EXPECT_FALSE(a.window.DispatchOne());
  ASSERT_EQ(a.seen.size(), 2u);
  EXPECT_EQ(a.seen[1].wParam, 3u);
  EXPECT_TRUE(b.window.DispatchOne());
  EXPECT_EQ(b.seen.size(), 1u);
}

TEST(MessageQueueTest, WaitingEndsAtTheDeadlineWhenNothingArrives) {
  RecordingWindow a;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(a.window.WaitForMessage(30));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
}

TEST(MessageQueueTest, PostFromAnotherThreadWakesTheWaiter) {
  RecordingWindow a;
  std::thread poster([&] { a.window.Post(WM_USER, 7, 8); });
  EXPECT_TRUE(PumpUntil(a.window, [&] { return !a.seen.empty(); }));
  poster.join();
  EXPECT_EQ(a.seen[0].lParam, 8);
}

TEST(MessageQueueTest, SendFromAnotherThreadBlocksUntilHandled) {
  RecordingWindow a;
  std::atomic<intptr_t> result{0};
  std::thread sender([&] { result = a.window.Send(WM_USER + 5, 0, 0); });
  EXPECT_TRUE(PumpUntil(a.window, [&] { return result.load() != 0; }));
  sender.join();
  EXPECT_EQ(result.load(), static_cast<intptr_t>(WM_USER + 6));
  EXPECT_EQ(a.window.Send(WM_USER, 0, 0), static_cast<intptr_t>(WM_USER + 1));  // same thread: at once
}

TEST(MessageQueueTest, TimerTicksCarryTheirIdAndStopWhenKilled) {
  RecordingWindow a;
  ASSERT_EQ(a.window.SetTimer(1, 5), 0);
  EXPECT_TRUE(PumpUntil(a.window, [&] { return a.seen.size() >= 2; }));
  for (const Seen& s : a.seen) {
    EXPECT_EQ(s.msg, WM_TIMER);
    EXPECT_EQ(s.wParam, 1u);
  }
  a.window.KillTimer(1);
  a.seen.clear();
  EXPECT_FALSE(a.window.WaitForMessage(30));
}

class SocketSelectTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds_), 0); }
  void TearDown() override {
    rec_.window.CancelSelect(fds_[0]);
    close(fds_[0]);
    if (fds_[1] >= 0) close(fds_[1]);
  }
  std::vector<uint16_t> Events() {
    std::vector<uint16_t> events;
    for (const Seen& s : rec_.seen) {
      EXPECT_EQ(s.msg, kSocketEventMessage);
      EXPECT_EQ(s.wParam, static_cast<uintptr_t>(fds_[0]));
      events.push_back(SelectEvent(s.lParam));
    }
    return events;
  }
  int fds_[2] = {-1, -1};
  RecordingWindow rec_;
};

TEST_F(SocketSelectTest, WriteComesOnceAndReadIsNotRepeatedUntilHandled) {
  ASSERT_EQ(rec_.window.AsyncSelect(fds_[0], FD_READ | FD_WRITE | FD_CLOSE), 0);
  ASSERT_TRUE(PumpUntil(rec_.window, [&] { return !rec_.seen.empty(); }));
  EXPECT_EQ(Events(), std::vector<uint16_t>{FD_WRITE});
  EXPECT_FALSE(rec_.window.WaitForMessage(20));  // writable, but FD_WRITE is not repeated

  ASSERT_EQ(write(fds_[1], "ab", 2), 2);
  ASSERT_TRUE(rec_.window.WaitForMessage(kMustComeMs));
  // Unread data: one FD_READ is pending, no second one is made meanwhile.
  rec_.window.Queue().DispatchPending();
  EXPECT_EQ(Events(), (std::vector<uint16_t>{FD_WRITE, FD_READ}));
  // Still unread after handling: readiness is looked at again.
  ASSERT_TRUE(rec_.window.WaitForMessage(kMustComeMs));
  char buffer[4];
  ASSERT_EQ(read(fds_[0], buffer, sizeof buffer), 2);
  rec_.window.DispatchOne();
  EXPECT_FALSE(rec_.window.WaitForMessage(20));
}

TEST_F(SocketSelectTest, ReadinessSeenAgainWhileItsMessageWaitsMakesNoSecondMessage) {
  ASSERT_EQ(rec_.window.AsyncSelect(fds_[0], FD_READ), 0);
  ASSERT_EQ(write(fds_[1], "ab", 2), 2);
  ASSERT_TRUE(rec_.window.WaitForMessage(kMustComeMs));
  // Another window's turns ask the kernel again and again while this
  // socket's FD_READ waits unhandled.
  RecordingWindow other;
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(other.window.DispatchOne());
  EXPECT_TRUE(rec_.window.DispatchOne());
  EXPECT_EQ(Events(), std::vector<uint16_t>{FD_READ});
  // Handled but not read: the socket is watched again and says so once more.
  ASSERT_TRUE(rec_.window.WaitForMessage(kMustComeMs));
  char buffer[4];
  ASSERT_EQ(read(fds_[0], buffer, sizeof buffer), 2);
  rec_.window.DispatchOne();
  EXPECT_EQ(Events(), (std::vector<uint16_t>{FD_READ, FD_READ}));
  EXPECT_FALSE(rec_.window.WaitForMessage(20));
}

TEST_F(SocketSelectTest, PeerCloseGivesOneClose) {
  ASSERT_EQ(rec_.window.AsyncSelect(fds_[0], FD_CLOSE), 0);
  close(fds_[1]);
  fds_[1] = -1;
  ASSERT_TRUE(PumpUntil(rec_.window, [&] { return !rec_.seen.empty(); }));
  EXPECT_EQ(Events(), std::vector<uint16_t>{FD_CLOSE});
  EXPECT_EQ(SelectError(rec_.seen[0].lParam), 0);
  EXPECT_FALSE(rec_.window.WaitForMessage(20));
}

TEST_F(SocketSelectTest, CancelDropsWaitingMessages) {
  ASSERT_EQ(rec_.window.AsyncSelect(fds_[0], FD_WRITE), 0);
  ASSERT_TRUE(rec_.window.WaitForMessage(kMustComeMs));
  rec_.window.CancelSelect(fds_[0]);
  EXPECT_FALSE(rec_.window.DispatchOne());
}

TEST(MessageQueueTest, EventWordPacksEventAndError) {
  intptr_t word = MakeSelectEventWord(FD_CONNECT, 10061);
  EXPECT_EQ(SelectEvent(word), FD_CONNECT);
  EXPECT_EQ(SelectError(word), 10061);
  EXPECT_EQ(kSocketEventMessage, 5105u);
}

}  // namespace
}  // namespace qd
