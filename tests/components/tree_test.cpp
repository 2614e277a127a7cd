// The component tree without a server: counted opens, parents opened first,
// the errors of a node that cannot open, the children list, deferred opens
// while a form is read, and what freeing a node does to its children.
#include <gtest/gtest.h>

#include <memory>

#include "base/QDLLExcp.h"
#include "components/QDDBBase.h"
#include "error_text.h"
#include "test_node.h"

namespace qd {
namespace {

using test::ErrorOf;
using test::TestNode;

TEST(TreeTest, OpensAreCountedAndAClosedNodeClosesAgain) {
  TestNode engine(nullptr, 1, "engine", "");
  engine.SetActive(true);
  engine.SetActive(true);
  engine.SetActive(false);
  EXPECT_TRUE(engine.Active());
  EXPECT_EQ(engine.OpenCount(), 1);
  engine.SetActive(false);
  EXPECT_FALSE(engine.Active());
  engine.SetActive(false);  // closed already: its close steps run again
  EXPECT_EQ(engine.OpenCount(), 0);
  EXPECT_EQ(engine.Opens(), 1);
  EXPECT_EQ(engine.Closes(), 2);
  engine.SetActive(true);
  engine.SetActive(true);
  engine.ForceClose();
  EXPECT_EQ(engine.OpenCount(), 0);
  EXPECT_FALSE(engine.Active());
}

TEST(TreeTest, AChildOpensItsParentFirstAndAClosingParentClosesItsChildren) {
  std::vector<std::string> log;
  TestNode engine(nullptr, 1, "engine", "", &log);
  TestNode session(nullptr, 2, "session", "ENGINE", &log);  // parent names match without regard to case
  TestNode database(nullptr, 3, "db", "session", &log);
  database.SetActive(true);
  EXPECT_EQ(session.AttachedParent(), &engine);
  EXPECT_EQ(session.ParentName(), "engine");
  EXPECT_EQ(engine.OpenCount(), 1);
  EXPECT_EQ(session.OpenCount(), 1);
  database.SetActive(true);  // already open: nothing more below it
  engine.SetActive(false);
  EXPECT_FALSE(session.Active());
  EXPECT_FALSE(database.Active());
  EXPECT_EQ(log, (std::vector<std::string>{"open engine", "open session", "open db", "close db", "close session",
                                           "close engine"}));
}

TEST(TreeTest, ANodeThatCannotOpenSaysWhyWithItsName) {
  struct Case {
    const char* what;
    const char* componentName;
    const char* ownName;
    const char* parentName;
    std::string message;
  };
  const Case cases[] = {
      {"no own name", "", "", "engine",
       "Quilldrive: <unnamed TestNode instance>: Cannot open DB object without specifying a DB name [no error code]"},
      {"no parent name", "Db1", "sales", "",
       "Quilldrive: Db1: Cannot open DB object without specifying an owner name [no error code]"},
      {"no such parent", "Db1", "sales", "nowhere",
       "Quilldrive: Db1: The TestNode object [sales] has no owner in the database heirarchy or it cannot be found "
       "[no error code]"},
  };
  for (const Case& c : cases) {
    TestNode node(nullptr, 3, c.ownName, c.parentName);
    node.SetName(c.componentName);
    EXPECT_EQ(ErrorOf([&] { node.SetActive(true); }), c.message) << c.what;
    EXPECT_FALSE(node.Active()) << c.what;
  }
  TestNode open(nullptr, 1, "engine", "");
  open.SetActive(true);
  EXPECT_EQ(ErrorOf([&] { open.CheckInactive(false); }),
            "Quilldrive: <unnamed TestNode instance>: This DB object must be closed before performing this "
            "operation [no error code]");
  open.CheckInactive(true);
  EXPECT_FALSE(open.Active());
}

TEST(TreeTest, AParentThatFailsToOpenLeavesTheChildClosed) {
  TestNode engine(nullptr, 1, "engine", "");
  TestNode session(nullptr, 2, "session", "engine");
  engine.FailOpen(true);
  EXPECT_THROW(session.SetActive(true), std::runtime_error);
  EXPECT_EQ(session.OpenCount(), 0);
  EXPECT_EQ(engine.OpenCount(), 0);
  engine.FailOpen(false);
  session.SetActive(true);
  EXPECT_EQ(session.OpenCount(), 1);
}

TEST(TreeTest, ANewParentNameClosesAndDetachesTheNode) {
  TestNode first(nullptr, 1, "first", "");
  TestNode second(nullptr, 1, "second", "");
  TestNode session(nullptr, 2, "session", "first");
  session.SetActive(true);
  session.SetParentName("FIRST");  // the same name: nothing happens
  EXPECT_TRUE(session.Active());
  session.SetParentName("second");
  EXPECT_FALSE(session.Active());
  EXPECT_EQ(session.AttachedParent(), nullptr);
  EXPECT_EQ(first.Children().Count(), 0);
  EXPECT_EQ(session.Parent(), &second);
  EXPECT_EQ(second.Children().Count(), 1);
}

TEST(TreeTest, TheListFindsTheLastAddedOfANameAndRefusesAPositionOutside) {
  TqdDBList list;
  TestNode a(nullptr, 1, "Same", ""), b(nullptr, 1, "same", ""), c(nullptr, 1, "other", "");
  list.Add(&a);
  list.Add(&b);
  list.Add(&c);
  EXPECT_EQ(list.FindByName("SAME"), &b);
  EXPECT_EQ(list.FindByName("none"), nullptr);
  list.Remove(&b);
  list.Remove(&b);  // not there any more: nothing happens
  EXPECT_EQ(list.FindByName("same"), &a);
  EXPECT_EQ(list.IndexOf(&c), 1);
  EXPECT_EQ(ErrorOf([&] { list.Items(2); }),
            "Quilldrive: TqdDBList.GetItem could not find item requested [no error code]");
  list.SetThreadSafe(true);
  EXPECT_TRUE(list.ThreadSafe());
  EXPECT_EQ(list.Items(1), &c);
  list.SetThreadSafe(false);
  EXPECT_FALSE(list.ThreadSafe());
  list.Remove(&a);
  list.Remove(&c);
}

TEST(TreeTest, OpensWhileAFormIsReadRunAtLoadedByLevelTheLastAddedFirst) {
  std::vector<std::string> log;
  TqdComponent form(nullptr);
  BeginReadingForm(form);
  auto& tableA = CreateComponent<TestNode>(form, 4, "tableA", "db", &log);
  auto& db = CreateComponent<TestNode>(form, 3, "db", "session", &log);
  auto& tableB = CreateComponent<TestNode>(form, 4, "tableB", "db", &log);
  auto& session = CreateComponent<TestNode>(form, 2, "session", "engine", &log);
  auto& engine = CreateComponent<TestNode>(form, 1, "engine", "", &log);
  for (TestNode* node : {&tableA, &db, &tableB, &session}) node->SetActive(true);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(PendingOpenCount(), 4u);
  EXPECT_TRUE(tableA.OpenPending());
  EndReadingForm(form);
  // The engine was never asked to open: its session opened it.
  EXPECT_EQ(log, (std::vector<std::string>{"open engine", "open session", "open db", "open tableB", "open tableA"}));
  EXPECT_EQ(PendingOpenCount(), 0u);
  EXPECT_FALSE(tableA.OpenPending());
  EXPECT_EQ(engine.OpenCount(), 1);
  EXPECT_EQ(db.OpenCount(), 1);  // a child opens its parent only when it is closed
}

TEST(TreeTest, ANodeDeferringItsOpensWaitsForItsLoaded) {
  TestNode engine(nullptr, 1, "engine", "");
  engine.SetDeferring(true);
  engine.SetActive(true);
  EXPECT_FALSE(engine.Active());
  EXPECT_TRUE(IsPendingOpen(&engine));
  engine.Loaded();
  EXPECT_TRUE(engine.Active());
  EXPECT_FALSE(engine.Deferring());
}

TEST(TreeTest, AFreedNodeFreesTheChildrenItMadeAndOnlyLetsGoOfTheOthers) {
  TqdComponent form(nullptr);
  bool ownedFreed = false, madeFreed = false;
  auto* engine = new TestNode(nullptr, 1, "engine", "");
  auto& owned = CreateComponent<TestNode>(form, 2, "owned", "engine");
  auto* made = new TestNode(nullptr, 2, "made", "engine");  // its parent frees it
  owned.NoteFreeIn(&ownedFreed);
  made->NoteFreeIn(&madeFreed);
  owned.SetActive(true);
  made->SetActive(true);
  EXPECT_EQ(engine->Children().Count(), 2);
  delete engine;
  EXPECT_TRUE(madeFreed);
  EXPECT_FALSE(ownedFreed);
  EXPECT_FALSE(owned.Active());
  EXPECT_EQ(owned.AttachedParent(), nullptr);
  EXPECT_EQ(owned.ParentName(), "");
}

TEST(TreeTest, TheVersionIsTheEngineVersionWithFourDecimals) {
  TestNode node(nullptr, 1, "engine", "");
  EXPECT_EQ(node.Version(), "1.5200");
  node.SetVersion("9.9");
  EXPECT_EQ(node.Version(), "1.5200");
}

}  // namespace
}  // namespace qd
