// The engine-neutral database: creation and its options, properties,
// finding and counting open cursors, operations on a given or opened
// cursor, transaction information, the directory, the text helpers of BDE
// records and the not-supported answers.
#include <gtest/gtest.h>

#include <functional>

#include "callif/QDTTDbas.h"
#include "fakes.h"

namespace qd {
namespace {

using test::BoxRecorder;

TttBaseDatabase* NewDatabase(TttCollection* collection = nullptr, const uint8_t* desc = nullptr) {
  return new TttBaseDatabase(nullptr, collection, desc, 0, 0, nullptr, 0, nullptr, nullptr);
}

// Option descriptors with their values laid out one after the other.
struct Options {
  void Add(std::string_view name, std::string_view value, uint16_t length) {
    TqdFieldDescBytes desc{};
    PutUInt16LE(&desc[kFldNumberOffset], uint16_t(descs.size() / kFieldDescSize + 1));
    PutZeroText(&desc[kFldNameOffset], kFldNameSize - 1, name);
    PutUInt16LE(&desc[kFldOffsetOffset], uint16_t(values.size()));
    PutUInt16LE(&desc[kFldLengthOffset], length);
    descs.insert(descs.end(), desc.begin(), desc.end());
    std::string padded(value);
    padded.resize(length, '\0');
    values.insert(values.end(), padded.begin(), padded.end());
  }
  uint16_t Count() const { return uint16_t(descs.size() / kFieldDescSize); }
  std::vector<uint8_t> descs;
  std::vector<uint8_t> values;
};

TEST(ZeroTextTest, TextIsCutToItsAreaAndReadNoFurther) {
  std::vector<uint8_t> area(8, 0xEE);
  PutZeroText(area.data(), 5, "abcdefgh");
  EXPECT_EQ(area, (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 0, 0xEE, 0xEE}));
  PutZeroText(area.data(), 5, "xy");
  EXPECT_EQ(area, (std::vector<uint8_t>{'x', 'y', 0, 0, 0, 0, 0xEE, 0xEE}));
  EXPECT_EQ(GetZeroText(area.data(), 5), "xy");
  const uint8_t unterminated[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(GetZeroText(unterminated, 3), "abc");
}

TEST(DatabaseCreateTest, WithoutADescriptionTheTypeIsStandard) {
  std::unique_ptr<TttBaseDatabase> database(NewDatabase());
  TqdDatabaseDesc expected{};
  PutZeroText(&expected[kDbDescTypeOffset], 31, kStandardDbType);
  EXPECT_EQ(database->GetDbDesc(), expected);
  EXPECT_EQ(database->GetDbType(), kStandardDbType);
  database->SetDbType(std::string(40, 'T').c_str());
  EXPECT_EQ(database->GetDbType(), std::string(31, 'T'));
}

TEST(DatabaseCreateTest, DescriptionModesAndPasswordAreKept) {
  TqdDatabaseDesc desc{};
  PutZeroText(&desc[kDbDescNameOffset], 31, "SALES");
  PutZeroText(&desc[kDbDescPhysicalNameOffset], 260, "/srv/sales");
  std::string password(40, 'p');
  TttBaseDatabase database(nullptr, nullptr, desc.data(), dbiREADONLY, dbiOPENEXCL,
                           password.c_str(), 0, nullptr, nullptr);
  EXPECT_EQ(database.GetDbDesc(), desc);
  EXPECT_EQ(database.PhysicalName(), "/srv/sales");
  EXPECT_EQ(database.OpenMode(), dbiREADONLY);
  EXPECT_EQ(database.ShareMode(), dbiOPENEXCL);
  EXPECT_EQ(database.GetPassword(), std::string(31, 'p'));
  database.SetPassword(nullptr);
  EXPECT_EQ(database.GetPassword(), "");
}

TEST(DatabaseCreateTest, AUserNameOptionNamesTheDatabase) {
  struct Case {
    const char* name;
    std::function<void(Options&)> options;
    std::string expected;
  };
  const Case cases[] = {
      {"only the second entry, in lower case",
       [](Options& o) {
         o.Add("QDPATH", "/srv/x", 10);
         o.Add("user name", "alice", 8);
       },
       "alice"},
      {"cut to the length word", [](Options& o) { o.Add("USER NAME", "bobby", 3); }, "bob"},
      {"cut to the name field", [](Options& o) { o.Add("User Name", std::string(40, 'u'), 40); },
       std::string(31, 'u')},
      {"the last one wins",
       [](Options& o) {
         o.Add("USER NAME", "first", 6);
         o.Add("USER NAME", "second", 7);
       },
       "second"},
      {"no such option", [](Options& o) { o.Add("USERNAME", "carol", 6); }, "SALES"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TqdDatabaseDesc desc{};
    PutZeroText(&desc[kDbDescNameOffset], 31, "SALES");
    Options options;
    c.options(options);
    TttBaseDatabase database(nullptr, nullptr, desc.data(), 0, 0, nullptr, options.Count(),
                             options.descs.data(), options.values.data());
    EXPECT_EQ(GetZeroText(&database.GetDbDesc()[kDbDescNameOffset], 31), c.expected);
  }
}

// The type is cut so that it and its terminator fit the caller's buffer.
TEST(DatabasePropTest, PropertiesAnswerIntoBuffersThatHoldThem) {
  const std::vector<uint8_t> untouched(10, 0xEE);
  test::ExpectPropAnswers<TttBaseDatabase>(
      {
          {0, 2, qdOK, 2, {27, 0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
          {0x10000, 2, qdOK, 2, {27, 0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
          {0, 1, qdErrInvalidParam, 99, untouched},
          {2, 10, qdOK, 9, {'S', 'T', 'A', 'N', 'D', 'A', 'R', 'D', 0, 0xEE}},
          {0x30002, 10, qdOK, 9, {'S', 'T', 'A', 'N', 'D', 'A', 'R', 'D', 0, 0xEE}},
          {2, 5, qdOK, 5, {'S', 'T', 'A', 'N', 0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
          {2, 0, qdErrInvalidParam, 99, untouched},
          {1, 10, qdErrNotSupported, 99, untouched},
      },
      [] { return std::unique_ptr<TttBaseDatabase>(NewDatabase()); });

  std::unique_ptr<TttBaseDatabase> database(NewDatabase());
  EXPECT_EQ(database->ValidateProp(0, true), qdErrNotSupported);
  EXPECT_EQ(database->ValidateProp(0x10002, true), qdErrNotSupported);
  EXPECT_EQ(database->ValidateProp(2, false), qdOK);
  EXPECT_EQ(database->ValidateProp(1, true), qdOK);
}

// A database with three cursors, one not yet opened (no full name).
class FindTest : public testing::Test {
 protected:
  FindTest() : database_(NewDatabase()) {
    orders_ = AddCursor("ORDERS", "C:\\DATA\\ORDERS.DAT");
    AddCursor("PARTS", "");
    parts_ = AddCursor("parts", "C:\\DATA\\PARTS.DAT");
  }
  TttBaseTable* AddCursor(const char* table, const char* full) {
    auto* cursor =
        new TttBaseTable(database_.get(), &database_->Cursors(), table, nullptr, 0, 0, 0, 0);
    cursor->SetFullName(full);
    return cursor;
  }
  std::unique_ptr<TttBaseDatabase> database_;
  TttBaseTable* orders_;
  TttBaseTable* parts_;
};

// A failed search hands out no cursor, never the last one it looked at.
TEST_F(FindTest, FindOpenTableMatchesNamesOrPathsAndHandsOutOnlyAMatch) {
  struct Case {
    const char* name;
    TqdResult result;
    TttBaseTable* cursor;
  };
  const Case cases[] = {
      {"orders", qdOK, orders_},
      {"PARTS", qdOK, parts_},  // the cursor without a full name is passed over
      {"c:\\data\\parts.dat", qdOK, parts_},
      {"ORDERS;1", qdOK, orders_},
      {"ORDERS.DAT", qdErrNoSuchTable, nullptr},  // a path is compared with full names only
      {"NOPE", qdErrNoSuchTable, nullptr},
      {";ORDERS", qdErrInvalidParam, nullptr},
      {nullptr, qdErrInvalidParam, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name == nullptr ? "no name" : c.name);
    TttBaseTable* cursor = orders_;
    EXPECT_EQ(database_->FindOpenTable(c.name, cursor), c.result);
    EXPECT_EQ(cursor, c.cursor);
  }
  std::unique_ptr<TttBaseDatabase> empty(NewDatabase());
  TttBaseTable* cursor = orders_;
  EXPECT_EQ(empty->FindOpenTable("ORDERS", cursor), qdErrInvalidParam);
  EXPECT_EQ(cursor, nullptr);
}

TEST_F(FindTest, GetTableOpenCountComparesTheFirst31Characters) {
  std::string longName = std::string(31, 'L');
  AddCursor((longName + "A").c_str(), "x");
  AddCursor((longName + "B").c_str(), "");
  struct Case {
    std::string name;
    TqdResult result;
    uint32_t count;
  };
  const Case cases[] = {{"Parts", qdOK, 2},
                        {"ORDERS", qdOK, 1},
                        {longName + "C", qdOK, 2},
                        {"NONE", qdErrNoSuchTable, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t count = 99;
    EXPECT_EQ(database_->GetTableOpenCount(c.name.c_str(), count), c.result);
    EXPECT_EQ(count, c.count);
  }
}

// A cursor that logs the operations asked of it, and a database that opens
// such cursors.
class LoggingCursor : public TttBaseTable {
 public:
  LoggingCursor(TttCollectionItem* parent, TttCollection* collection, std::vector<std::string>& log)
      : TttBaseTable(parent, collection, "T", nullptr, 0, 0, 0, 0), log_(log) {}
  ~LoggingCursor() override { log_.push_back("freed"); }
  TqdResult AddIndex(const uint8_t* desc, const char* keyIndex) override {
    log_.push_back("addindex:" + GetZeroText(desc, 31) + ":" +
                   (keyIndex == nullptr ? "" : keyIndex));
    return SetResult(qdErrNetTimeout);
  }
  TqdResult DeleteIndex() override {
    log_.push_back("deleteindex");
    return SetResult(qdOK);
  }
  TqdResult EmptyTable() override {
    log_.push_back("emptytable");
    return SetResult(qdOK);
  }

 private:
  std::vector<std::string>& log_;
};

class OpeningDatabase : public TttBaseDatabase {
 public:
  OpeningDatabase()
      : TttBaseDatabase(nullptr, nullptr, nullptr, 0, 0, nullptr, 0, nullptr, nullptr) {}
  TqdResult OpenTable(const char* tableName, const char* driverType, const char* indexName,
                      const char* tagName, int16_t indexId, int32_t openMode, int32_t shareMode,
                      int32_t translationMode, bool uniDirectional, const uint8_t* options,
                      TttBaseTable*& cursor) override {
    Log.push_back(testing::PrintToString(std::make_tuple(
        std::string(tableName), driverType == nullptr, indexName == nullptr, tagName == nullptr,
        indexId, openMode, shareMode, translationMode, uniDirectional, options == nullptr)));
    // The cursor is handed out whatever the open answered.
    cursor = new LoggingCursor(this, &cursors_, Log);
    return SetResult(OpenResult);
  }
  TqdResult OpenTableList(bool extended, bool systemTables, const char* wildcard,
                          TttBaseTable*& cursor) override {
    Log.push_back(
        testing::PrintToString(std::make_tuple(extended, systemTables, std::string(wildcard))));
    cursor = nullptr;
    return SetResult(qdOK);
  }
  TqdResult OpenResult = qdOK;
  std::vector<std::string> Log;
};

TEST(DatabaseCursorTest, AddIndexUsesTheGivenCursorOrOpensTheTableForIt) {
  TqdIndexDescBytes index{};
  PutZeroText(&index[kIdxNameOffset], 31, "BYDATE");
  PutInt16LE(&index[kIdxNumberOffset], 4);
  const std::string opened = testing::PrintToString(
      std::make_tuple(std::string("ORDERS"), true, true, true, int16_t{4}, 0, 1, 0, true, true));

  OpeningDatabase database;
  LoggingCursor given(nullptr, nullptr, database.Log);
  EXPECT_EQ(database.AddIndex(&given, "IGNORED", nullptr, index.data(), "KEY"), qdErrNetTimeout);
  EXPECT_EQ(database.Log, (std::vector<std::string>{"addindex:BYDATE:KEY"}));

  database.Log.clear();
  EXPECT_EQ(database.AddIndex(nullptr, "ORDERS", "QD", index.data(), nullptr), qdErrNetTimeout);
  EXPECT_EQ(database.Result(), qdErrNetTimeout);
  EXPECT_EQ(database.Log, (std::vector<std::string>{opened, "addindex:BYDATE:", "freed"}));
  EXPECT_EQ(database.Cursors().Count(), 0);

  // A table the open refused is not asked, and its cursor is freed.
  database.Log.clear();
  database.OpenResult = qdErrNoSuchTable;
  EXPECT_EQ(database.AddIndex(nullptr, "ORDERS", nullptr, index.data(), nullptr), qdErrNoSuchTable);
  EXPECT_EQ(database.Log, (std::vector<std::string>{opened, "freed"}));

  database.Log.clear();
  for (const char* name : {static_cast<const char*>(nullptr), ""}) {
    EXPECT_EQ(database.AddIndex(nullptr, name, nullptr, index.data(), nullptr), qdErrInvalidParam);
  }
  EXPECT_EQ(database.AddIndex(&given, "ORDERS", nullptr, nullptr, nullptr), qdErrInvalidParam);
  EXPECT_TRUE(database.Log.empty());
}

TEST(DatabaseCursorTest, DeleteIndexAndEmptyTableAskTheCursor) {
  OpeningDatabase database;
  LoggingCursor given(nullptr, nullptr, database.Log);
  EXPECT_EQ(database.DeleteIndex(&given, nullptr, nullptr, "BYDATE", nullptr, 0), qdOK);
  EXPECT_EQ(database.EmptyTable(&given, nullptr, nullptr), qdOK);
  EXPECT_EQ(database.Log, (std::vector<std::string>{"deleteindex", "emptytable"}));
  database.Log.clear();
  EXPECT_EQ(database.EmptyTable(nullptr, "ORDERS", nullptr), qdOK);
  ASSERT_EQ(database.Log.size(), 3u);
  EXPECT_EQ(database.Log[1], "emptytable");
  EXPECT_EQ(database.Log[2], "freed");
  EXPECT_EQ(database.DeleteIndex(nullptr, nullptr, nullptr, "BYDATE", nullptr, 0),
            qdErrInvalidParam);
}

TEST(DatabaseCursorTest, OpenFileListIsAPlainTableList) {
  OpeningDatabase database;
  TttBaseTable* cursor = nullptr;
  EXPECT_EQ(database.OpenFileList("OR*", cursor), qdOK);
  EXPECT_EQ(database.Log, (std::vector<std::string>{testing::PrintToString(
                              std::make_tuple(false, false, std::string("OR*")))}));
}

TEST(DatabaseSmallTest, TransactionInformationAndTheDirectory) {
  struct InTransaction : TttBaseDatabase {
    InTransaction()
        : TttBaseDatabase(nullptr, nullptr, nullptr, 0, 0, nullptr, 0, nullptr, nullptr) {
      transactionState_ = 1;
      transactionWord_ = 0x01020304;
    }
  } database;
  std::vector<uint8_t> record(kTranInfoSize + 1, 0xEE);
  EXPECT_EQ(database.GetTranInfo(nullptr, record.data()), qdOK);
  EXPECT_EQ(record, (std::vector<uint8_t>{1, 0, 0, 0, 4, 3, 2, 1, 0, 0, 0xEE}));
  EXPECT_EQ(database.GetTranInfo(nullptr, nullptr), qdErrInvalidParam);

  EXPECT_EQ(database.SetDirectory("/srv/data"), qdOK);
  EXPECT_EQ(database.PhysicalName(), "/srv/data");
  char directory[261];
  EXPECT_EQ(database.GetDirectory(nullptr, directory), qdOK);
  EXPECT_STREQ(directory, "/srv/data");
  EXPECT_EQ(database.GetDirectory(nullptr, nullptr), qdErrInvalidParam);

  BoxRecorder boxes;
  EXPECT_EQ(database.GetObjFromName(), qdErrNotApplicable);
  EXPECT_TRUE(boxes.Texts.empty());
}

TEST(DatabaseSmallTest, FreeingTheDatabaseFreesItsCursors) {
  std::vector<std::string> log;
  TttCollection databases;
  TttBaseDatabase* database = NewDatabase(&databases);
  new LoggingCursor(database, &database->Cursors(), log);
  new LoggingCursor(database, &database->Cursors(), log);
  delete database;
  EXPECT_EQ(log, (std::vector<std::string>{"freed", "freed"}));
  EXPECT_EQ(databases.Count(), 0);
}

TEST(DatabaseNotSupportedTest, EachOperationIsNamedInTheBox) {
  TttBaseTable* cursor = nullptr;
  void* transaction = nullptr;
  TqdCreateTableDesc table;
  const std::vector<test::NotSupportedCase<TttBaseDatabase>> cases = {
      {"TttBaseDatabase.AcqPersistTableLock",
       [](TttBaseDatabase& d) { return d.AcqPersistTableLock(); }},
      {"TttBaseDatabase.BeginTran",
       [&](TttBaseDatabase& d) { return d.BeginTran(0, transaction); }},
      {"TttBaseDatabase.CopyTable", [](TttBaseDatabase& d) { return d.CopyTable(); }},
      {"TttBaseDatabase.CreateInMemTable", [](TttBaseDatabase& d) { return d.CreateInMemTable(); }},
      {"TttBaseDatabase.CreateTable",
       [&](TttBaseDatabase& d) { return d.CreateTable(false, table); }},
      {"TttBaseDatabase.CreateTempTable", [](TttBaseDatabase& d) { return d.CreateTempTable(); }},
      {"TttBaseDatabase.DeleteTable", [](TttBaseDatabase& d) { return d.DeleteTable("T"); }},
      {"TttBaseDatabase.DoRestructure", [](TttBaseDatabase& d) { return d.DoRestructure(); }},
      {"TttBaseDatabase.EndTran", [](TttBaseDatabase& d) { return d.EndTran(nullptr, xendABORT); }},
      {"TttBaseDatabase.OpenFamilyList", [](TttBaseDatabase& d) { return d.OpenFamilyList(); }},
      {"TttBaseDatabase.OpenFieldList",
       [&](TttBaseDatabase& d) { return d.OpenFieldList("T", nullptr, false, cursor); }},
      {"TttBaseDatabase.OpenFunctionList", [](TttBaseDatabase& d) { return d.OpenFunctionList(); }},
      {"TttBaseDatabase.OpenFunctionArgList",
       [](TttBaseDatabase& d) { return d.OpenFunctionArgList(); }},
      {"TttBaseDatabase.OpenIndexList",
       [&](TttBaseDatabase& d) { return d.OpenIndexList("T", nullptr, cursor); }},
      {"TttBaseDatabase.OpenRintList", [](TttBaseDatabase& d) { return d.OpenRintList(); }},
      {"TttBaseDatabase.OpenSecurityList", [](TttBaseDatabase& d) { return d.OpenSecurityList(); }},
      {"TttBaseDatabase.OpenSPList", [](TttBaseDatabase& d) { return d.OpenSPList(); }},
      {"TttBaseDatabase.OpenSPParamList", [](TttBaseDatabase& d) { return d.OpenSPParamList(); }},
      {"TttBaseDatabase.OpenTable",
       [&](TttBaseDatabase& d) {
         return d.OpenTable("T", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, cursor);
       }},
      {"TttBaseDatabase.OpenTableList",
       [&](TttBaseDatabase& d) { return d.OpenTableList(false, false, "*", cursor); }},
      {"TttBaseDatabase.OpenTableList",
       [&](TttBaseDatabase& d) { return d.OpenFileList("*", cursor); }},
      {"TttBaseDatabase.OpenVchkList",
       [&](TttBaseDatabase& d) { return d.OpenVchkList("T", nullptr, cursor); }},
      {"TttBaseDatabase.PackTable", [](TttBaseDatabase& d) { return d.PackTable(); }},
      {"TttBaseDatabase.QAlloc", [](TttBaseDatabase& d) { return d.QAlloc(); }},
      {"TttBaseDatabase.QExecDirect", [](TttBaseDatabase& d) { return d.QExecDirect(); }},
      {"TttBaseDatabase.QExecProcDirect", [](TttBaseDatabase& d) { return d.QExecProcDirect(); }},
      {"TttBaseDatabase.QPrepareExt", [](TttBaseDatabase& d) { return d.QPrepareExt(); }},
      {"TttBaseDatabase.QPrepareProc", [](TttBaseDatabase& d) { return d.QPrepareProc(); }},
      {"TttBaseDatabase.RegenIndex", [](TttBaseDatabase& d) { return d.RegenIndex(); }},
      {"TttBaseDatabase.RelPersistTableLock",
       [](TttBaseDatabase& d) { return d.RelPersistTableLock(); }},
      {"TttBaseDatabase.RenameTable", [](TttBaseDatabase& d) { return d.RenameTable("A", "B"); }},
      {"TttBaseDatabase.SortTable", [](TttBaseDatabase& d) { return d.SortTable(); }},
      {nullptr, [](TttBaseDatabase& d) { return d.FormFullName(); }},
      // The table opened for the operation is refused first.
      {"TttBaseDatabase.OpenTable",
       [](TttBaseDatabase& d) { return d.EmptyTable(nullptr, "T", nullptr); }},
  };
  test::ExpectNotSupported(cases, [] { return std::unique_ptr<TttBaseDatabase>(NewDatabase()); });
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(transaction, nullptr);
}

}  // namespace
}  // namespace qd
