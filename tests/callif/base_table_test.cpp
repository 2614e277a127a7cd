// The engine-neutral cursor: reading past hidden records, locks, relative
// moves, counting by scanning, block reads and writes, field access,
// properties, the empty cursor and the not-supported answers.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>

#include "fakes.h"

namespace qd {
namespace {

using test::BoxRecorder;
using test::FakeCursor;

constexpr int32_t kWriteLock = 2;

std::vector<std::string> Strings(std::initializer_list<const char*> items) {
  return {items.begin(), items.end()};
}

TEST(BaseTableReadTest, GetNextRecordWithoutABufferStillAdvances) {
  FakeCursor cursor(nullptr, nullptr, {10, 20, 30});
  EXPECT_EQ(cursor.GetNextRecord(dbiNOLOCK, nullptr, nullptr), qdOK);
  uint8_t record[4] = {};
  EXPECT_EQ(cursor.GetNextRecord(dbiNOLOCK, record, nullptr), qdOK);
  EXPECT_EQ(GetInt32LE(record), 20);
  // The read without a buffer went into a buffer of its own all the same.
  EXPECT_EQ(cursor.Log, Strings({"next:0", "next:0"}));
}

TEST(BaseTableReadTest, HiddenRecordsAreSkippedBothWays) {
  FakeCursor cursor(nullptr, nullptr, {1, 2, 3});
  cursor.Hidden = {2};
  uint8_t record[4] = {};
  std::vector<int32_t> forward;
  while (cursor.GetNextRecord(dbiNOLOCK, record, nullptr) == qdOK)
    forward.push_back(GetInt32LE(record));
  EXPECT_EQ(cursor.Result(), qdErrEOF);
  std::vector<int32_t> backward;
  while (cursor.GetPriorRecord(dbiNOLOCK, record, nullptr) == qdOK)
    backward.push_back(GetInt32LE(record));
  EXPECT_EQ(cursor.Result(), qdErrBOF);
  EXPECT_EQ(forward, (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(backward, (std::vector<int32_t>{3, 1}));
}

// The accepted record is read again under the lock, into the caller's
// buffer.
TEST(BaseTableReadTest, ALockIsTakenOnlyOnTheAcceptedRecord) {
  FakeCursor cursor(nullptr, nullptr, {1, 2, 3});
  cursor.Hidden = {1};
  uint8_t record[4] = {};
  EXPECT_EQ(cursor.GetNextRecord(kWriteLock, record, nullptr), qdOK);
  EXPECT_EQ(GetInt32LE(record), 2);
  EXPECT_EQ(cursor.Log, Strings({"next:0", "next:0", "current:2"}));
}

TEST(BaseTableReadTest, GetRecordOfAHiddenRecordReleasesItsLockAndAnswers8710) {
  struct Case {
    int32_t lock;
    std::vector<std::string> log;
  };
  for (const Case& c : {Case{kWriteLock, Strings({"current:2", "release:current"})},
                        Case{dbiNOLOCK, Strings({"current:0"})}}) {
    FakeCursor cursor(nullptr, nullptr, {1, 2});
    cursor.Position = 1;
    cursor.Hidden = {2};
    uint8_t record[4] = {};
    EXPECT_EQ(cursor.GetRecord(c.lock, record, nullptr), qdErrRecNotFound);
    EXPECT_EQ(cursor.Result(), qdErrRecNotFound);
    EXPECT_EQ(cursor.Log, c.log);
  }
  FakeCursor visible(nullptr, nullptr, {1, 2});
  visible.Position = 0;
  EXPECT_EQ(visible.GetRecord(dbiNOLOCK, nullptr, nullptr), qdOK);
}

TEST(BaseTableReadTest, RelativeMovesLockOnlyTheLastAndStopAtTheFirstFailure) {
  struct Case {
    const char* name;
    int32_t start;
    int32_t offset;
    TqdResult result;
    int32_t end;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"three back", 4, -3, qdOK, 1,
       Strings({"prior:0", "prior:0", "prior:0", "current:2"})},
      {"two on", 0, 2, qdOK, 2, Strings({"next:0", "next:0", "current:2"})},
      {"past the end", 3, 5, qdErrEOF, 5, Strings({"next:0", "next:0"})},
      {"zero is the current record", 2, 0, qdOK, 2, Strings({"current:2"})},
      // The most negative offset has a magnitude too; the moves stop at the
      // beginning.
      {"most negative", 1, INT32_MIN, qdErrBOF, -1, Strings({"prior:0", "prior:0"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeCursor cursor(nullptr, nullptr, {0, 1, 2, 3, 4});
    cursor.Position = c.start;
    uint8_t record[4] = {};
    EXPECT_EQ(cursor.GetRelativeRecord(c.offset, kWriteLock, record, nullptr), c.result);
    EXPECT_EQ(cursor.Position, c.end);
    EXPECT_EQ(cursor.Log, c.log);
  }
}

TEST(BaseTableCountTest, CountsVisibleRecordsAndReturnsToWhereItStood) {
  FakeCursor cursor(nullptr, nullptr, {1, 2, 3, 4});
  cursor.Hidden = {3};
  cursor.Position = 2;
  uint32_t count = 99;
  EXPECT_EQ(cursor.GetRecordCount(count), qdOK);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(cursor.Position, 2);
  count = 0;
  EXPECT_EQ(cursor.GetExactRecordCount(count), qdOK);
  EXPECT_EQ(count, 3u);
}

// A step that fails is the answer, and the count is not claimed; the way
// back to the bookmark is still taken when there is one.
TEST(BaseTableCountTest, AFailingStepIsReportedNotCountedOver) {
  struct Case {
    const char* name;
    const char* failingStep;  // nullptr: the read of the second record fails
    TqdResult result;
    bool returned;
  };
  const Case cases[] = {
      {"bookmark", "getbookmark", qdErrNotSupported, false},
      {"to the beginning", "begin", qdErrInvalidHandle, true},
      {"a read", nullptr, qdErrNetTimeout, true},
      {"back to the bookmark", "setbookmark", qdErrInvalidHandle, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeCursor cursor(nullptr, nullptr, {1, 2, 3});
    cursor.Position = 2;
    if (c.failingStep != nullptr) {
      cursor.Failures[c.failingStep] = c.result;
    } else {
      cursor.FailReadAt = 1;
    }
    uint32_t count = 7;
    EXPECT_EQ(cursor.GetRecordCount(count), c.result);
    EXPECT_EQ(cursor.Result(), c.result);
    EXPECT_EQ(count, 0u);
    bool triedBack =
        std::find(cursor.Log.begin(), cursor.Log.end(), "setbookmark") != cursor.Log.end();
    EXPECT_EQ(triedBack, c.returned);
    if (c.returned && c.failingStep == nullptr) {
      EXPECT_EQ(cursor.Position, 2);
    }
  }
}

TEST(BaseTableBlockTest, ReadBlockFillsConsecutiveSlotsAndCountsWhatItRead) {
  FakeCursor cursor(nullptr, nullptr, {5, 6, 7});
  cursor.Length = 6;
  std::vector<uint8_t> buffer(5 * 6, 0xEE);
  uint32_t count = 5;
  EXPECT_EQ(cursor.ReadBlock(count, buffer.data()), qdErrEOF);
  EXPECT_EQ(count, 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(GetInt32LE(&buffer[size_t(i) * 6]), 5 + i);
  EXPECT_EQ(buffer[18], 0xEE);  // the fourth slot stays as it was

  count = 0;
  EXPECT_EQ(cursor.ReadBlock(count, buffer.data()), qdOK);
  EXPECT_EQ(cursor.Log.size(), 4u);  // nothing more was read
  count = 2;
  EXPECT_EQ(cursor.ReadBlock(count, nullptr), qdErrInvalidHandle);
  EXPECT_EQ(cursor.WriteBlock(count, nullptr), qdErrInvalidHandle);
}

TEST(BaseTableBlockTest, WriteBlockStepsOneRecordLengthPerRecord) {
  FakeCursor cursor(nullptr, nullptr, {});
  cursor.Length = 40000;
  std::vector<uint8_t> buffer(3 * 40000, 0);
  PutInt32LE(&buffer[0], 1);
  PutInt32LE(&buffer[40000], 2);
  PutInt32LE(&buffer[80000], 3);
  uint32_t count = 3;
  EXPECT_EQ(cursor.WriteBlock(count, buffer.data()), qdOK);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(cursor.Inserted, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(cursor.Log, Strings({"insert:0", "insert:0", "insert:0"}));

  FakeCursor failing(nullptr, nullptr, {});
  failing.Length = 40000;
  failing.FailInsertAt = 1;
  failing.Failures["insert"] = qdErrNetTimeout;
  count = 3;
  EXPECT_EQ(failing.WriteBlock(count, buffer.data()), qdErrNetTimeout);
  EXPECT_EQ(count, 1u);
}

// Field descriptors whose physical and logical forms differ by type.
class FieldCursor : public FakeCursor {
 public:
  explicit FieldCursor(int32_t translationMode)
      : FakeCursor(nullptr, nullptr, {}, "FIELDS", translationMode) {}
  void BuildFieldDescs() override {
    ++Builds;
    for (uint16_t number = 1; number <= 2; ++number) {
      TqdFieldDescBytes physical{};
      PutUInt16LE(&physical[kFldNumberOffset], number);
      PutUInt16LE(&physical[kFldTypeOffset], 100);
      TqdFieldDescBytes logical = physical;
      PutUInt16LE(&logical[kFldTypeOffset], 200);
      new TttFieldDescItem(&fieldDescs_, physical, &logical);
    }
  }
  TqdResult TranslateGet(int32_t field, const uint8_t*, bool& blank, void*) override {
    Log.push_back("get:" + std::to_string(field));
    blank = true;
    return SetResult(qdOK);
  }
  TqdResult TranslatePut(int32_t field, uint8_t*, const void*) override {
    Log.push_back("put:" + std::to_string(field));
    return SetResult(qdOK);
  }
  int Builds = 0;
};

TEST(BaseTableFieldTest, FieldDescsAreBuiltOnceAndGivenInTheAskedForm) {
  for (int32_t mode : {0, xltFIELD}) {
    FieldCursor cursor(mode);
    std::vector<uint8_t> buffer(2 * kFieldDescSize + 1, 0xEE);
    EXPECT_EQ(cursor.GetFieldDescs(buffer.data()), qdOK);
    EXPECT_EQ(cursor.GetFieldDescs(buffer.data()), qdOK);
    EXPECT_EQ(cursor.Builds, 1);
    uint16_t type = mode == xltFIELD ? 200 : 100;
    EXPECT_EQ(GetUInt16LE(&buffer[kFldTypeOffset]), type);
    EXPECT_EQ(GetUInt16LE(&buffer[kFieldDescSize + kFldNumberOffset]), 2);
    EXPECT_EQ(GetUInt16LE(&buffer[kFieldDescSize + kFldTypeOffset]), type);
    EXPECT_EQ(buffer[2 * kFieldDescSize], 0xEE);
    auto* second = dynamic_cast<TttFieldDescItem*>(cursor.FieldDescs().Item(1));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->FieldNumber(), 2);
  }
}

TEST(BaseTableFieldTest, GetFieldAndPutFieldCheckTheirArguments) {
  struct Case {
    int32_t field;
    bool record;
    TqdResult result;
  };
  const Case cases[] = {{1, true, qdOK},
                        {2, true, qdOK},
                        {0, true, qdErrOutOfRange},
                        {3, true, qdErrOutOfRange},
                        {-1, true, qdErrOutOfRange},
                        {1, false, qdErrInvalidParam}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    FieldCursor cursor(0);
    uint8_t record[4] = {};
    bool blank = false;
    EXPECT_EQ(cursor.GetField(c.field, c.record ? record : nullptr, nullptr, blank), c.result);
    EXPECT_EQ(cursor.PutField(c.field, c.record ? record : nullptr, nullptr), c.result);
    std::vector<std::string> expected;
    if (c.result == qdOK)
      expected = {"get:" + std::to_string(c.field), "put:" + std::to_string(c.field)};
    EXPECT_EQ(cursor.Log, expected);
  }
}

TEST(BaseTableFieldTest, FreeingTheCursorFreesItsFieldDescriptors) {
  static int freed = 0;
  struct CountedDesc : TttFieldDescItem {
    explicit CountedDesc(TttCollection* c) : TttFieldDescItem(c, TqdFieldDescBytes{}) {}
    ~CountedDesc() override { ++freed; }
  };
  auto* cursor = new FakeCursor(nullptr, nullptr, {});
  new CountedDesc(&cursor->FieldDescs());
  new CountedDesc(&cursor->FieldDescs());
  delete cursor;
  EXPECT_EQ(freed, 2);
}

// Index descriptions: the number of indexes from the cursor properties.
class IndexCursor : public FakeCursor {
 public:
  IndexCursor() : FakeCursor(nullptr, nullptr, {}) {}
  TqdResult GetCursorProps(uint8_t* record) override {
    TttBaseTable::GetCursorProps(record);
    PutUInt16LE(record + 303, Indexes);
    return SetResult(qdOK);
  }
  TqdResult GetIndexDesc(int32_t number, uint8_t* record) override {
    Log.push_back("index:" + std::to_string(number));
    if (number == FailAt) return SetResult(qdErrNoSuchIndex);
    PutUInt16LE(record + kIdxNumberOffset, static_cast<uint16_t>(number));
    return SetResult(qdOK);
  }
  uint16_t Indexes = 3;
  int32_t FailAt = 0;
};

TEST(BaseTableFieldTest, GetIndexDescsFillsOneDescriptionPerIndexUntilOneFails) {
  IndexCursor cursor;
  std::vector<uint8_t> buffer(3 * kIndexDescSize, 0);
  EXPECT_EQ(cursor.GetIndexDescs(buffer.data()), qdOK);
  for (uint16_t i = 0; i < 3; ++i)
    EXPECT_EQ(GetUInt16LE(&buffer[i * kIndexDescSize + kIdxNumberOffset]), i + 1);

  IndexCursor failing;
  failing.FailAt = 2;
  EXPECT_EQ(failing.GetIndexDescs(buffer.data()), qdErrNoSuchIndex);
  EXPECT_EQ(failing.Log, Strings({"index:1", "index:2"}));
  EXPECT_EQ(failing.GetIndexDescs(nullptr), qdErrInvalidParam);
}

TEST(BaseTableRecordTest, InitRecordZeroFillsTheRecordLengthOnly) {
  FakeCursor cursor(nullptr, nullptr, {});
  cursor.Length = 6;
  std::vector<uint8_t> record(7, 0xEE);
  EXPECT_EQ(cursor.InitRecord(record.data()), qdOK);
  EXPECT_EQ(record, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0xEE}));
  EXPECT_EQ(cursor.InitRecord(nullptr), qdErrInvalidParam);
}

TEST(BaseTableRecordTest, AppendGoesToTheEndAndInsertsWithoutLock) {
  FakeCursor cursor(nullptr, nullptr, {1});
  uint8_t record[4];
  PutInt32LE(record, 9);
  EXPECT_EQ(cursor.AppendRecord(nullptr), qdErrInvalidParam);
  EXPECT_EQ(cursor.AppendRecord(record), qdOK);
  EXPECT_EQ(cursor.Log, Strings({"end", "insert:0"}));
  EXPECT_EQ(cursor.Inserted, (std::vector<int32_t>{9}));
}

TEST(BaseTableRecordTest, ForceRecordRereadReadsTheCurrentRecordWithoutLock) {
  FakeCursor cursor(nullptr, nullptr, {4, 5});
  cursor.Position = 1;
  uint8_t record[4] = {};
  EXPECT_EQ(cursor.ForceRecordReread(record), qdOK);
  EXPECT_EQ(GetInt32LE(record), 5);
  EXPECT_EQ(cursor.Log, Strings({"current:0"}));
}

TEST(BaseTableRecordTest, SmallAnswersOfTheBase) {
  FakeCursor cursor(nullptr, nullptr, {});
  cursor.SetResult(qdErrEOF);
  bool shared = true;
  EXPECT_EQ(cursor.IsTableShared(shared), qdOK);
  EXPECT_FALSE(shared);
  EXPECT_EQ(cursor.Result(), qdErrEOF);  // IsTableShared leaves the result alone

  void* object = &shared;
  EXPECT_EQ(cursor.GetLdObj(object), qdOK);
  EXPECT_EQ(object, nullptr);

  EXPECT_EQ(cursor.Open(), qdOK);
  EXPECT_TRUE(cursor.IsOpen());
  EXPECT_EQ(cursor.CloseCursor(), qdOK);
  EXPECT_FALSE(cursor.IsOpen());

  std::vector<uint8_t> props(kCursorPropsSize + 1, 0xEE);
  EXPECT_EQ(cursor.TttBaseTable::GetCursorProps(props.data()), qdOK);
  EXPECT_EQ(props[kCursorPropsSize - 1], 0);
  EXPECT_EQ(props[kCursorPropsSize], 0xEE);

  TttBaseTable base(nullptr, nullptr, "BASE", nullptr, 0, 0, 0, 0);
  for (auto read :
       {&TttBaseTable::ReadNext, &TttBaseTable::ReadPrior, &TttBaseTable::ReadCurrent}) {
    EXPECT_EQ((base.*read)(dbiNOLOCK, nullptr, nullptr), qdErrNotImplemented);
  }
  uint8_t record[1] = {};
  EXPECT_TRUE(base.PassesFilters(record));
  EXPECT_FALSE(base.PassesFilters(nullptr));
}

TEST(BaseTableNameTest, NamesAreCutToTheirCapacities) {
  std::string index(40, 'I');
  std::string longName(300, 'N');
  TttBaseTable cursor(nullptr, nullptr, longName, index.c_str(), 3, dbiREADONLY, dbiOPENEXCL,
                      xltFIELD);
  EXPECT_EQ(cursor.GetIndexName(), std::string(31, 'I'));
  EXPECT_EQ(cursor.GetTableName(), std::string(260, 'N'));
  EXPECT_EQ(cursor.IndexId(), 3);
  EXPECT_EQ(cursor.OpenMode(), dbiREADONLY);
  EXPECT_EQ(cursor.ShareMode(), dbiOPENEXCL);
  EXPECT_EQ(cursor.TranslationMode(), xltFIELD);
  cursor.SetFullName(longName.c_str());
  EXPECT_EQ(cursor.GetFullName().size(), 260u);
  cursor.SetFullName(nullptr);
  EXPECT_TRUE(cursor.GetFullName().empty());
  cursor.SetTableName("ORDERS");
  EXPECT_EQ(cursor.GetTableName(), "ORDERS");
  cursor.SetTableName(nullptr);
  EXPECT_TRUE(cursor.GetTableName().empty());
}

// A property value goes out only into a buffer that holds it.
TEST(BaseTablePropTest, PropertiesAnswerIntoBuffersThatHoldThem) {
  const std::vector<uint8_t> untouched(10, 0xEE);
  auto after = [](std::vector<uint8_t> head) {
    head.resize(10, 0xEE);
    return head;
  };
  test::ExpectPropAnswers<TttBaseTable>(
      {
          {0, 2, qdOK, 2, after({20, 0})},
          {0, 1, qdErrInvalidParam, 99, untouched},
          {1, 5, qdOK, 0, untouched},
          {5, 4, qdOK, 4, after({0, 0, 0, 0})},
          {5, 3, qdErrInvalidParam, 99, untouched},
          {7, 5, qdErrNotSupported, 99, untouched},
      },
      [] { return std::make_unique<TttBaseTable>(nullptr, nullptr, "T", nullptr, 0, 0, 0, 0); });

  TttBaseTable cursor(nullptr, nullptr, "T", nullptr, 0, 0, 0, 0);
  EXPECT_EQ(cursor.ValidateProp(0, true), qdErrNotSupported);
  EXPECT_EQ(cursor.ValidateProp(1, true), qdErrNotSupported);
  EXPECT_EQ(cursor.ValidateProp(1, false), qdOK);
  EXPECT_EQ(cursor.ValidateProp(5, true), qdOK);
  EXPECT_EQ(cursor.SetProp(0, 1), qdOK);
}

TEST(EmptyTableTest, EveryNavigationEndsAtOnce) {
  TqdEmptyTable table(nullptr, "DriverList", nullptr);
  EXPECT_EQ(table.GetTableName(), "DriverList");
  EXPECT_EQ(table.GetNextRecord(dbiNOLOCK, nullptr, nullptr), qdErrEOF);
  EXPECT_EQ(table.GetPriorRecord(dbiNOLOCK, nullptr, nullptr), qdErrBOF);
  uint8_t buffer[1] = {};
  uint32_t count = 5;
  EXPECT_EQ(table.ReadBlock(count, buffer), qdErrEOF);
  EXPECT_EQ(count, 0u);
}

TEST(BaseTableNotSupportedTest, EachOperationIsNamedInTheBox) {
  uint8_t record[kIndexDescSize] = {};
  int32_t number = 0;
  uint32_t size = 0;
  TttBaseTable* clone = nullptr;
  const std::vector<test::NotSupportedCase<TttBaseTable>> calls = {
      {"TttBaseTable.TranslateGet",
       [&](TttBaseTable& t) {
         bool b;
         return t.TranslateGet(1, record, b, record);
       }},
      {"TttBaseTable.TranslatePut",
       [&](TttBaseTable& t) { return t.TranslatePut(1, record, record); }},
      {"TttBaseTable.AcqTableLock", [](TttBaseTable& t) { return t.AcqTableLock(0); }},
      {"TttBaseTable.AddIndex", [&](TttBaseTable& t) { return t.AddIndex(record, nullptr); }},
      {"TttBaseTable.ApplyDelayedUpdates", [](TttBaseTable& t) { return t.ApplyDelayedUpdates(); }},
      {"TttBaseTable.BeginDelayedUpdates", [](TttBaseTable& t) { return t.BeginDelayedUpdates(); }},
      {"TttBaseTable.BeginLinkMode", [](TttBaseTable& t) { return t.BeginLinkMode(); }},
      {"TttBaseTable.CloneCursor", [&](TttBaseTable& t) { return t.CloneCursor(false, clone); }},
      {"TttBaseTable.CloseIndex", [](TttBaseTable& t) { return t.CloseIndex(); }},
      {"TttBaseTable.CompareBookMarks",
       [&](TttBaseTable& t) { return t.CompareBookMarks(record, record, number); }},
      {"TttBaseTable.CompareKeys", [](TttBaseTable& t) { return t.CompareKeys(); }},
      {"TttBaseTable.DeleteIndex", [](TttBaseTable& t) { return t.DeleteIndex(); }},
      {"TttBaseTable.DeleteRecord", [&](TttBaseTable& t) { return t.DeleteRecord(record); }},
      {"TttBaseTable.EndDelayedUpdates", [](TttBaseTable& t) { return t.EndDelayedUpdates(); }},
      {"TttBaseTable.EmptyTable", [](TttBaseTable& t) { return t.EmptyTable(); }},
      {"TttBaseTable.EndLinkMode", [](TttBaseTable& t) { return t.EndLinkMode(); }},
      {"TttBaseTable.ExtractKey", [&](TttBaseTable& t) { return t.ExtractKey(record, record); }},
      {"TttBaseTable.FreeBlob", [&](TttBaseTable& t) { return t.FreeBlob(record, 1); }},
      {"TttBaseTable.GetBlob",
       [&](TttBaseTable& t) { return t.GetBlob(record, 1, 0, 1, record, size); }},
      {"TttBaseTable.GetBlobSize", [&](TttBaseTable& t) { return t.GetBlobSize(record, 1, size); }},
      {"TttBaseTable.GetBookMark", [&](TttBaseTable& t) { return t.GetBookMark(record); }},
      {"TttBaseTable.GetCallBack", [](TttBaseTable& t) { return t.GetCallBack(); }},
      {"TttBaseTable.GetDelayedUpdates", [](TttBaseTable& t) { return t.GetDelayedUpdates(); }},
      {"TttBaseTable.GetIndexDesc", [&](TttBaseTable& t) { return t.GetIndexDesc(1, record); }},
      {"TttBaseTable.GetIndexForField", [](TttBaseTable& t) { return t.GetIndexForField(); }},
      {"TttBaseTable.GetIndexSeqNo",
       [&](TttBaseTable& t) { return t.GetIndexSeqNo("A", nullptr, number, 0); }},
      {"TttBaseTable.GetLinkStatus", [](TttBaseTable& t) { return t.GetLinkStatus(); }},
      {"TttBaseTable.GetRecordForKey",
       [&](TttBaseTable& t) { return t.GetRecordForKey(true, 0, 0, record, 0, record); }},
      {"TttBaseTable.GetRintDesc", [](TttBaseTable& t) { return t.GetRintDesc(); }},
      {"TttBaseTable.GetSeqNo", [](TttBaseTable& t) { return t.GetSeqNo(); }},
      {"TttBaseTable.GetVchkDesc", [&](TttBaseTable& t) { return t.GetVchkDesc(1, record); }},
      {"TttBaseTable.InsertRecord", [&](TttBaseTable& t) { return t.InsertRecord(0, record); }},
      {"TttBaseTable.IsRecordLocked", [](TttBaseTable& t) { return t.IsRecordLocked(); }},
      {"TttBaseTable.IsTableLocked", [&](TttBaseTable& t) { return t.IsTableLocked(0, number); }},
      {"TttBaseTable.LinkDetail", [](TttBaseTable& t) { return t.LinkDetail(); }},
      {"TttBaseTable.MakePermanent", [](TttBaseTable& t) { return t.MakePermanent(); }},
      {"TttBaseTable.ModifyRecord", [&](TttBaseTable& t) { return t.ModifyRecord(record, false); }},
      {"TttBaseTable.OpenBlob", [&](TttBaseTable& t) { return t.OpenBlob(record, 1, 0); }},
      {"TttBaseTable.OpenIndex", [](TttBaseTable& t) { return t.OpenIndex(); }},
      {"TttBaseTable.OpenLockList", [](TttBaseTable& t) { return t.OpenLockList(); }},
      {"TttBaseTable.PutBlob", [&](TttBaseTable& t) { return t.PutBlob(record, 1, 0, 1, record); }},
      {"TttBaseTable.RegenIndexes", [](TttBaseTable& t) { return t.RegenIndexes(); }},
      {"TttBaseTable.RegisterCallBack", [](TttBaseTable& t) { return t.RegisterCallBack(); }},
      {"TttBaseTable.RelRecordLock", [](TttBaseTable& t) { return t.RelRecordLock(false); }},
      {"TttBaseTable.RelTableLock", [](TttBaseTable& t) { return t.RelTableLock(false, 0); }},
      {"TttBaseTable.ResetRange", [](TttBaseTable& t) { return t.ResetRange(); }},
      {"TttBaseTable.SetFieldMap", [](TttBaseTable& t) { return t.SetFieldMap(); }},
      {"TttBaseTable.SetRange",
       [&](TttBaseTable& t) { return t.SetRange(true, 0, 0, record, true, 0, 0, record, true); }},
      {"TttBaseTable.SetToBegin", [](TttBaseTable& t) { return t.SetToBegin(); }},
      {"TttBaseTable.SetToBookmark", [&](TttBaseTable& t) { return t.SetToBookmark(record); }},
      {"TttBaseTable.SetToCursor", [](TttBaseTable& t) { return t.SetToCursor(&t); }},
      {"TttBaseTable.SetToEnd", [](TttBaseTable& t) { return t.SetToEnd(); }},
      {"TttBaseTable.SetToKey", [&](TttBaseTable& t) { return t.SetToKey(0, true, 0, 0, record); }},
      {"TttBaseTable.SwitchToIndex",
       [](TttBaseTable& t) { return t.SwitchToIndex("A", nullptr, 0, false); }},
      {"TttBaseTable.TruncateBlob", [&](TttBaseTable& t) { return t.TruncateBlob(record, 1, 0); }},
      {"TttBaseTable.UnlinkDetail", [](TttBaseTable& t) { return t.UnlinkDetail(); }},
      {"TttBaseTable.VerifyField", [](TttBaseTable& t) { return t.VerifyField(); }},
      // Answered without a box.
      {nullptr, [](TttBaseTable& t) { return t.GetBlobHeading(); }},
      {nullptr, [](TttBaseTable& t) { return t.LinkDetailToExp(); }},
      {nullptr, [](TttBaseTable& t) { return t.SetToRecordNo(); }},
      {nullptr, [](TttBaseTable& t) { return t.SetToSeqNo(); }},
      {nullptr, [](TttBaseTable& t) { return t.UndeleteRecord(); }},
  };
  test::ExpectNotSupported(calls, [] {
    return std::make_unique<TttBaseTable>(nullptr, nullptr, "T", nullptr, 0, 0, 0, 0);
  });
  EXPECT_EQ(clone, nullptr);
}

}  // namespace
}  // namespace qd
