// The comms engine when its transport fails under it (a reset, a send that
// stalls: the transport hangs up and raises) and when it is called from a
// thread that does not own it.
#include <gtest/gtest.h>

#include <thread>

#include "comms/QDClComm.h"
#include "comms/keepalive.h"
#include "scripted_transport.h"

namespace qd::test {
namespace {

using Bytes = std::vector<uint8_t>;

class EngineFailureTest : public ::testing::Test {
 protected:
  EngineFailureTest() : engine_("PC1", ScriptedProtocolClass()) { engine_.Startup(); }
  ~EngineFailureTest() override { ResetKeepAliveSettings(); }
  ScriptedTransport& Transport() { return static_cast<ScriptedTransport&>(engine_.Transport()); }

  TqdClientCommsEngine engine_;
};

// Whatever the transport raised, the request ends with the connection lost
// and leaves the engine ready for the next attach.
TEST_F(EngineFailureTest, TransportFailuresEndARequestWithTheConnectionLost) {
  struct Case {
    const char* what;
    uint32_t size;     // of the request; above 4072 bytes it goes in two parts
    bool failOnSend;   // else while waiting for the reply
    bool hangsUp;      // the transport hangs up before it raises
    bool laterPart;    // the second part's send fails
  };
  const Case cases[] = {
      {"send of the request", 8, true, true, false},
      {"send of a later part", 5000, true, true, true},
      {"send that raises without hanging up", 8, true, false, false},
      {"waiting for the reply", 8, false, true, false},
  };
  for (const Case& c : cases) {
    bool armed = true;
    Transport().OnSend = [&](ScriptedTransport& t, TqdConnectionHandle h, const TqdMsgHeader& header) {
      if (header.MsgID != msgGetRecord) return false;
      if (armed && c.failOnSend && (header.FirstPart == 0) == c.laterPart) t.FailWithReset(h, c.hangsUp);
      if (header.LastPart == 1 && !armed) t.Answer(h, msgGetRecord, 0, Bytes{1, 2});
      return true;
    };
    Transport().OnBreathe = [&](ScriptedTransport& t, TqdConnectionHandle h) {
      if (armed && !c.failOnSend) t.FailWithReset(h, c.hangsUp);
    };
    ASSERT_EQ(engine_.Attach("x", "bob", "secret"), qdOK) << c.what;
    Bytes request(c.size, 0x5A), reply(2);
    EXPECT_EQ(engine_.Request(msgGetRecord, request.data(), c.size, reply.data(), 2), qdErrNetTimeout) << c.what;
    EXPECT_FALSE(engine_.IsConnected()) << c.what;
    EXPECT_EQ(Transport().ConnectionCount(), 0) << c.what;
    EXPECT_EQ(engine_.Request(msgGetRecord, request.data(), c.size, reply.data(), 2), qdErrNetServerNotFound)
        << c.what;
    // No longer busy (else the attach request would answer 8455).
    armed = false;
    ASSERT_EQ(engine_.Attach("x", "bob", "secret"), qdOK) << c.what;
    EXPECT_EQ(engine_.Request(msgGetRecord, request.data(), c.size, reply.data(), 2), qdOK) << c.what;
    EXPECT_EQ(reply, (Bytes{1, 2})) << c.what;
    engine_.Detach();
  }
}

// Attach's own exchanges go through a request: a failing transport gives a
// code there too (a login that cannot be confirmed is reported as refused).
TEST_F(EngineFailureTest, AttachReportsATransportFailureAsACode) {
  struct Case {
    TqdMsgID failing;
    TqdResult result;
  };
  for (Case c : {Case{msgAttach, qdErrNetTimeout}, Case{msgConfirmLogin, qdErrInvalidPassword}}) {
    bool armed = true;
    Transport().OnSend = [&](ScriptedTransport& t, TqdConnectionHandle h, const TqdMsgHeader& header) {
      if (armed && header.MsgID == c.failing) t.FailWithReset(h);
      return false;
    };
    EXPECT_EQ(engine_.Attach("x", "bob", "secret"), c.result) << c.failing;
    EXPECT_FALSE(engine_.IsConnected()) << c.failing;
    armed = false;
    EXPECT_EQ(engine_.Attach("x", "bob", "secret"), qdOK) << c.failing;
    engine_.Detach();
  }
}

// A waiting request pumps its thread's message queue, where the transport's
// events arrive: the engine serves only the thread that created it.
TEST_F(EngineFailureTest, CallsFromAnotherThreadAbortDeathTest) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ASSERT_EQ(engine_.Attach("x", "bob", "secret"), qdOK);
  auto elsewhere = [](const std::function<void()>& call) { std::thread(call).join(); };
  uint8_t reply[4];
  std::vector<std::string> names;
  EXPECT_DEATH(elsewhere([&] { engine_.Request(msgGetRecord, "ab", 2, reply, 4); }), "Request called off the thread");
  EXPECT_DEATH(elsewhere([&] { engine_.Attach("x", "bob", "secret"); }), "Attach called off the thread");
  EXPECT_DEATH(elsewhere([&] { engine_.Detach(); }), "Detach called off the thread");
  EXPECT_DEATH(elsewhere([&] { engine_.GetServerNames(names); }), "GetServerNames called off the thread");
  EXPECT_TRUE(engine_.IsConnected());  // the owner's engine is untouched
}

}  // namespace
}  // namespace qd::test
