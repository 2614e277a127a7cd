// The engine's client objects without a server: what they refuse before
// sending anything (a request would answer 11271 here, as there is no
// comms engine), and the engine's own operations.
#include <gtest/gtest.h>

#include <vector>

#include "base/QDLLExcp.h"
#include "base/endian.h"
#include "callif/QDCLDbas.h"
#include "callif/QDCLSess.h"
#include "callif/QDClEng.h"
#include "callif/QDClTabl.h"
#include "callif/maintenance.h"
#include "dict/bde_desc.h"

namespace qd {
namespace {

// One option descriptor named `name` whose value is `length` bytes at 0.
std::vector<uint8_t> OptionDesc(const char* name, uint16_t length) {
  std::vector<uint8_t> desc(kFieldDescSize, 0);
  PutZeroText(desc.data() + kFldNameOffset, 31, name);
  PutUInt16LE(desc.data() + kFldLengthOffset, length);
  return desc;
}

TEST(ClientDatabaseTest, AQdPathLongerThanANameIsCut) {
  std::vector<uint8_t> desc = OptionDesc("qdpath", 1000);
  std::vector<uint8_t> value(1000, 'x');
  TQDClientDatabase db(nullptr, nullptr, nullptr, 0, 0, nullptr, 1, desc.data(), value.data(), nullptr);
  EXPECT_EQ(db.PhysicalName(), std::string(260, 'x'));
  EXPECT_EQ(db.GetDbType(), "STANDARD");
}

TEST(ClientDatabaseTest, IndexesWithMoreThanSixteenKeyFieldsAreRefused) {
  std::vector<uint8_t> field(kFieldDescSize, 0);
  PutZeroText(field.data() + kFldNameOffset, 31, "Id");
  PutUInt16LE(field.data() + kFldTypeOffset, 6);  // 32-bit integer
  std::vector<uint8_t> index(kIndexDescSize, 0);
  PutZeroText(index.data() + kIdxNameOffset, 260, "Wide");
  PutUInt16LE(index.data() + kIdxKeyFieldCountOffset, 17);
  for (int k = 0; k < 16; ++k) PutUInt16LE(index.data() + kIdxKeyFieldsOffset + 2 * k, 1);
  TQDClientDatabase db(nullptr, nullptr, nullptr, 0, 0, nullptr, 0, nullptr, nullptr, nullptr);
  TqdCreateTableDesc table{.TableName = "T", .FieldCount = 1, .FieldDescs = field.data(), .IndexCount = 1,
                           .IndexDescs = index.data()};
  EXPECT_EQ(db.CreateTable(false, table), qdErrInvalidParam);
  PutUInt16LE(index.data() + kIdxKeyFieldCountOffset, 1);
  EXPECT_EQ(db.CreateTable(false, table), qdErrNetUnknown);  // built and sent, to no engine

  TQDClientTable cursor(&db, &db.Cursors(), "T", nullptr, 0, 0, 0, 0, nullptr);
  PutUInt16LE(index.data() + kIdxKeyFieldCountOffset, 17);
  EXPECT_EQ(cursor.AddIndex(index.data(), nullptr), qdErrInvalidParam);
}

TEST(ClientDatabaseTest, TransactionsOneAtATime) {
  TQDClientDatabase db(nullptr, nullptr, nullptr, 0, 0, nullptr, 0, nullptr, nullptr, nullptr);
  void* transaction = nullptr;
  EXPECT_EQ(db.BeginTran(0, transaction), qdErrNetUnknown);
  EXPECT_EQ(db.TransactionState(), 0);
  // Nothing to end: answered here, no id that names no transaction is sent.
  EXPECT_EQ(db.EndTran(transaction, 0), qdErrNoActiveTran);
  EXPECT_EQ(db.DeleteIndex(nullptr, "T", nullptr, "", nullptr, 0), qdErrIndexReadOnly);
  EXPECT_EQ(db.SetDirectory(nullptr), qdErrInvalidHandle);
}

TEST(MaintenanceTest, AbsentFreedOrForeignObjects) {
  int32_t task = 3;
  bool finished = false;
  TaskStatus status;
  EXPECT_EQ(ReIndexTable(nullptr, "T", 1, task), qdErrInvalidHandle);
  EXPECT_EQ(task, 3);
  auto* db = new TQDClientDatabase(nullptr, nullptr, nullptr, 0, 0, nullptr, 0, nullptr, nullptr, nullptr);
  hDBIDb handle = db->Handle();
  EXPECT_EQ(PackTable(handle, "T", task), qdErrNetUnknown);
  EXPECT_EQ(task, kNoTask);
  EXPECT_THROW(GetTaskStatus(handle, 1, finished, status), EqdClientException);
  TqdRecord<kIndexDescriptorSize> descriptor{};
  EXPECT_EQ(AddIndex(handle, descriptor, task), qdErrInvalidHandle);  // a database is no cursor
  delete db;
  EXPECT_EQ(PackTable(handle, "T", task), qdErrInvalidHandle);  // freed
}

class EngineTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(StartClientEngine(), qdOK); }
  void TearDown() override { StopClientEngine(); }
  TqdClientEngine& Engine() { return *ClientEngine(); }
};

