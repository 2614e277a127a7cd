#include <gtest/gtest.h>

#include <functional>

#include "core_fixture.h"
#include "server/record_writer.h"
#include "server/server_results.h"

namespace qd {
namespace {

using test::CoreTest;
using test::TableRequest;

class CoreTablesTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    c_ = harness_->LoggedIn();
    db_ = harness_->OpenDatabase(c_, "sales");
  }
  std::vector<uint8_t> OpenTableRequest(const std::string& table, const std::string& index, int32_t id) {
    std::vector<uint8_t> req(74, 0);
    PutInt32LE(req.data(), db_);
    PutShortString(req.data() + 4, table, 31);
    PutShortString(req.data() + 36, index, 31);
    PutInt32LE(req.data() + 68, id);
    req[72] = 1;
    req[73] = 1;
    return req;
  }
  // Opens Orders on index `id` and answers the cursor id (0 on failure).
  int32_t OpenOrders(TqdCoreConnection c, int32_t db, const std::string& index = "", int32_t id = 0) {
    auto req = OpenTableRequest("Orders", index, id);
    PutInt32LE(req.data(), db);
    auto r = harness_->Request(c, msgOpenTable, req);
    return r.Result == 0 ? GetInt32LE(r.Data.data()) : 0;
  }
  static std::vector<uint8_t> SwitchRequest(int32_t cursor, const std::string& index, int32_t id) {
    std::vector<uint8_t> req(41, 0);
    PutInt32LE(req.data(), cursor);
    PutShortString(req.data() + 4, index, 31);
    PutInt32LE(req.data() + 36, id);
    req[40] = 1;
    return req;
  }
  std::vector<uint8_t> StoredDictionary() {
    TqdTableStore store(salesDir_);
    return store.DictionaryBytes(*store.FindTable("Orders"));
  }
  TqdCoreConnection c_ = 0;
  int32_t db_ = 0;
};

TEST_F(CoreTablesTest, TableListRows) {
  std::vector<uint8_t> req(40, 0);
  PutInt32LE(req.data(), db_);
  auto r = harness_->Request(c_, msgGetTableList, req);
  EXPECT_EQ(r.Result, 0);
  EXPECT_EQ(r.DataKind, 1);
  ASSERT_EQ(r.Data.size(), 48u);
  EXPECT_EQ(GetShortString(r.Data.data(), 31), "Orders");
  EXPECT_EQ(GetShortString(r.Data.data() + 32, 3), "QDD");
  EXPECT_EQ(GetInt32LE(r.Data.data() + 36), 40);
  EXPECT_EQ(GetInt32LE(r.Data.data() + 40), 10);
  EXPECT_EQ(GetInt32LE(r.Data.data() + 44), 5);
  PutShortString(req.data() + 4, "x*", 35);
  EXPECT_TRUE(harness_->Request(c_, msgGetTableList, req).Data.empty());
  PutInt32LE(req.data(), 999);
  EXPECT_EQ(harness_->Request(c_, msgGetTableList, req).Result, qdErrUnknownDB);
}

TEST_F(CoreTablesTest, OpenTableReplyIsCursorDictionaryAndIndex) {
  auto r = harness_->Request(c_, msgOpenTable, OpenTableRequest("C:\\DATA\\ORDERS.DAT", "", 2));
  ASSERT_EQ(r.Result, 0);
  EXPECT_EQ(r.DataKind, 1);
  auto dict = StoredDictionary();
  ASSERT_EQ(r.Data.size(), 4 + dict.size() + 4);
  int32_t cursor = GetInt32LE(r.Data.data());
  EXPECT_GT(cursor, 0);
  EXPECT_TRUE(std::equal(dict.begin(), dict.end(), r.Data.begin() + 4));
  EXPECT_EQ(GetInt32LE(r.Data.data() + 4 + dict.size()), 2);
  // By name the name wins over the id.
  auto byName = harness_->Request(c_, msgOpenTable, OpenTableRequest("orders", "byamountdesc", 0));
  EXPECT_EQ(GetInt32LE(byName.Data.data() + 4 + dict.size()), 3);
  EXPECT_EQ(harness_->Request(c_, msgCloseCursor, Int32Reply(cursor)).Result, 0);
  EXPECT_EQ(harness_->Request(c_, msgCloseCursor, Int32Reply(cursor)).Result, qdErrInvalidHandle);
}

