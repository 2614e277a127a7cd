// The session's lists against qd-server: the aliases of a closed session,
// the tables of an alias through a temporary database, and what each
// listing leaves open.
#include <gtest/gtest.h>

#include "callif/QDCLDbas.h"
#include "callif/QDCLSess.h"
#include "callif/QDClEng.h"
#include "error_text.h"
#include "server_fixture.h"

namespace qd {
namespace {

using test::ErrorOf;

class SessionListsTest : public test::ComponentServerTest {};

const std::vector<std::string> kSalesTables = {"Customers", "Suppliers", "Gaps"};

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST_P(SessionListsTest, AliasesOfAClosedSessionLeaveItAndItsEngineClosed) {
  TqdSession* session = DefaultSession();
  std::vector<std::string> aliases{"SALES"};  // kept: names are added once, case ignored
  session->ListAliasNames(aliases);
  EXPECT_EQ(aliases, (std::vector<std::string>{"SALES", "Stock"}));
  EXPECT_FALSE(session->Active());
  EXPECT_FALSE(session->CommsEngine()->Active());
  EXPECT_EQ(session->CommsEngine()->ClientCommsEngine(), nullptr);
  EXPECT_EQ(prompts_, 1);
  // An open session stays open, and the server's credentials are not asked again.
  session->SetActive(true);
  aliases.clear();
  session->ListAliasNames(aliases);
  EXPECT_EQ(aliases.size(), 2u);
  EXPECT_TRUE(session->Active());
  EXPECT_EQ(session->OpenCount(), 1);
  EXPECT_EQ(prompts_, 1);
}

TEST_P(SessionListsTest, TablesOfAnAliasComeThroughATemporaryDatabaseThatIsFreedAfter) {
  TqdSession* session = DefaultSession();
  std::vector<std::string> tables{"stale"};
  session->ListTableNames("sales", "", false, false, tables);
  EXPECT_EQ(Sorted(tables), Sorted(kSalesTables));
  EXPECT_EQ(session->DatabaseCount(), 0);
  EXPECT_TRUE(session->Active());  // the session the listing opened stays open
  // With extensions each name carries its table's extension.
  session->ListTableNames("Sales", "", true, false, tables);
  ASSERT_EQ(tables.size(), kSalesTables.size());
  for (const std::string& name : tables) {
    size_t dot = name.find('.');
    ASSERT_NE(dot, std::string::npos) << name;
    EXPECT_NE(std::find(kSalesTables.begin(), kSalesTables.end(), name.substr(0, dot)), kSalesTables.end()) << name;
  }
  // Neither a database nor an alias: an empty list and no error.
  session->ListTableNames("Nowhere", "", false, false, tables);
  EXPECT_TRUE(tables.empty());
  EXPECT_EQ(session->DatabaseCount(), 0);
}

// A listing on a database that stays open leaves no cursor behind on it.
TEST_P(SessionListsTest, ListingTheTablesOfAnOpenDatabaseLeavesItsCursorsAsTheyWere) {
  TqdDatabase& database = Database("SalesDb", "Sales");
  database.SetConnected(true);
  auto* client = LiveObject<TQDClientDatabase>(database.ClientDatabase());
  ASSERT_NE(client, nullptr);
  int cursors = client->Cursors().Count();
  std::vector<std::string> tables;
  for (int i = 0; i < 3; ++i) database.OwningSession()->ListTableNames("salesdb", "", false, false, tables);
  EXPECT_EQ(Sorted(tables), Sorted(kSalesTables));
  EXPECT_EQ(client->Cursors().Count(), cursors);
  EXPECT_TRUE(database.Connected());
  EXPECT_EQ(database.OpenCount(), 1);
}

TEST_P(SessionListsTest, ADatabaseOnAnAliasOpensAndRefusesChangesWhileConnected) {
  TqdDatabase& database = Database("Mine", "Stock");
  database.SetConnected(true);
  EXPECT_NE(LiveObject<TQDClientDatabase>(database.ClientDatabase()), nullptr);
  EXPECT_EQ(database.OwningSession(), DefaultSession());
  EXPECT_EQ(ErrorOf([&] { database.SetAliasName("Sales"); }),
            "Quilldrive: qdMine: The database must be closed before performing this operation [no error code]");
  EXPECT_EQ(ErrorOf([&] { database.SetReadOnly(true); }),
            "Quilldrive: qdMine: The database must be closed before performing this operation [no error code]");
  database.SetConnected(false);
  database.SetAliasName("Sales");
  database.SetConnected(true);
  EXPECT_TRUE(database.Connected());
}

TEST_P(SessionListsTest, ADatabaseNamedAfterAnAliasIsRefusedForAComponentOfAForm) {
  auto& database = CreateComponent<TqdDatabase>(form_);
  EXPECT_EQ(ErrorOf([&] { database.SetDatabaseName("stock"); }),
            "Quilldrive: Database name stock matches an alias name [no error code]");
  database.SetDatabaseName("NotAnAlias");
}

TEST_P(SessionListsTest, AnUnknownAliasFailsWithTheServersCodeAndItsText) {
  TqdDatabase& database = Database("Mine", "NoSuchAlias");
  try {
    database.SetConnected(true);
    FAIL() << "opened an unknown alias";
  } catch (const EqdDatabaseError& e) {
    ASSERT_NE(e.ErrorCode, 0);
    EXPECT_EQ(std::string(e.what()), EqdDatabaseError::CreateForCode(e.ErrorCode).what());
    EXPECT_EQ(std::string(e.what()).rfind("Quilldrive: ", 0), 0u);
  }
  EXPECT_FALSE(database.Connected());
  EXPECT_TRUE(DefaultSession()->Active());  // the session it opened stays open
}

// The session's own handlers are what its session object asks.
TEST_P(SessionListsTest, TheSessionsLoginHandlerAnswersInsteadOfTheDialog) {
  AnswerLogins("demo", "wrong");
  TqdSession* session = DefaultSession();
  int logins = 0;
  session->OnLogin = [&](void*, TqdName& user, TqdName& password, bool& result) {
    ++logins;
    user.Assign("demo");
    password.Assign("demo");
    result = true;
  };
  int startups = 0;
  session->OnStartup = [&](TqdSession& started) { startups += &started == session; };
  session->SetActive(true);
  EXPECT_TRUE(session->Active());
  EXPECT_EQ(logins, 1);
  EXPECT_EQ(prompts_, 0);
  EXPECT_EQ(startups, 1);
  EXPECT_NE(session->ClientSession(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Transports, SessionListsTest, testing::Bool(), test::ParamName);

// A session that finds no server fails to open and is left closed.
class NoServerTest : public test::ComponentServerTest {};

TEST_P(NoServerTest, ASessionThatFindsNoServerSaysSoAndStaysClosed) {
  server_.reset();
  TqdSession* session = DefaultSession();
  session->SetName("qdSession");
  std::vector<std::string> aliases;
  // The cause's words and code follow the session's own.
  const std::string noServer =
      "Quilldrive: qdSession: Could not open session [[automatic]] (usually indicates no server could be detected): "
      "Cannot locate or connect to network server. [$2C0E/11278]";
  EXPECT_EQ(ErrorOf([&] { session->ListAliasNames(aliases); }), noServer);
  EXPECT_TRUE(aliases.empty());
  // What the failed listing opened is closed again.
  EXPECT_FALSE(session->Active());
  EXPECT_FALSE(session->CommsEngine()->Active());
  EXPECT_EQ(ErrorOf([&] { session->SetActive(true); }), noServer);
  EXPECT_FALSE(session->Active());
  EXPECT_EQ(session->OpenCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Tcp, NoServerTest, testing::Values(true), test::ParamName);

}  // namespace
}  // namespace qd
