// Connecting sessions against qd-server: logins with retries and their
// memory, discovery of several servers, a server that dies mid-session and
// the sessions after it, and handles that outlive their objects.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "comms/QDCLCfg.h"
#include "comms/QDLLWsck.h"
#include "comms/discovery.h"
#include "platform/hooks.h"
#include "callif/QDCLDbas.h"
#include "callif/QDClTabl.h"
#include "server_fixture.h"
#include "tests/support/discovery_answerer.h"

namespace qd {
namespace {

class SessionServerTest : public test::CallifServerTest {};

struct LoginCase {
  const char* what;
  std::vector<std::pair<std::string, bool>> answers;  // password, confirmed
  TqdResult expected;
  int prompts;
};

TEST_P(SessionServerTest, LoginPromptsUntilRightCancelledOrOutOfRetries) {
  const LoginCase cases[] = {
      {"right at the second prompt", {{"wrong", true}, {"demo", true}}, qdOK, 2},
      {"cancelled at once", {{"demo", false}}, qdErrInvalidPassword, 1},
      {"always wrong", {{"a", true}, {"b", true}, {"c", true}, {"demo", true}}, qdErrInvalidPassword, 3},
  };
  for (const LoginCase& c : cases) {
    ForgetAcceptedCredentials();
    size_t next = 0;
    // What each prompt showed: the first follows the try with nothing
    // filled in; each later one says the login was refused, keeps the user
    // name and leaves the password to be typed again.
    std::vector<std::string> shown;
    SetLoginDialogHook([&](const std::string&, const std::string& message, TqdNetName& user, TqdNetName& password) {
      shown.push_back(message + "|" + user.Str() + "|" + password.Str());
      auto [text, confirmed] = c.answers.at(next++);
      user.Assign("demo");
      password.Assign(text);
      return confirmed;
    });
    int beeps = 0;
    SetBeepHook([&] { ++beeps; });
    TqdClientSession session(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(session.Connect(), c.expected) << c.what;
    EXPECT_EQ(static_cast<int>(next), c.prompts) << c.what;
    EXPECT_GE(beeps, c.prompts) << c.what;
    ASSERT_EQ(shown.size(), static_cast<size_t>(c.prompts)) << c.what;
    EXPECT_EQ(shown[0], "||") << c.what;
    for (size_t i = 1; i < shown.size(); ++i)
      EXPECT_EQ(shown[i], "Unknown user name or password.|demo|") << c.what << " prompt " << i + 1;
    SetBeepHook({});
  }
}

// The password is asked once per run: the next login to the same server
// starts with what it accepted.
TEST_P(SessionServerTest, AcceptedCredentialsAreOfferedFirstNextTime) {
  { TqdClientSession first(nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(first.Connect(), qdOK); }
  EXPECT_EQ(prompts_, 1);
  TqdClientSession second(nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(second.Connect(), qdOK);
  EXPECT_EQ(prompts_, 1);
}

TEST_P(SessionServerTest, PresetCredentialsSkipTheLogin) {
  SetPresetCredentials("demo", "demo");
  TqdClientSession session(nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(session.Connect(), qdOK);
  EXPECT_EQ(prompts_, 0);
  SetPresetCredentials("demo", "wrong");
  TqdClientSession refused(nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(refused.Connect(), qdErrInvalidPassword);
  EXPECT_EQ(prompts_, 0);
}

// A server killed mid-session: the next request reports the loss, and a
// session over the same comms engine attaches and logs in again.
TEST_P(SessionServerTest, ServerKilledMidSessionThenReconnect) {
  TqdClientCommsEngine comms("tester", *GetDefaultProtocolClass());
  comms.Startup();
  TqdClientSession first(nullptr, nullptr, nullptr, nullptr, &comms);
  ASSERT_EQ(first.Connect(), qdOK);
  TttBaseTable* aliases = nullptr;
  ASSERT_EQ(first.OpenDatabaseList(aliases), qdOK);
  server_->Signal(SIGKILL);
  TttBaseTable* again = nullptr;
  TqdResult lost = first.OpenDatabaseList(again);
  EXPECT_TRUE(lost == qdErrNetTimeout || lost == qdErrNetServerNotFound) << lost;
  EXPECT_EQ(again, nullptr);
  EXPECT_FALSE(first.IsConnected());
  // A database cannot be opened without a connection: say so (not 9990).
  TttBaseDatabase* db = nullptr;
  EXPECT_EQ(first.OpenDatabaseInternal(nullptr, 0, 0, nullptr, 0, nullptr, nullptr, db), qdErrNetServerNotFound);

  StartServer();
  if (Tcp()) static_cast<TqdWinsockProtocol&>(comms.Transport()).Endpoints = GetClientEndpoints();
  TqdClientSession second(nullptr, nullptr, nullptr, nullptr, &comms);
  EXPECT_EQ(second.Connect(), qdOK);
  EXPECT_EQ(second.OpenDatabaseList(again), qdOK);
}

// A cursor and a database freed with their session still close through
// the session's own comms engine, which goes last.
TEST_P(SessionServerTest, FreeingASessionClosesItsCursorsFirst) {
  hDBIDb db = OpenSales();
  hDBICur cursor = OpenTable(db, "Customers");
  ASSERT_NE(cursor, nullptr);
  TqdClientSession* session = Engine().CurrentSession();
  ASSERT_TRUE(session->OwnsCommsEngine());
  delete session;
  EXPECT_FALSE(IsLiveObject(cursor));
  EXPECT_FALSE(IsLiveObject(db));
  // The engine notices that its current session is gone and opens another.
  hDBICur aliases = nullptr;
  EXPECT_EQ(Engine().OpenDatabaseList(nullptr, aliases), qdOK);
}

TEST_P(SessionServerTest, StaleAndForeignHandlesAre9990) {
  hDBIDb db = OpenSales();
  hDBICur cursor = OpenTable(db, "Customers");
  hDBICur copy = cursor;
  ASSERT_EQ(Engine().CloseCursor(cursor), qdOK);
  std::vector<uint8_t> props(kCursorPropsSize);
  EXPECT_EQ(Engine().GetCursorProps(copy, props.data()), qdErrInvalidHandle);
  EXPECT_EQ(Engine().CloseCursor(copy), qdErrInvalidHandle);
  EXPECT_EQ(Engine().GetCursorProps(db, props.data()), qdErrInvalidHandle);  // a database is no cursor
  hDBICur list = nullptr;
  EXPECT_EQ(Engine().OpenDatabaseList(db, list), qdErrInvalidHandle);  // nor a session
  EXPECT_EQ(Engine().OpenTableList(nullptr, false, false, "", list), qdErrInvalidHandle);
  EXPECT_EQ(Engine().Result(), qdErrInvalidHandle);
}

TEST_P(SessionServerTest, ClosingAfterTheServerIsGoneSucceedsAndFrees) {
  hDBIDb db = OpenSales();
  hDBICur cursor = OpenTable(db, "Customers");
  server_->Signal(SIGKILL);
  EXPECT_EQ(Engine().CloseCursor(cursor), qdOK);
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(Engine().CloseDatabase(nullptr, db), qdOK);
}

INSTANTIATE_TEST_SUITE_P(Transports, SessionServerTest, testing::Bool(), test::ParamName);

class DiscoveryTest : public test::CallifServerTest {};

TEST_P(DiscoveryTest, SeveralServersAreOfferedSortedAndTheChoiceIsAttached) {
  test::DiscoveryAnswerer other(server_->TcpPort(), clientDiscoveryPort_);
  ASSERT_TRUE(other.Bound());
  WriteClientSettings("", "127.255.255.255");
  std::vector<std::string> offered;
  SetServerDialogHook([&](const std::vector<std::string>& names, std::string& chosen) {
    offered = names;
    chosen = names.back();
    return true;
  });
  TqdClientSession session(nullptr, nullptr, nullptr, nullptr, nullptr);
  std::vector<bool> searching;
  session.OnFindServers = [&](void*, bool starting) { searching.push_back(starting); };
  EXPECT_EQ(session.Connect(), qdOK);
  EXPECT_EQ(offered, (std::vector<std::string>{"ANOTHER@127.0.0.1", "QDCALLIF@127.0.0.1"}));
  EXPECT_EQ(searching, (std::vector<bool>{true, false}));
  EXPECT_EQ(session.ServerName(), "QDCALLIF@127.0.0.1");

  SetServerDialogHook({});  // no dialog: cancelled
  TqdClientSession cancelled(nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(cancelled.Connect(), qdErrNetServerNotFound);
}

INSTANTIATE_TEST_SUITE_P(Tcp, DiscoveryTest, testing::Values(true), test::ParamName);

}  // namespace
}  // namespace qd
