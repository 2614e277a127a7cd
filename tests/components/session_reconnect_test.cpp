// A session whose connection was lost, or whose login failed, against
// qd-server: the connection is re-made on the server it used with the
// login that server accepted, its databases are closed on the way, and a
// failed open says what its cause was and leaves the session able to open.
#include <gtest/gtest.h>
#include <signal.h>

#include "callif/QDCLSess.h"
#include "error_text.h"
#include "server_fixture.h"

namespace qd {
namespace {

using test::ErrorOf;

class SessionReconnectTest : public test::ComponentServerTest {
 protected:
  // The logins the server has logged as accepted.
  int Logins() {
    server_->ReadAvailable();
    int count = 0;
    for (size_t at = server_->Output().find("logged in: "); at != std::string::npos;
         at = server_->Output().find("logged in: ", at + 1))
      ++count;
    return count;
  }
};

TEST_P(SessionReconnectTest, ALostConnectionIsRemadeOnTheServerItUsedWithItsLogin) {
  TqdDatabase& database = Database("SalesDb", "Sales");
  database.SetConnected(true);
  TqdSession* session = DefaultSession();
  EXPECT_FALSE(session->ReconnectIfLost());  // a connection that stands is kept
  const std::string used = session->ServerUsed();
  EXPECT_FALSE(used.empty());
  EXPECT_EQ(prompts_, 1);

  server_->Signal(SIGKILL);
  StartServer();
  EXPECT_EQ(Logins(), 0);
  EXPECT_TRUE(session->ReconnectIfLost());
  EXPECT_EQ(Logins(), 1);
  EXPECT_TRUE(session->Active());
  EXPECT_EQ(session->OpenCount(), 1);
  EXPECT_EQ(session->ServerUsed(), used);
  EXPECT_EQ(prompts_, 1);  // the login the server accepted before
  // What the database had open on the old connection is gone with it.
  EXPECT_FALSE(database.Connected());
  database.SetConnected(true);
  std::vector<std::string> tables;
  session->ListTableNames("SalesDb", "", false, false, tables);
  EXPECT_EQ(tables.size(), 3u);
  EXPECT_FALSE(session->ReconnectIfLost());
}

TEST_P(SessionReconnectTest, AClosedSessionIsLeftToItsNextOpen) {
  TqdSession* session = DefaultSession();
  EXPECT_FALSE(session->ReconnectIfLost());
  EXPECT_FALSE(session->Active());
  EXPECT_EQ(prompts_, 0);
}

// The cause's code and words follow the session's own; a later Reconnect
// logs in once the user gives the right password.
TEST_P(SessionReconnectTest, AFailedLoginSaysWhyAndAReconnectLaterLogsIn) {
  struct Case {
    const char* what;
    std::string password;
    bool confirm;
  };
  const Case cases[] = {{"cancelled", "demo", false}, {"refused to the end", "wrong", true}};
  TqdSession* session = DefaultSession();
  session->SetName("qdSession");
  for (const Case& c : cases) {
    ForgetAcceptedCredentials();
    AnswerLogins("demo", c.password, c.confirm);
    try {
      session->Reconnect();
      ADD_FAILURE() << c.what << ": logged in";
    } catch (const EqdDatabaseError& e) {
      EXPECT_EQ(e.ErrorCode, qdErrInvalidPassword) << c.what;
      EXPECT_EQ(std::string(e.what()),
                "Quilldrive: qdSession: Could not open session [[automatic]] (usually indicates no server could be "
                "detected): Unknown user name or password. [$2734/10036]")
          << c.what;
    }
    EXPECT_FALSE(session->Active()) << c.what;
  }
  AnswerLogins("demo", "demo");
  session->Reconnect();
  EXPECT_TRUE(session->Active());
  std::vector<std::string> aliases;
  session->ListAliasNames(aliases);
  EXPECT_EQ(aliases.size(), 2u);
}

// Reconnect drops a connection that stands too, and finds the server anew.
TEST_P(SessionReconnectTest, ReconnectDropsAStandingConnectionAndConnectsAfresh) {
  TqdDatabase& database = Database("SalesDb", "Sales");
  database.SetConnected(true);
  TqdSession* session = DefaultSession();
  const int before = Logins();
  session->Reconnect();
  EXPECT_TRUE(session->Active());
  EXPECT_EQ(Logins(), before + 1);
  EXPECT_FALSE(database.Connected());
  EXPECT_EQ(prompts_, 1);
  database.SetConnected(true);
  EXPECT_TRUE(database.Connected());
}

INSTANTIATE_TEST_SUITE_P(Transports, SessionReconnectTest, testing::Bool(), test::ParamName);

}  // namespace
}  // namespace qd