// Orders' indexes: 0 sequential, 1 ById, 2 ByName, 3 ByAmountDesc, 4 ByNameDay.
TEST_F(CoreTablesTest, SwitchToIndexByNameOrId) {
  int32_t cursor = OpenOrders(c_, db_, "byamountdesc");
  ASSERT_NE(cursor, 0);
  EXPECT_EQ(harness_->Core().CursorIndex(c_, cursor), 3);  // the index the open chose
  struct Case {
    const char* Name;
    int32_t Id;
    uint16_t Result;
    int32_t IndexAfter;  // a refused switch leaves the cursor where it was
  };
  const Case cases[] = {
      {"", 1, qdOK, 1},
      {"BYNAME", 0, qdOK, 2},
      {"bynameday", 1, qdOK, 4},  // a name wins over the id
      {"", 0, qdOK, 0},
      {"ByAmountDesc", 77, qdOK, 3},
      {"Nope", 1, qdErrNoSuchIndex, 3},
      {"", 5, qdErrNoSuchIndex, 3},
      {"", -1, qdErrNoSuchIndex, 3},
      {"ByName ", 0, qdErrNoSuchIndex, 3},
  };
  for (const Case& k : cases) {
    auto r = harness_->Request(c_, msgSwitchToIndex, SwitchRequest(cursor, k.Name, k.Id));
    EXPECT_EQ(r.Msg, msgSwitchToIndex);
    EXPECT_EQ(r.Result, k.Result) << "'" << k.Name << "' " << k.Id;
    EXPECT_TRUE(r.Data.empty()) << "'" << k.Name << "' " << k.Id;
    EXPECT_EQ(harness_->Core().CursorIndex(c_, cursor), k.IndexAfter) << "'" << k.Name << "' " << k.Id;
  }
}

// Only the connection that opened a cursor may move it; a record too short
// to hold the request is not read at all.
TEST_F(CoreTablesTest, SwitchToIndexRefusesForeignUnknownAndShort) {
  int32_t cursor = OpenOrders(c_, db_, "", 2);
  ASSERT_NE(cursor, 0);
  TqdCoreConnection other = harness_->LoggedIn();
  int32_t otherDb = harness_->OpenDatabase(other, "sales");
  ASSERT_NE(OpenOrders(other, otherDb), 0);
  int32_t closed = OpenOrders(c_, db_);
  ASSERT_EQ(harness_->Request(c_, msgCloseCursor, Int32Reply(closed)).Result, 0);
  struct Case {
    const char* What;
    TqdCoreConnection Connection;
    std::vector<uint8_t> Request;
    uint16_t Result;
  };
  auto shortRequest = SwitchRequest(cursor, "ById", 1);
  shortRequest.pop_back();
  const Case cases[] = {
      {"foreign cursor", other, SwitchRequest(cursor, "ById", 1), qdErrInvalidHandle},
      {"unknown cursor", c_, SwitchRequest(12345, "ById", 1), qdErrInvalidHandle},
      {"closed cursor", c_, SwitchRequest(closed, "", 1), qdErrInvalidHandle},
      {"short request", c_, shortRequest, qdErrInvalidParam},
      {"empty request", c_, {}, qdErrInvalidParam},
  };
  for (const Case& k : cases) {
    auto r = harness_->Request(k.Connection, msgSwitchToIndex, k.Request);
    EXPECT_EQ(r.Msg, msgSwitchToIndex) << k.What;
    EXPECT_EQ(r.Result, k.Result) << k.What;
    EXPECT_EQ(harness_->Core().CursorIndex(c_, cursor), 2) << k.What;
  }
  EXPECT_EQ(harness_->Core().CursorIndex(other, cursor), std::nullopt);
}