TEST_F(EngineTest, StartTwiceAndTheEngineProperty) {
  EXPECT_EQ(StartClientEngine(), qdErrMultipleInit);
  EXPECT_EQ(Engine().SetProp(kEnginePropValue, 7), qdOK);
  uint8_t value[4] = {};
  uint16_t length = 0;
  EXPECT_EQ(Engine().GetProp(kEnginePropValue, value, length, sizeof value), qdOK);
  EXPECT_EQ(GetUInt32LE(value), 7u);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(Engine().SetCurrentSession(nullptr), qdErrInvalidSesHandle);
}

TEST_F(EngineTest, EveryCursorOperationRefusesAnAbsentHandle) {
  TqdClientEngine& e = Engine();
  uint8_t buffer[1024] = {};
  uint32_t count = 0;
  int32_t value = 0;
  hDBIFilter filter = nullptr;
  hDBICur none = nullptr;
  const std::vector<std::pair<const char*, std::function<TqdResult()>>> calls = {
      {"ActivateFilter", [&] { return e.ActivateFilter(nullptr, nullptr); }},
      {"AddFilter", [&] { return e.AddFilter(nullptr, 0, 0, false, nullptr, nullptr, filter); }},
      {"AppendRecord", [&] { return e.AppendRecord(nullptr, buffer); }},
      {"CloneCursor", [&] { return e.CloneCursor(nullptr, false, none); }},
      {"CloseCursor", [&] { return e.CloseCursor(none); }},
      {"CompareBookMarks", [&] { return e.CompareBookMarks(nullptr, buffer, buffer, value); }},
      {"GetCursorProps", [&] { return e.GetCursorProps(nullptr, buffer); }},
      {"GetExactRecordCount", [&] { return e.GetExactRecordCount(nullptr, count); }},
      {"GetField", [&] { return e.GetField(nullptr, 1, buffer, buffer, value); }},
      {"GetIndexDescs", [&] { return e.GetIndexDescs(nullptr, buffer); }},
      {"GetNextRecord", [&] { return e.GetNextRecord(nullptr, 0, buffer, nullptr); }},
      {"SetToBegin", [&] { return e.SetToBegin(nullptr); }},
      {"SetToCursor", [&] { return e.SetToCursor(nullptr, nullptr); }},
      {"SwitchToIndex", [&] { return e.SwitchToIndex(nullptr, "X", nullptr, 0, false); }},
      {"OpenTable", [&] { return e.OpenTable(nullptr, "T", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, none); }},
      {"OpenTableList", [&] { return e.OpenTableList(nullptr, false, false, "", none); }},
  };
  for (const auto& [name, call] : calls) {
    EXPECT_EQ(call(), qdErrInvalidHandle) << name;
    EXPECT_EQ(e.Result(), qdErrInvalidHandle) << name;
  }
}

}  // namespace
}  // namespace qd
