#include <gtest/gtest.h>

#include "base/QDHash.h"
#include "core_fixture.h"
#include "server/server_results.h"

namespace qd {
namespace {

using test::CoreTest;

TEST_F(CoreTest, AttachReplyCarriesIdVersionCodeKeepAliveAndSecure) {
  TqdCoreConnection c = harness_->Core().AddConnection();
  std::vector<uint8_t> attach(kAttachRequestSize);
  EncodeAttachRequest({"tester", "DEMO"}, attach.data());
  auto r = harness_->Request(c, msgAttach, attach);
  ASSERT_EQ(r.Msg, msgAttach);
  EXPECT_EQ(r.Result, 0);
  ASSERT_EQ(r.Data.size(), 25u);
  uint32_t id = GetUInt32LE(r.Data.data());
  EXPECT_NE(id, 0u);
  EXPECT_EQ(r.ClientId, id);
  EXPECT_EQ(GetInt32LE(r.Data.data() + 4), 15200);
  int32_t code = GetInt32LE(r.Data.data() + 8);
  EXPECT_NE(code, 0);
  EXPECT_EQ(GetInt32LE(r.Data.data() + 12), 5000);
  EXPECT_EQ(GetInt32LE(r.Data.data() + 16), 2500);
  EXPECT_EQ(GetInt32LE(r.Data.data() + 20), 5);
  EXPECT_EQ(r.Data[24], 1);
  ASSERT_EQ(harness_->Output().Seeds.size(), 1u);
  EXPECT_EQ(harness_->Output().Seeds[0], code ^ static_cast<int32_t>(HashShortString("secret")));
  // A second client gets another identifier and, almost surely, another code.
  TqdCoreConnection other = harness_->Core().AddConnection();
  auto r2 = harness_->Request(other, msgAttach, attach);
  EXPECT_NE(GetUInt32LE(r2.Data.data()), id);
}

TEST_F(CoreTest, NothingButAttachDetachAndLoginBeforeLogin) {
  TqdCoreConnection c = harness_->Core().AddConnection();
  for (TqdMsgID msg : {msgGetAliasList, msgOpenSession, msgOpenDatabase, msgGetTaskStatus, msgReindexTable}) {
    auto r = harness_->Request(c, msg, std::vector<uint8_t>(300, 0));
    EXPECT_EQ(r.Msg, msg);
    EXPECT_EQ(r.Result, qdErrInvalidPassword) << msg;
  }
  EXPECT_EQ(harness_->Request(c, msgDetach).Result, 0);
}

TEST_F(CoreTest, LoginOutcomes) {
  // Right password: the login arrives readable.
  TqdCoreConnection c = harness_->LoggedIn("demo");
  EXPECT_EQ(harness_->Request(c, msgGetAliasList).Result, 0);
  // Unknown user with an empty password: readable, but refused, and hung up.
  TqdCoreConnection u = harness_->LoggedIn("nobody");
  EXPECT_TRUE(harness_->Output().WasHungUp(u));
  // A wrong password: the login part is unreadable; it is answered with the
  // client's own key bytes, and the connection is hung up.
  TqdCoreConnection w = harness_->Core().AddConnection();
  std::vector<uint8_t> attach(kAttachRequestSize);
  EncodeAttachRequest({"tester", "demo"}, attach.data());
  harness_->Request(w, msgAttach, attach);
  uint8_t garbage[24] = {9, 0, 0, 0, 24, 0, 0, 0, 0x55, 0x66};
  harness_->Core().OnUnsound(w, garbage, sizeof garbage);
  auto r = harness_->NextReply();
  EXPECT_TRUE(r.Unreadable);
  EXPECT_EQ(r.Result, qdErrInvalidPassword);
  EXPECT_TRUE(harness_->Output().WasHungUp(w));
  // Any other unreadable part drops the connection.
  TqdCoreConnection x = harness_->Core().AddConnection();
  harness_->Request(x, msgAttach, attach);
  uint8_t other[30] = {0, 1, 0, 0, 30};
  harness_->Core().OnUnsound(x, other, sizeof other);
  EXPECT_TRUE(harness_->Output().WasHungUp(x));
  EXPECT_EQ(harness_->Core().Connections(), 1u);
}

TEST_F(CoreTest, UnknownMessagesAreNotSupported) {
  TqdCoreConnection c = harness_->LoggedIn();
  for (TqdMsgID msg : {1u, 300u, 1537u, 2057u, 99999u}) {
    auto r = harness_->Request(c, msg, {1, 2, 3});
    EXPECT_EQ(r.Msg, msg);
    EXPECT_EQ(r.Result, qdErrNotSupported);
  }
}

TEST_F(CoreTest, Sessions) {
  TqdCoreConnection c = harness_->LoggedIn();
  auto open = harness_->Request(c, msgOpenSession);
  ASSERT_EQ(open.Data.size(), 4u);
  int32_t id = GetInt32LE(open.Data.data());
  EXPECT_NE(id, 0);
  EXPECT_EQ(harness_->Request(c, msgCloseSession, Int32Reply(id)).Result, 0);
  EXPECT_EQ(harness_->Request(c, msgCloseSession, Int32Reply(id)).Result, qdErrInvalidSesHandle);
  EXPECT_EQ(harness_->Request(c, msgCloseSession, Int32Reply(0)).Result, 0);
}

// Sessions, databases and cursors of one client are capped together, so a
// client opening without end cannot grow the server without end.
TEST_F(CoreTest, OpenHandlesOfAClientAreCapped) {
  TqdCoreConnection c = harness_->LoggedIn();
  int32_t db = harness_->OpenDatabase(c, "Sales");
  ASSERT_GT(db, 0);
  std::vector<uint8_t> openTable(74, 0);
  PutInt32LE(openTable.data(), db);
  PutShortString(openTable.data() + 4, "Orders", 31);
  ASSERT_EQ(harness_->Request(c, msgOpenTable, openTable, true).Result, 0);
  int32_t last = 0;
  for (size_t n = 2; n < kMaxClientHandles; ++n) {
    auto r = harness_->Request(c, msgOpenSession);
    ASSERT_EQ(r.Result, 0) << n;
    last = GetInt32LE(r.Data.data());
  }
  EXPECT_EQ(harness_->Request(c, msgOpenSession).Result, qdErrNoMemory);
  EXPECT_EQ(harness_->OpenDatabase(c, "Sales"), -1);
  EXPECT_EQ(harness_->Request(c, msgOpenTable, openTable, true).Result, qdErrNoMemory);
  EXPECT_EQ(harness_->Request(c, msgCloseSession, Int32Reply(last)).Result, 0);
  EXPECT_GT(harness_->OpenDatabase(c, "Sales"), 0);
}

TEST_F(CoreTest, AliasListRows) {
  TqdCoreConnection c = harness_->LoggedIn();
  auto r = harness_->Request(c, msgGetAliasList);
  EXPECT_EQ(r.DataKind, 1);
  ASSERT_EQ(r.Data.size(), 252u);
  EXPECT_EQ(GetShortString(r.Data.data(), 31), "Sales");
  EXPECT_EQ(GetShortString(r.Data.data() + 32, 219), salesDir_);
  EXPECT_EQ(r.Data[32 + 1 + salesDir_.size()], 0);  // zero-filled behind the text
}

TEST_F(CoreTest, OpenDatabaseIsConfined) {
  TqdCoreConnection c = harness_->LoggedIn();
  struct Case {
    std::string Path;
    bool Opens;
  };
  const Case cases[] = {
      {salesDir_, true}, {"sales", true}, {"SALES", true}, {"spare", true},
      {"", false},       {"..", false},   {"/etc", false}, {"sales/../../..", false},
      {"C:\\DATA", false},
  };
  for (const auto& k : cases) EXPECT_EQ(harness_->OpenDatabase(c, k.Path) > 0, k.Opens) << k.Path;
  auto r = harness_->Request(c, msgOpenDatabase, std::vector<uint8_t>(222, 0));
  EXPECT_EQ(r.Result, qdErrUnknownDB);
  int32_t db = harness_->OpenDatabase(c, "sales");
  EXPECT_EQ(harness_->Request(c, msgCloseDatabase, Int32Reply(db)).Result, 0);
  EXPECT_EQ(harness_->Request(c, msgCloseDatabase, Int32Reply(db)).Result, qdErrInvalidHandle);
}

TEST_F(CoreTest, AddAliasIsConfined) {
  TqdCoreConnection c = harness_->LoggedIn();
  auto add = [&](const std::string& name, const std::string& path) {
    std::vector<uint8_t> req(252, 0);
    PutShortString(req.data(), name, 31);
    PutShortString(req.data() + 32, path, 219);
    return harness_->Request(c, msgAddAlias, req).Result;
  };
  EXPECT_EQ(add("Spare", "spare"), 0);
  EXPECT_EQ(add("Spare", "spare"), 0);
  EXPECT_EQ(add("spare", "sales"), qdErrNameNotUnique);
  EXPECT_EQ(add("Out", ".."), qdErrInvalidDir);
  EXPECT_EQ(add("Out", "/tmp"), qdErrInvalidDir);
  EXPECT_EQ(add("a/b", "spare"), qdErrInvalidParam);
  auto list = harness_->Request(c, msgGetAliasList);
  EXPECT_EQ(list.Data.size(), 2 * 252u);
  EXPECT_GT(harness_->OpenDatabase(c, "Spare"), 0);
}

// Added aliases outlive their clients, so their number is capped: a client
// adding names without end cannot grow the server without end.
TEST_F(CoreTest, AddedAliasesAreCapped) {
  TqdCoreConnection c = harness_->LoggedIn();
  auto add = [&](int n) {
    std::vector<uint8_t> req(252, 0);
    PutShortString(req.data(), "A" + std::to_string(n), 31);
    PutShortString(req.data() + 32, "spare", 219);
    return harness_->Request(c, msgAddAlias, req).Result;
  };
  for (size_t n = 0; n < kMaxAddedAliases; ++n) ASSERT_EQ(add(static_cast<int>(n)), 0) << n;
  EXPECT_EQ(add(-1), qdErrNoMemory);
  EXPECT_EQ(add(0), 0);  // adding a known one again is still fine
  auto list = harness_->Request(c, msgGetAliasList);
  EXPECT_EQ(list.Data.size(), (kMaxAddedAliases + 1) * 252u);
}

struct ShortCase {
  TqdMsgID Msg;
  size_t Size;
};

TEST_F(CoreTest, ShortRecordsAreAnsweredWithAnError) {
  TqdCoreConnection c = harness_->LoggedIn();
  const ShortCase cases[] = {
      {msgCloseSession, 3},  {msgAddAlias, 251},    {msgOpenDatabase, 221}, {msgCloseDatabase, 0},
      {msgGetTableList, 39}, {msgOpenTable, 73},    {msgCloseCursor, 2},    {msgGetDictionary, 35},
      {msgRestructureTable, 36}, {msgDeleteTable, 35}, {msgRenameTable, 67}, {msgEmptyTable, 39},
      {msgDeleteIndex, 75},  {msgReindexTable, 71}, {msgPackTable, 35},     {msgAddIndex, 218},
      {msgGetTaskStatus, 3},
  };
  for (const auto& k : cases) {
    auto r = harness_->Request(c, k.Msg, std::vector<uint8_t>(k.Size, 0xFF));
    EXPECT_EQ(r.Msg, k.Msg);
    EXPECT_EQ(r.Result, qdErrInvalidParam) << k.Msg;
  }
}

}  // namespace
}  // namespace qd