// The index is looked up on a worker; a cursor closed meanwhile is not
// brought back by the answer.
TEST_F(CoreTablesTest, SwitchToIndexOfACursorClosedMeanwhile) {
  int32_t cursor = OpenOrders(c_, db_);
  ASSERT_NE(cursor, 0);
  harness_->Core().OnRequest(c_, {msgSwitchToIndex, 0, false, SwitchRequest(cursor, "ById", 0)});
  auto closed = harness_->Request(c_, msgCloseCursor, Int32Reply(cursor));
  EXPECT_EQ(closed.Msg, msgCloseCursor);
  EXPECT_EQ(closed.Result, qdOK);
  auto r = harness_->NextReply();
  EXPECT_EQ(r.Msg, msgSwitchToIndex);
  EXPECT_EQ(r.Result, qdErrInvalidHandle);
  EXPECT_EQ(harness_->Core().CursorIndex(c_, cursor), std::nullopt);
}

TEST_F(CoreTablesTest, OpenTableFailures) {
  EXPECT_EQ(harness_->Request(c_, msgOpenTable, OpenTableRequest("Missing", "", 0)).Result, qdErrNoSuchTable);
  EXPECT_EQ(harness_->Request(c_, msgOpenTable, OpenTableRequest("Orders", "", 9)).Result, qdErrNoSuchIndex);
  EXPECT_EQ(harness_->Request(c_, msgOpenTable, OpenTableRequest("Orders", "Nope", 0)).Result, qdErrNoSuchIndex);
}

TEST_F(CoreTablesTest, DictionaryIsTheStoredStream) {
  auto r = harness_->Request(c_, msgGetDictionary, TableRequest(db_, "ORDERS"));
  EXPECT_EQ(r.Result, 0);
  EXPECT_EQ(r.DataKind, 1);
  EXPECT_EQ(r.Data, StoredDictionary());
  EXPECT_EQ(harness_->Request(c_, msgGetDictionary, TableRequest(db_, "Missing")).Result, qdErrNoSuchTable);
}

TEST_F(CoreTablesTest, RestructureCreatesFromTheDictionaryStream) {
  auto build = [&](const std::string& name, bool overwrite, std::vector<uint8_t> dict) {
    std::vector<uint8_t> req(37, 0);
    PutInt32LE(req.data(), db_);
    req[4] = overwrite;
    PutShortString(req.data() + 5, name, 31);
    req.insert(req.end(), dict.begin(), dict.end());
    return req;
  };
  auto dict = StoredDictionary();
  EXPECT_EQ(harness_->Request(c_, msgRestructureTable, build("New", false, dict), true).Result, 0);
  EXPECT_EQ(harness_->Request(c_, msgRestructureTable, build("new", false, dict), true).Result, qdErrTableExists);
  EXPECT_EQ(harness_->Request(c_, msgRestructureTable, build("New", true, dict), true).Result, 0);
  EXPECT_EQ(harness_->Request(c_, msgGetDictionary, TableRequest(db_, "New")).Data, dict);
  std::vector<uint8_t> cut(dict.begin(), dict.begin() + static_cast<long>(dict.size() / 2));
  EXPECT_EQ(harness_->Request(c_, msgRestructureTable, build("Bad", false, cut), true).Result, qdErrInvalidRecStruct);
  std::vector<uint8_t> noise(200, 0x04);
  EXPECT_EQ(harness_->Request(c_, msgRestructureTable, build("Bad", false, noise), true).Result, qdErrInvalidRecStruct);
  EXPECT_EQ(harness_->Request(c_, msgRestructureTable, build("", false, dict), true).Result, qdErrInvalidTableName);
}

// A table's records are described by its data file, which must be file 0:
// a dictionary without one, or with a BLOB file in its place, is refused.
TEST_F(CoreTablesTest, RestructureRefusesADictionaryWhoseFileZeroIsNotTheDataFile) {
  struct Case {
    const char* What;
    std::function<void(TqdDataDictionary&)> Files;
  };
  const Case cases[] = {
      {"no file", [](TqdDataDictionary&) {}},
      {"a BLOB file first",
       [](TqdDataDictionary& d) { d.AddFile("blobs", "BLB", 4096, kFileTypeBlob); }},
      {"two BLOB files", [](TqdDataDictionary& d) {
         d.AddFile("blobs", "BLB", 4096, kFileTypeBlob);
         d.AddFile("more", "BL2", 4096, kFileTypeBlob);
       }},
  };
  for (const Case& c : cases) {
    TqdDataDictionary d;
    d.ClearAll(true);
    c.Files(d);
    d.AddField("Id", "", fkInt32, 10, 0, true);
    TqdMemoryStream stream;
    d.SaveToStream(stream);
    std::vector<uint8_t> req(37, 0);
    PutInt32LE(req.data(), db_);
    PutShortString(req.data() + 5, "Odd", 31);
    req.insert(req.end(), stream.Bytes().begin(), stream.Bytes().end());
    EXPECT_EQ(harness_->Request(c_, msgRestructureTable, req, true).Result, qdErrInvalidRecStruct)
        << c.What;
    EXPECT_EQ(harness_->Request(c_, msgGetDictionary, TableRequest(db_, "Odd")).Result,
              qdErrNoSuchTable)
        << c.What;
  }
}

