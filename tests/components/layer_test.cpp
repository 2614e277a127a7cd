// The component layer without a server: the automatic comms engine and
// session, the default flags, the process-wide searches and the name checks.
#include <gtest/gtest.h>

#include <memory>

#include "base/QDLLExcp.h"
#include "components/QDDB.h"
#include "error_text.h"

namespace qd {
namespace {

using test::ErrorOf;

class LayerTest : public testing::Test {
 protected:
  void SetUp() override { InitializeComponentLayer(); }
  void TearDown() override { FinalizeComponentLayer(); }

  // An engine (or session) the test's form owns, so the layer only lets go of it.
  TqdCommsEngine& Engine(const char* name) {
    auto& engine = CreateComponent<TqdCommsEngine>(form_);
    engine.SetCommsEngineName(name);
    return engine;
  }
  TqdSession& Session(const char* name, const char* engine) {
    auto& session = CreateComponent<TqdSession>(form_);
    session.SetSessionName(name);
    session.SetCommsEngineName(engine);
    session.Parent();
    return session;
  }

  TqdComponent form_{nullptr};
};

TEST_F(LayerTest, WithoutOtherComponentsTheDefaultsAreTheAutomaticOnes) {
  TqdCommsEngine* automatic = FindAutoCommsEngine();
  ASSERT_NE(automatic, nullptr);
  EXPECT_EQ(FindDefaultCommsEngine(), automatic);
  EXPECT_EQ(DefaultCommsEngine(), automatic);
  EXPECT_EQ(automatic->Protocol(), TqdProtocolType::ptRegistry);
  TqdSession* session = DefaultSession();
  EXPECT_EQ(session->SessionName(), "[automatic]");
  EXPECT_EQ(session->CommsEngine(), automatic);
  EXPECT_TRUE(session->IsDefault());
  EXPECT_EQ(FindDefaultSession(), session);
  EXPECT_EQ(FindSession("[AUTOMATIC]"), session);
  EXPECT_FALSE(session->Active());
  EXPECT_FALSE(automatic->Active());
}

TEST_F(LayerTest, ClearingAnotherEnginesDefaultMakesTheAutomaticOneDefaultAgain) {
  TqdCommsEngine& other = Engine("other");
  other.SetIsDefault(true);
  EXPECT_EQ(FindDefaultCommsEngine(), &other);
  EXPECT_FALSE(FindAutoCommsEngine()->IsDefault());
  EXPECT_EQ(FindDefaultSession(), nullptr);  // it has no sessions
  EXPECT_EQ(ErrorOf([] { DefaultSession(); }),
            "Quilldrive: The default comms engine has no sessions [no error code]");
  other.SetIsDefault(false);
  EXPECT_EQ(FindDefaultCommsEngine(), FindAutoCommsEngine());
  FindAutoCommsEngine()->SetIsDefault(false);  // no other is default: it stays
  EXPECT_TRUE(FindAutoCommsEngine()->IsDefault());
}

TEST_F(LayerTest, FreeingTheDefaultEngineMakesTheAutomaticOneDefaultAgain) {
  TqdCommsEngine& other = Engine("other");
  other.SetIsDefault(true);
  delete &other;
  EXPECT_EQ(FindDefaultCommsEngine(), FindAutoCommsEngine());
}

TEST_F(LayerTest, AnEnginesDefaultSessionMovesAsSessionsComeAndGo) {
  TqdCommsEngine& engine = Engine("engine");
  TqdSession& first = Session("first", "engine");
  EXPECT_TRUE(first.OwnDefaultFlag());  // the only session of its engine
  EXPECT_FALSE(first.IsDefault());      // its engine is not the default one
  TqdSession& second = Session("second", "engine");
  EXPECT_EQ(engine.DefaultSessionOf(), &first);
  second.SetIsDefault(true);
  EXPECT_EQ(engine.DefaultSessionOf(), &second);
  EXPECT_FALSE(first.OwnDefaultFlag());
  second.SetIsDefault(false);
  EXPECT_EQ(engine.DefaultSessionOf(), &first);
  engine.SetIsDefault(true);
  EXPECT_EQ(DefaultSession(), &first);
  delete &first;  // the default session leaves: the next one takes over
  EXPECT_EQ(DefaultSession(), &second);
  delete &second;  // the engine's last session: the engine is default no more
  EXPECT_EQ(FindDefaultCommsEngine(), FindAutoCommsEngine());
}

TEST_F(LayerTest, SearchesFindSessionsAcrossEnginesTheLastAddedFirst) {
  Engine("engine");
  TqdSession& mine = Session("mine", "engine");
  EXPECT_EQ(FindSession("MINE"), &mine);
  EXPECT_EQ(FindSession("none"), nullptr);
  EXPECT_EQ(FindCommsEngine("ENGINE")->Children().Count(), 1);
  auto& database = CreateComponent<TqdDatabase>(form_);
  database.SetSessionName("mine");
  database.SetDatabaseName("Books");
  EXPECT_EQ(database.OwningSession(), &mine);
  EXPECT_TRUE(IsDatabaseName(&mine, "books"));
  EXPECT_FALSE(IsDatabaseName(nullptr, "books"));
  EXPECT_EQ(FindDatabase(&mine, "BOOKS", false), &database);
  EXPECT_EQ(FindDatabase(&mine, "other", false), nullptr);
  EXPECT_FALSE(IsAliasName(nullptr, "Books"));
}

TEST_F(LayerTest, NewNodesTakeTheDefaultNames) {
  TqdSession session(nullptr);
  EXPECT_EQ(session.CommsEngineName(), "[automatic]");
  EXPECT_EQ(session.Level(), 2);
  TqdDatabase database(nullptr);
  EXPECT_EQ(database.SessionName(), "[automatic]");
  EXPECT_EQ(database.Level(), 3);
  session.SetCommsEngineName("nowhere");  // not attached any more
  EXPECT_EQ(session.CommsEngineName(), "nowhere");
}

TEST_F(LayerTest, NamesInUseAreRefusedWithTheirTexts) {
  Engine("engine");
  Session("taken", "engine");
  auto& database = CreateComponent<TqdDatabase>(form_);
  database.SetDatabaseName("Books");
  database.Parent();
  auto& another = CreateComponent<TqdDatabase>(form_);
  struct Case {
    const char* what;
    std::function<void()> action;
    std::string message;
  };
  const Case cases[] = {
      {"engine", [&] { Engine("ENGINE"); }, "Quilldrive: Comms Engine name [ENGINE] already exists [no error code]"},
      {"session", [&] { CreateComponent<TqdSession>(form_).SetSessionName("[Automatic]"); },
       "Quilldrive: Session name [[Automatic]] already exists [no error code]"},
      {"database", [&] { another.SetDatabaseName("books"); },
       "Quilldrive: Database name books already exists [no error code]"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.action), c.message) << c.what;
  database.SetDatabaseName("Books");  // its own name again
  EXPECT_EQ(database.DatabaseName(), "Books");
}

TEST_F(LayerTest, ADatabaseWithoutASessionNameOrDefaultSessionCannotOpen) {
  delete FindAutoCommsEngine()->Sessions(0);
  ASSERT_EQ(FindDefaultSession(), nullptr);
  auto& database = CreateComponent<TqdDatabase>(form_);
  database.SetName("qdDatabase");
  database.SetDatabaseName("Books");
  EXPECT_EQ(database.SessionName(), "");
  EXPECT_EQ(ErrorOf([&] { database.SetConnected(true); }),
            "Quilldrive: qdDatabase: Cannot open DB object without specifying an owner name [no error code]");
  EXPECT_EQ(ErrorOf([&] { database.OwningSession(); }),
            "Quilldrive: qdDatabase: Database [Books] has no owning session [no error code]");
}

TEST_F(LayerTest, AnOpenEngineRefusesNewTransportSettings) {
  TqdCommsEngine& engine = Engine("engine");
  engine.SetProtocol(TqdProtocolType::ptSingleUser);
  engine.SetServerName(std::string(70, 's'));
  engine.SetUserName(std::string(40, 'u'));
  EXPECT_EQ(engine.ServerName().size(), 63u);
  EXPECT_EQ(engine.UserName().size(), 31u);
  engine.SetActive(true);
  ASSERT_NE(engine.ClientCommsEngine(), nullptr);
  const std::string inactive =
      "Quilldrive: <unnamed TqdCommsEngine instance>: The Comms Engine must be inactive before performing this "
      "operation [no error code]";
  EXPECT_EQ(ErrorOf([&] { engine.SetServerName("x"); }), inactive);
  EXPECT_EQ(ErrorOf([&] { engine.SetUserName("x"); }), inactive);
  EXPECT_EQ(ErrorOf([&] { engine.SetProtocol(TqdProtocolType::ptTCPIP); }), inactive);
  engine.SetActive(false);
  EXPECT_EQ(engine.ClientCommsEngine(), nullptr);
}

TEST(LayerLifetimeTest, WithoutTheLayerThereIsNoDefaultEngine) {
  EXPECT_EQ(CommsEngines(), nullptr);
  EXPECT_EQ(FindDefaultSession(), nullptr);
  EXPECT_EQ(ErrorOf([] { DefaultCommsEngine(); }), "Quilldrive: There is no default comms engine [no error code]");
  EXPECT_THROW(TqdSession(nullptr), EqdDatabaseError);
  InitializeComponentLayer();
  TqdComponent form(nullptr);
  auto& kept = CreateComponent<TqdSession>(form);  // outlives the layer
  kept.SetSessionName("kept");
  kept.Parent();
  FinalizeComponentLayer();
  EXPECT_EQ(CommsEngines(), nullptr);
  EXPECT_EQ(kept.AttachedParent(), nullptr);
}

}  // namespace
}  // namespace qd
