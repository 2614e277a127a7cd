// Aliases, tables, a table's descriptions and the maintenance requests,
// through the client engine against qd-server with the demo data.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/QDLLExcp.h"
#include "base/endian.h"
#include "callif/QDCLDbas.h"
#include "callif/QDClTabl.h"
#include "callif/catalogue.h"
#include "callif/maintenance.h"
#include "dict/bde_desc.h"
#include "platform/hooks.h"
#include "poll_task.h"
#include "server_fixture.h"

namespace qd {
namespace {

using test::CallifServerTest;
using test::PollToFinished;

std::string Text(const uint8_t* p) { return reinterpret_cast<const char*>(p); }

// Every row's text at `offset`, read with GetNextRecord until 8706.
std::vector<std::string> ReadNames(TqdClientEngine& engine, hDBICur cursor, size_t recordSize, size_t offset) {
  std::vector<std::string> names;
  std::vector<uint8_t> record(recordSize);
  TqdResult result;
  while ((result = engine.GetNextRecord(cursor, 0, record.data(), nullptr)) == qdOK) names.push_back(Text(&record[offset]));
  EXPECT_EQ(result, qdErrEOF);
  return names;
}

TEST_P(CallifServerTest, AliasAndTableListsOfTheDemoData) {
  hDBICur aliases = nullptr;
  ASSERT_EQ(Engine().OpenDatabaseList(nullptr, aliases), qdOK);  // opens a session on demand
  EXPECT_EQ(prompts_, 1);  // the secure server refused the empty login once
  std::vector<uint8_t> desc(kDatabaseDescSize);
  ASSERT_EQ(Engine().GetNextRecord(aliases, 0, desc.data(), nullptr), qdOK);
  EXPECT_EQ(Text(&desc[kDbDescTypeOffset]), "QuillDrv");
  EXPECT_EQ(Text(&desc[kDbDescTextOffset]), Text(&desc[kDbDescPhysicalNameOffset]));
  std::vector<std::string> names{Text(&desc[kDbDescNameOffset])};
  for (const std::string& n : ReadNames(Engine(), aliases, kDatabaseDescSize, kDbDescNameOffset)) names.push_back(n);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Sales", "Stock"}));
  EXPECT_EQ(Engine().CloseCursor(aliases), qdOK);
  EXPECT_EQ(aliases, nullptr);

  hDBIDb db = OpenSales();
  hDBICur tables = nullptr;
  ASSERT_EQ(Engine().OpenTableList(db, false, false, "", tables), qdOK);
  std::vector<uint8_t> row(kTableDescSize);
  std::vector<std::string> tableNames;
  while (Engine().GetNextRecord(tables, 0, row.data(), nullptr) == qdOK) {
    tableNames.push_back(Text(&row[kTblDescNameOffset]));
    EXPECT_EQ(Text(&row[kTblDescFileNameOffset]), tableNames.back() + "." + Text(&row[kTblDescExtOffset]));
    EXPECT_EQ(Text(&row[kTblDescTypeOffset]), "QD");
  }
  std::sort(tableNames.begin(), tableNames.end());
  EXPECT_EQ(tableNames, (std::vector<std::string>{"Customers", "Suppliers"}));
  EXPECT_EQ(Engine().CloseCursor(tables), qdOK);
  EXPECT_EQ(Engine().CloseDatabase(nullptr, db), qdOK);
  EXPECT_EQ(db, nullptr);
}

TEST_P(CallifServerTest, DatabaseNameWithServerPrefixOpensTheAlias) {
  hDBIDb db = nullptr;
  ASSERT_EQ(Engine().OpenDatabase(nullptr, "[QDCALLIF] Sales", nullptr, 0, 0, nullptr, 0, nullptr, nullptr, db), qdOK);
  auto* database = LiveObject<TQDClientDatabase>(db);
  ASSERT_NE(database, nullptr);
  EXPECT_NE(database->DatabaseId(), -1);
  EXPECT_EQ(GetZeroText(database->GetDbDesc().data() + kDbDescNameOffset, 31), "Sales");
}

// The cursor's descriptions are those of the dictionary the server holds.
TEST_P(CallifServerTest, TableDescriptionsMatchTheServersDictionary) {
  hDBIDb db = OpenSales();
  auto* database = LiveObject<TQDClientDatabase>(db);
  ASSERT_NE(database, nullptr);
  TqdMemoryStream stream;
  ASSERT_EQ(database->GetDictionary("Customers", stream, true), qdOK);
  TqdDataDictionary dictionary;
  dictionary.LoadFromStream(stream);
  ASSERT_GT(dictionary.FieldCount(), 0);

  hDBICur cursor = OpenTable(db, "Customers");
  ASSERT_NE(cursor, nullptr);
  auto* table = LiveObject<TQDClientTable>(cursor);
  EXPECT_NE(table->CursorId(), -1);
  EXPECT_EQ(table->GetIndexName(), dictionary.IndexName(table->IndexId()));  // what the server chose
  std::vector<uint8_t> props(kCursorPropsSize);
  ASSERT_EQ(Engine().GetCursorProps(cursor, props.data()), qdOK);
  EXPECT_EQ(GetUInt16LE(&props[295]), dictionary.FieldCount());
  EXPECT_EQ(GetUInt16LE(&props[303]), dictionary.IndexCount());
  EXPECT_EQ(GetUInt16LE(&props[299]), dictionary.RecordSize());

  std::vector<uint8_t> indexes(dictionary.IndexCount() * kIndexDescSize);
  ASSERT_EQ(Engine().GetIndexDescs(cursor, indexes.data()), qdOK);
  for (int32_t i = 0; i < dictionary.IndexCount(); ++i) {
    TqdIndexDescBytes expected = MakeIndexDesc(dictionary.IndexDesc(i));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), indexes.begin() + i * kIndexDescSize)) << i;
  }
  std::vector<uint8_t> fields(dictionary.FieldCount() * kFieldDescSize);
  ASSERT_EQ(table->GetFieldDescs(fields.data()), qdOK);
  for (int32_t f = 0; f < dictionary.FieldCount(); ++f) {
    TqdFieldDescBytes expected = MakePhysicalFieldDesc(dictionary.FieldDesc(f));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), fields.begin() + f * kFieldDescSize)) << f;
  }

  // The dictionary lists tell the same.
  TttBaseTable* list = nullptr;
  ASSERT_EQ(database->OpenIndexList("Customers", nullptr, list), qdOK);
  std::vector<std::string> indexNames = ReadNames(Engine(), list->Handle(), kIndexDescSize, kIdxNameOffset);
  ASSERT_EQ(static_cast<int32_t>(indexNames.size()), dictionary.IndexCount());
  EXPECT_EQ(indexNames[1], dictionary.IndexName(1));
  delete list;
  ASSERT_EQ(database->OpenFieldList("Customers", nullptr, true, list), qdOK);
  EXPECT_EQ(static_cast<int32_t>(ReadNames(Engine(), list->Handle(), kFieldDescSize, kFldNameOffset).size()),
            dictionary.FieldCount());
  delete list;
  ASSERT_EQ(database->OpenVchkList("Customers", nullptr, list), qdOK);
  std::vector<uint8_t> vchk(kValidityDescSize);
  int entries = 0;
  while (list->GetNextRecord(0, vchk.data(), nullptr) == qdOK) {
    int16_t field = GetInt16LE(&vchk[kVchkFieldNumberOffset]);
    EXPECT_TRUE(dictionary.FieldIsRequired(field - 1) || dictionary.FieldValidity(field - 1) != nullptr);
    ++entries;
  }
  EXPECT_EQ(entries, CountValidityEntries(dictionary));
  delete list;
  EXPECT_EQ(Engine().CloseCursor(cursor), qdOK);
}