TEST_F(CoreTablesTest, RenameEmptyDeleteIndexAndDeleteTable) {
  std::vector<uint8_t> rename(68, 0);
  PutInt32LE(rename.data(), db_);
  PutShortString(rename.data() + 4, "Orders", 31);
  PutShortString(rename.data() + 36, "Sales", 31);
  EXPECT_EQ(harness_->Request(c_, msgRenameTable, rename).Result, 0);
  EXPECT_EQ(harness_->Request(c_, msgRenameTable, rename).Result, qdErrNoSuchTable);

  std::vector<uint8_t> drop(76, 0);
  PutInt32LE(drop.data(), db_);
  PutShortString(drop.data() + 8, "Sales", 31);
  PutShortString(drop.data() + 40, "ByName", 31);
  EXPECT_EQ(harness_->Request(c_, msgDeleteIndex, drop).Result, 0);
  EXPECT_EQ(harness_->Request(c_, msgDeleteIndex, drop).Result, qdErrNoSuchIndex);

  std::vector<uint8_t> empty(40, 0);
  PutInt32LE(empty.data(), db_);
  PutShortString(empty.data() + 8, "Sales", 31);
  EXPECT_EQ(harness_->Request(c_, msgEmptyTable, empty).Result, 0);
  std::vector<uint8_t> byCursor(40, 0);
  PutInt32LE(byCursor.data(), db_);
  PutInt32LE(byCursor.data() + 4, 12345);
  EXPECT_EQ(harness_->Request(c_, msgEmptyTable, byCursor).Result, qdErrInvalidHandle);

  EXPECT_EQ(harness_->Request(c_, msgDeleteTable, TableRequest(db_, "Sales")).Result, 0);
  EXPECT_EQ(harness_->Request(c_, msgDeleteTable, TableRequest(db_, "Sales")).Result, qdErrNoSuchTable);
  EXPECT_EQ(harness_->Request(c_, msgDeleteTable, TableRequest(999, "Sales")).Result, qdErrUnknownDB);
}

// A table that a cursor of another connection holds locked is not
// rebuilt, packed, deleted, emptied or renamed under it; its own holder
// may, and once the lock goes everyone may.
TEST_F(CoreTablesTest, ALockedTableRefusesTheOthersMaintenance) {
  TqdCoreConnection other = harness_->LoggedIn();
  int32_t otherDb = harness_->OpenDatabase(other, "sales");
  int32_t cursor = OpenOrders(other, otherDb);
  ASSERT_GT(cursor, 0);
  std::vector<uint8_t> lock(5, 0);
  PutInt32LE(lock.data(), cursor);
  lock[4] = 1;  // a read lock
  ASSERT_EQ(harness_->Request(other, msgAcqTableLock, lock).Result, 0);
  std::vector<uint8_t> rename(68, 0);
  PutInt32LE(rename.data(), db_);
  PutShortString(rename.data() + 4, "Orders", 31);
  PutShortString(rename.data() + 36, "Orders2", 31);
  std::vector<uint8_t> empty(40, 0);  // db, cursor (none), table
  PutInt32LE(empty.data(), db_);
  PutShortString(empty.data() + 8, "Orders", 31);
  std::vector<uint8_t> reindex = TableRequest(db_, "Orders", 72);
  PutInt32LE(reindex.data() + 68, 1);
  const std::pair<TqdMsgID, std::vector<uint8_t>> refused[] = {
      {msgPackTable, TableRequest(db_, "Orders")}, {msgReindexTable, reindex}, {msgDeleteTable, TableRequest(db_, "Orders")},
      {msgEmptyTable, empty}, {msgRenameTable, rename}};
  for (const auto& [msg, req] : refused) EXPECT_EQ(harness_->Request(c_, msg, req).Result, qdErrTableBusy) << msg;
  auto own = harness_->Request(other, msgPackTable, TableRequest(otherDb, "Orders"));
  EXPECT_EQ(own.Result, 0);
  std::vector<uint8_t> release(6, 0);
  PutInt32LE(release.data(), cursor);
  release[4] = 1;  // all
  ASSERT_EQ(harness_->Request(other, msgRelTableLock, release).Result, 0);
  ASSERT_TRUE(harness_->PumpUntil([&] { return harness_->Core().Tasks().UnfinishedCount() == 0; }));
  EXPECT_EQ(harness_->Request(c_, msgRenameTable, rename).Result, 0);
}

// A transaction that has changed something holds the store until it ends:
// the other clients' changes and maintenance are refused meanwhile, and a
// connection lost in the middle rolls it back.
TEST_F(CoreTablesTest, ALostConnectionRollsItsTransactionBack) {
  const int32_t mine = OpenOrders(c_, db_);
  TqdCoreConnection other = harness_->LoggedIn();
  const int32_t otherDb = harness_->OpenDatabase(other, "sales");
  const int32_t theirs = OpenOrders(other, otherDb);
  ASSERT_GT(mine, 0);
  ASSERT_GT(theirs, 0);
  auto insert = [&](TqdCoreConnection c, int32_t cursor, int32_t id) {
    TqdRecordWriter writer(*dict_);
    writer.SetInteger(0, id);
    std::vector<uint8_t> req(13, 0);
    PutInt32LE(req.data(), cursor);
    PutInt32LE(req.data() + 4, static_cast<int32_t>(writer.Bytes().size()));
    req.insert(req.end(), writer.Bytes().begin(), writer.Bytes().end());
    return harness_->Request(c, msgInsertRecord, req).Result;
  };
  std::vector<uint8_t> begin(5, 0);
  PutInt32LE(begin.data(), db_);
  auto began = harness_->Request(c_, msgBeginTran, begin);
  ASSERT_EQ(began.Result, 0);
  EXPECT_EQ(harness_->Request(c_, msgBeginTran, begin).Result, qdErrActiveTran);
  ASSERT_EQ(insert(c_, mine, 900), 0);
  EXPECT_EQ(insert(other, theirs, 901), qdErrTableBusy);
  EXPECT_EQ(harness_->Request(other, msgPackTable, TableRequest(otherDb, "Orders")).Result, qdErrTableBusy);

  harness_->Core().RemoveConnection(c_);
  EXPECT_EQ(insert(other, theirs, 901), 0);
  auto count = harness_->Request(other, msgGetRecordCount, Int32Reply(theirs));
  ASSERT_EQ(count.Data.size(), 4u);
  EXPECT_EQ(GetInt32LE(count.Data.data()), 41);  // 40, and 901; 900 went with its transaction
}

// A table another client opened to itself cannot be opened here nor be
// maintained; once its cursor closes, both work.
TEST_F(CoreTablesTest, ATableOpenedExclusivelyKeepsOthersOut) {
  TqdCoreConnection other = harness_->LoggedIn();
  const int32_t otherDb = harness_->OpenDatabase(other, "sales");
  auto exclusive = OpenTableRequest("Orders", "", 0);
  PutInt32LE(exclusive.data(), otherDb);
  exclusive[73] = 0;  // not shared
  auto opened = harness_->Request(other, msgOpenTable, exclusive);
  ASSERT_EQ(opened.Result, 0);
  const int32_t cursor = GetInt32LE(opened.Data.data());
  EXPECT_EQ(harness_->Request(c_, msgOpenTable, OpenTableRequest("Orders", "", 0)).Result, qdErrNoExclusiveAccess);
  EXPECT_EQ(harness_->Request(c_, msgPackTable, TableRequest(db_, "Orders")).Result, qdErrTableBusy);
  ASSERT_EQ(harness_->Request(other, msgCloseCursor, Int32Reply(cursor)).Result, 0);
  EXPECT_GT(OpenOrders(c_, db_), 0);
}

}  // namespace
}  // namespace qd