TEST_P(CallifServerTest, OpeningAnUnknownTableHandsOutNothing) {
  hDBIDb db = OpenSales();
  auto* database = LiveObject<TQDClientDatabase>(db);
  hDBICur cursor = reinterpret_cast<hDBICur>(1);
  EXPECT_NE(Engine().OpenTable(db, "NoSuchTable", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, cursor), qdOK);
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(database->Cursors().Count(), 0);
}

TEST_P(CallifServerTest, RebuildPackAndAddIndexRunToTheirEnd) {
  hDBIDb db = OpenSales();
  hDBISes session = Engine().CurrentSession()->Handle();
  int32_t task = kNoTask;
  // A path longer than a table name still names the table by its file part.
  ASSERT_EQ(ReIndexTable(db, "C:\\A\\VERY\\LONG\\DIRECTORY\\PATH\\OF\\THE\\DATA\\Customers.DAT", 1, task), qdOK);
  EXPECT_NE(task, kNoTask);
  EXPECT_EQ(PollToFinished(session, task), 100);
  ASSERT_EQ(PackTable(db, "Suppliers", task), qdOK);
  EXPECT_EQ(PollToFinished(session, task), 100);

  hDBICur cursor = OpenTable(db, "Customers");
  auto* table = LiveObject<TQDClientTable>(cursor);
  ASSERT_NE(table, nullptr);
  std::vector<uint8_t> desc(kIndexDescSize);
  PutZeroText(&desc[kIdxNameOffset], 260, "ByRating");
  PutUInt16LE(&desc[kIdxKeyFieldCountOffset], 1);
  PutUInt16LE(&desc[kIdxKeyFieldsOffset], static_cast<uint16_t>(table->Dictionary().FieldNumberOf("Rating") + 1));
  int32_t before = table->Dictionary().IndexCount();
  std::vector<bool> busy;
  SetBusyCursorHook([&](bool on) { busy.push_back(on); });
  ASSERT_EQ(table->AddIndex(desc.data(), nullptr), qdOK);
  SetBusyCursorHook({});
  EXPECT_EQ(busy, (std::vector<bool>{true, false}));
  EXPECT_EQ(table->Dictionary().IndexCount(), before + 1);
  EXPECT_GE(table->Dictionary().IndexNumberOf("ByRating"), 1);
}

TEST_P(CallifServerTest, TaskStatusOfUnknownAndOfNoTask) {
  hDBISes session = Engine().CurrentSession()->Handle();
  bool finished = false;
  TaskStatus status;
  EXPECT_EQ(GetTaskStatus(session, 987654, finished, status), qdErrObjNotFound);
  EXPECT_FALSE(finished);
  EXPECT_EQ(GetTaskStatus(session, kNoTask, finished, status), qdOK);
  EXPECT_TRUE(finished);
  EXPECT_TRUE(status.Finished());
  EXPECT_EQ(status.PercentDone(), 0);
  EXPECT_EQ(GetTaskStatus(nullptr, 1, finished, status), qdErrInvalidHandle);
  int32_t task = 5;
  EXPECT_THROW(ReIndexTable(session, "Customers", 1, task), EqdClientException);  // a session is no database
}

INSTANTIATE_TEST_SUITE_P(Transports, CallifServerTest, testing::Bool(), test::ParamName);

}  // namespace
}  // namespace qd
