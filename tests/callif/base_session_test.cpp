// The engine-neutral session: the records it fills for callers (sizes and
// offsets), database descriptions and opening by path or alias, properties,
// formats, the error entry, the open count over databases, the
// session-level lists and the not-supported answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "callif/QDTTDbas.h"
#include "callif/QDTTSess.h"
#include "fakes.h"
#include "platform/user_name.h"

namespace qd {
namespace {

using test::BoxRecorder;

TqdDatabaseDesc MakeDesc(std::string_view name, std::string_view path, std::string_view type) {
  TqdDatabaseDesc desc{};
  PutZeroText(&desc[kDbDescNameOffset], 31, name);
  PutZeroText(&desc[kDbDescTextOffset], 31, path);
  PutZeroText(&desc[kDbDescPhysicalNameOffset], 260, path);
  PutZeroText(&desc[kDbDescTypeOffset], 31, type);
  return desc;
}

std::string TextAt(const uint8_t* record, size_t offset, size_t capacity) {
  return GetZeroText(record + offset, capacity);
}

// An alias list that serves database descriptions.
class AliasList : public TttBaseTable {
 public:
  AliasList(TttCollectionItem* parent, TttCollection* collection, std::vector<TqdDatabaseDesc> rows,
            bool* freed)
      : TttBaseTable(parent, collection, "DBList", nullptr, 0, 1, 1, 0),
        rows_(std::move(rows)),
        freed_(freed) {}
  ~AliasList() override { *freed_ = true; }
  int32_t RecordLength() override { return kDatabaseDescSize; }
  TqdResult ReadNext(int32_t, uint8_t* record, uint8_t*) override {
    if (next_ >= rows_.size()) return SetResult(qdErrEOF);
    std::copy(rows_[next_].begin(), rows_[next_].end(), record);
    ++next_;
    return SetResult(qdOK);
  }

 private:
  std::vector<TqdDatabaseDesc> rows_;
  size_t next_ = 0;
  bool* freed_;
};

// A session whose alias list and database opening are stand-ins.
class AliasSession : public TttBaseSession {
 public:
  AliasSession() : TttBaseSession(nullptr, nullptr, "S", nullptr) {}
  TqdResult OpenDatabaseList(TttBaseTable*& cursor) override {
    ++ListOpens;
    cursor = nullptr;
    if (ListFailure != qdOK) return SetResult(ListFailure);
    cursor = new AliasList(this, &sessionCursors_, Aliases, &ListFreed);
    return SetResult(qdOK);
  }
  TqdResult OpenDatabaseInternal(const uint8_t* desc, int32_t openMode, int32_t shareMode,
                                 const char*, uint16_t, const uint8_t*, const uint8_t*,
                                 TttBaseDatabase*& database) override {
    std::copy(desc, desc + kDatabaseDescSize, OpenedDesc.begin());
    OpenedModes = {openMode, shareMode};
    database = new TttBaseDatabase(this, &databases_, desc, openMode, shareMode, nullptr, 0,
                                   nullptr, nullptr);
    return SetResult(OpenResult);
  }

  std::vector<TqdDatabaseDesc> Aliases = {MakeDesc("SALES", "/srv/sales", kDriverName),
                                          MakeDesc("Stock", "/srv/stock", kDriverName)};
  TqdResult ListFailure = qdOK;
  TqdResult OpenResult = qdOK;
  int ListOpens = 0;
  bool ListFreed = false;
  TqdDatabaseDesc OpenedDesc{};
  std::pair<int32_t, int32_t> OpenedModes;
};

TEST(SessionRecordTest, EachRecordIsWrittenToItsSizeAndNoFurther) {
  struct Case {
    const char* name;
    size_t size;
    std::function<TqdResult(TttBaseSession&, uint8_t*)> fill;
  };
  const Case cases[] = {
      {"database description", 357,
       [](TttBaseSession& s, uint8_t* r) { return s.GetDatabaseDesc("C:\\D", r); }},
      {"client information", 327, [](TttBaseSession& s, uint8_t* r) { return s.GetClientInfo(r); }},
      {"session information", 562, [](TttBaseSession& s, uint8_t* r) { return s.GetSesInfo(r); }},
      {"system information", 14, [](TttBaseSession& s, uint8_t* r) { return s.GetSysInfo(r); }},
      {"driver description", 156,
       [](TttBaseSession& s, uint8_t* r) { return s.GetDriverDesc("QuillDrv", r); }},
      {"system configuration", 346,
       [](TttBaseSession& s, uint8_t* r) { return s.GetSysConfig(r); }},
      {"system version", 32, [](TttBaseSession& s, uint8_t* r) { return s.GetSysVersion(r); }},
  };
  TttCollection sessions;
  auto* session = new TttBaseSession(nullptr, &sessions, "Main", "/data");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> buffer(c.size + 8, 0xEE);
    EXPECT_EQ(c.fill(*session, buffer.data()), qdOK);
    EXPECT_EQ(buffer[c.size - 1], 0);  // zero-filled to its last byte
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + long(c.size), buffer.end()),
              std::vector<uint8_t>(8, 0xEE));
    EXPECT_EQ(c.fill(*session, nullptr), qdErrInvalidParam);
  }
}

TEST(SessionRecordTest, TheFieldsStandAtTheirOffsets) {
  TttCollection sessions;
  new TttBaseSession(nullptr, &sessions, "First", nullptr);
  auto* session = new TttBaseSession(nullptr, &sessions, "Second", "/net");
  session->SetPrivateDir("/private");
  session->SetLockRetry(-5);
  for (int cursors : {1, 2}) {
    auto* database = new TttBaseDatabase(session, &session->Databases(), nullptr, 0, 0, nullptr, 0,
                                         nullptr, nullptr);
    for (int i = 0; i < cursors; ++i)
      new TttBaseTable(database, &database->Cursors(), "T", nullptr, 0, 0, 0, 0);
  }

  std::vector<uint8_t> client(kClientInfoSize);
  ASSERT_EQ(session->GetClientInfo(client.data()), qdOK);
  EXPECT_EQ(GetUInt16LE(&client[32]), 2);
  EXPECT_EQ(TextAt(client.data(), 34, 260), "/net");

  std::vector<uint8_t> info(kSessionInfoSize);
  ASSERT_EQ(session->GetSesInfo(info.data()), qdOK);
  EXPECT_EQ(GetUInt16LE(&info[0]), 1);  // its position among the sessions
  EXPECT_EQ(TextAt(info.data(), 2, 31), "Second");
  EXPECT_EQ(GetUInt16LE(&info[34]), 2);
  EXPECT_EQ(GetUInt16LE(&info[36]), 3);
  EXPECT_EQ(GetInt16LE(&info[38]), -5);
  EXPECT_EQ(TextAt(info.data(), 40, 260), "/net");
  EXPECT_EQ(TextAt(info.data(), 301, 260), "/private");

  std::vector<uint8_t> system(kSysInfoSize);
  ASSERT_EQ(session->GetSysInfo(system.data()), qdOK);
  EXPECT_EQ(GetUInt16LE(&system[8]), 2);

  std::vector<uint8_t> driver(kDriverDescSize, 0xEE);
  std::string longType(40, 'D');
  ASSERT_EQ(session->GetDriverDesc(longType.c_str(), driver.data()), qdOK);
  EXPECT_EQ(TextAt(driver.data(), 0, 155), std::string(31, 'D'));
}

TEST(SessionDescTest, APathIsDescribedAsItIsWithTheStandardType) {
  for (const char* path : {"C:\\DATA", "data.db", "host:dir"}) {
    SCOPED_TRACE(path);
    AliasSession session;
    TqdDatabaseDesc desc{};
    EXPECT_EQ(session.LookupDatabaseDesc(path, desc.data(), true), qdOK);
    TqdDatabaseDesc expected = MakeDesc("PATH", path, kStandardDbType);
    PutZeroText(&expected[kDbDescTextOffset], 31, "PATH");
    EXPECT_EQ(desc, expected);
    EXPECT_EQ(session.ListOpens, 0);
  }
}

TEST(SessionDescTest, AnAliasIsFoundWithoutRegardToCaseAndTheListIsFreed) {
  struct Case {
    const char* name;
    bool keepType;
    TqdResult result;
    TqdDatabaseDesc desc;
  };
  const Case cases[] = {
      {"stock", true, qdOK, MakeDesc("Stock", "/srv/stock", kDriverName)},
      {"SALES", false, qdOK, MakeDesc("SALES", "/srv/sales", kStandardDbType)},
      // A name the list does not hold describes nothing, not the last alias.
      {"Other", true, qdErrUnknownDB, TqdDatabaseDesc{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AliasSession session;
    TqdDatabaseDesc desc;
    desc.fill(0xEE);
    EXPECT_EQ(session.LookupDatabaseDesc(c.name, desc.data(), c.keepType), c.result);
    EXPECT_EQ(desc, c.desc);
    EXPECT_TRUE(session.ListFreed);
    EXPECT_EQ(session.SessionCursors().Count(), 0);
  }
  AliasSession refused;
  refused.ListFailure = qdErrNetTimeout;
  TqdDatabaseDesc desc{};
  EXPECT_EQ(refused.LookupDatabaseDesc("SALES", desc.data(), true), qdErrUnknownDB);
}

TEST(SessionDescTest, GetDatabaseDescNeedsANameAndAnswersWithTheStandardType) {
  AliasSession session;
  TqdDatabaseDesc desc{};
  EXPECT_EQ(session.GetDatabaseDesc(nullptr, desc.data()), qdErrUnknownDB);
  EXPECT_EQ(session.GetDatabaseDesc("", desc.data()), qdErrUnknownDB);
  EXPECT_EQ(session.ListOpens, 0);
  EXPECT_EQ(session.GetDatabaseDesc("stock", desc.data()), qdOK);
  EXPECT_EQ(desc, MakeDesc("Stock", "/srv/stock", kStandardDbType));
}

TEST(SessionOpenTest, OpenDatabaseDescribesThenOpensWhateverTheLookupFound) {
  struct Case {
    const char* name;
    int listOpens;
    std::string path;
    std::string type;
  };
  const Case cases[] = {
      {"D:\\DATA\\SHOP", 0, "D:\\DATA\\SHOP", kStandardDbType},
      {"sales", 1, "/srv/sales", kDriverName},  // the type of the alias is kept
      {"nowhere", 1, "", ""},                   // opened all the same, with an empty path
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AliasSession session;
    session.OpenResult = qdErrNetTimeout;
    TttBaseDatabase* database = nullptr;
    EXPECT_EQ(session.OpenDatabase(c.name, "ignored", dbiREADONLY, dbiOPENEXCL, nullptr, 0, nullptr,
                                   nullptr, database),
              qdErrNetTimeout);
    EXPECT_NE(database, nullptr);
    EXPECT_EQ(session.ListOpens, c.listOpens);
    EXPECT_EQ(TextAt(session.OpenedDesc.data(), kDbDescPhysicalNameOffset, 260), c.path);
    EXPECT_EQ(TextAt(session.OpenedDesc.data(), kDbDescTypeOffset, 31), c.type);
    EXPECT_EQ(session.OpenedModes, std::make_pair(dbiREADONLY, dbiOPENEXCL));
  }
  AliasSession session;
  TttBaseDatabase* database = nullptr;
  EXPECT_EQ(session.OpenDatabase(nullptr, nullptr, 0, 0, nullptr, 0, nullptr, nullptr, database),
            qdErrUnknownDB);
  EXPECT_EQ(session.Databases().Count(), 0);
}

TEST(SessionOpenTest, CloseDatabaseFreesOnlyADatabaseOfThisSession) {
  TttBaseSession session(nullptr, nullptr, "S", nullptr);
  TttBaseSession other(nullptr, nullptr, "O", nullptr);
  auto* mine = new TttBaseDatabase(&session, &session.Databases(), nullptr, 0, 0, nullptr, 0,
                                   nullptr, nullptr);
  auto* theirs =
      new TttBaseDatabase(&other, &other.Databases(), nullptr, 0, 0, nullptr, 0, nullptr, nullptr);
  TttBaseDatabase* none = nullptr;
  EXPECT_EQ(session.CloseDatabase(none), qdErrInvalidHandle);
  TttBaseDatabase* reference = theirs;
  EXPECT_EQ(session.CloseDatabase(reference), qdErrInvalidHandle);
  EXPECT_EQ(reference, theirs);
  EXPECT_EQ(other.Databases().Count(), 1);
  reference = mine;
  EXPECT_EQ(session.CloseDatabase(reference), qdOK);
  EXPECT_EQ(reference, nullptr);
  EXPECT_EQ(session.Databases().Count(), 0);
}

TEST(SessionOpenTest, TheSessionListsHaveNoRecordsAndBelongToTheCallerAlone) {
  using Open = TqdResult (TttBaseSession::*)(TttBaseTable*&);
  const std::pair<Open, const char*> lists[] = {{&TttBaseSession::OpenDriverList, "DriverList"},
                                                {&TttBaseSession::OpenLdList, "LdList"},
                                                {&TttBaseSession::OpenUserList, "UsersList"}};
  TttBaseSession session(nullptr, nullptr, "S", nullptr);
  for (const auto& [open, name] : lists) {
    SCOPED_TRACE(name);
    TttBaseTable* cursor = nullptr;
    EXPECT_EQ((session.*open)(cursor), qdOK);
    std::unique_ptr<TttBaseTable> owned(cursor);
    ASSERT_NE(dynamic_cast<TqdEmptyTable*>(cursor), nullptr);
    EXPECT_EQ(cursor->GetTableName(), name);
    EXPECT_EQ(cursor->Parent(), nullptr);
    EXPECT_EQ(cursor->Collection(), nullptr);
    EXPECT_EQ(cursor->GetNextRecord(dbiNOLOCK, nullptr, nullptr), qdErrEOF);
  }
  EXPECT_EQ(session.SessionCursors().Count(), 0);
}

// Every database's cursors count: one without the table hides nothing.
TEST(SessionOpenTest, TheOpenCountAddsUpEveryDatabaseThatHasTheTableOpen) {
  struct Case {
    const char* name;
    std::vector<std::vector<const char*>> databases;  // each database's cursor table names
    TqdResult result;
    uint32_t count;
  };
  const Case cases[] = {
      {"both have it", {{"ORDERS", "orders"}, {"Orders", "PARTS"}}, qdOK, 3},
      {"the second lacks it", {{"ORDERS"}, {"PARTS"}}, qdOK, 1},
      {"the first lacks it", {{"PARTS"}, {"ORDERS"}}, qdOK, 1},
      {"none has it", {{"PARTS"}, {}}, qdErrNoSuchTable, 0},
      {"no databases", {}, qdOK, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TttBaseSession session(nullptr, nullptr, "S", nullptr);
    for (const auto& names : c.databases) {
      auto* database = new TttBaseDatabase(&session, &session.Databases(), nullptr, 0, 0, nullptr,
                                           0, nullptr, nullptr);
      for (const char* name : names)
        new TttBaseTable(database, &database->Cursors(), name, nullptr, 0, 0, 0, 0);
    }
    uint32_t count = 99;
    EXPECT_EQ(session.GetTableOpenCount(session.Handle(), "ORDERS", count), c.result);
    EXPECT_EQ(count, c.count);
  }
  TttBaseSession session(nullptr, nullptr, "S", nullptr);
  uint32_t count = 99;
  EXPECT_EQ(session.GetTableOpenCount(nullptr, "ORDERS", count), qdErrInvalidHandle);
}

TEST(SessionErrorTest, GetErrorEntryReportsTheThreadsLastErrorAndLeavesTheResult) {
  TttBaseSession session(nullptr, nullptr, "S", nullptr);
  session.SetResult(qdErrBOF);
  TttBaseTable other(nullptr, nullptr, "T", nullptr, 0, 0, 0, 0);
  other.SetResult(qdErrNetTimeout);
  uint32_t native = 7;
  char message[kErrorMessageCapacity];
  message[0] = 'x';
  EXPECT_EQ(session.GetErrorEntry(1, native, message), qdErrNetTimeout);
  EXPECT_EQ(native, 0u);
  EXPECT_EQ(message[0], '\0');
  EXPECT_EQ(session.GetErrorEntry(2, native, nullptr), qdOK);
  EXPECT_EQ(session.Result(), qdErrBOF);
}

TEST(SessionPropTest, PropertyValuesGoOutOnlyIntoBuffersThatHoldThem) {
  TttBaseSession session(nullptr, nullptr, "S", nullptr);
  EXPECT_EQ(session.SetProp(kSessionPropValueA, 0x01020304), qdOK);
  EXPECT_EQ(session.SetProp(kSessionPropValueB, 7), qdOK);
  EXPECT_EQ(session.SetProp(0x12345, 9), qdOK);  // accepted and forgotten

  uint8_t buffer[5];
  uint16_t length = 0;
  std::fill(std::begin(buffer), std::end(buffer), 0xEE);
  EXPECT_EQ(session.GetProp(kSessionPropValueA, buffer, length, 4), qdOK);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(GetUInt32LE(buffer), 0x01020304u);
  EXPECT_EQ(buffer[4], 0xEE);
  EXPECT_EQ(session.GetProp(kSessionPropValueB, buffer, length, 4), qdOK);
  EXPECT_EQ(GetUInt32LE(buffer), 7u);
  EXPECT_EQ(session.GetProp(kSessionPropValueB, buffer, length, 3), qdErrInvalidParam);

  // The current directory is cut to the buffer, terminator included.
  std::string current = std::filesystem::current_path().string();
  std::vector<char> whole(current.size() + 1);
  EXPECT_EQ(session.GetProp(kSessionPropCurrentDir, whole.data(), length, uint16_t(whole.size())),
            qdOK);
  EXPECT_EQ(std::string(whole.data()), current);
  EXPECT_EQ(length, current.size() + 1);
  std::fill(std::begin(buffer), std::end(buffer), 0xEE);
  EXPECT_EQ(session.GetProp(kSessionPropCurrentDir, buffer, length, 4), qdOK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), current.substr(0, 3));
  EXPECT_EQ(length, 4);
  EXPECT_EQ(buffer[4], 0xEE);

  BoxRecorder boxes;
  EXPECT_EQ(session.GetProp(0x12345, buffer, length, 5), qdErrNotSupported);
  EXPECT_TRUE(boxes.Texts.empty());
}

TEST(SessionPropTest, FormatsAreKeptVerbatim) {
  TttBaseSession session(nullptr, nullptr, "S", nullptr);
  using Set = TqdResult (TttBaseSession::*)(const uint8_t*);
  using Get = TqdResult (TttBaseSession::*)(uint8_t*);
  struct Case {
    Set set;
    Get get;
    size_t size;
  };
  const Case cases[] = {{&TttBaseSession::SetDateFormat, &TttBaseSession::GetDateFormat, 9},
                        {&TttBaseSession::SetNumberFormat, &TttBaseSession::GetNumberFormat, 4},
                        {&TttBaseSession::SetTimeFormat, &TttBaseSession::GetTimeFormat, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    std::vector<uint8_t> in(c.size + 4);
    for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i + 1);
    EXPECT_EQ((session.*c.set)(in.data()), qdOK);
    std::vector<uint8_t> out(c.size + 4, 0xEE);
    EXPECT_EQ((session.*c.get)(out.data()), qdOK);
    EXPECT_TRUE(std::equal(in.begin(), in.begin() + long(c.size), out.begin()));
    EXPECT_EQ(out[c.size], 0xEE);
    EXPECT_EQ((session.*c.set)(nullptr), qdErrInvalidParam);
  }
}

TEST(SessionTextTest, CopiesWithoutALanguageObjectAndNamesTheDriver) {
  TttBaseSession session(nullptr, nullptr, "S", nullptr);
  char out[8];
  EXPECT_EQ(session.AnsiToNative(nullptr, out, "abcdef", 3), qdOK);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(session.NativeToAnsi(nullptr, out, "xy", 5), qdOK);
  EXPECT_STREQ(out, "xy");
  char name[kNetUserNameCapacity + 1];
  EXPECT_EQ(session.GetNetUserName(nullptr), qdErrInvalidHandle);
  EXPECT_EQ(session.GetNetUserName(name), qdOK);
  EXPECT_EQ(std::string(name), GetNetUserName().substr(0, kNetUserNameCapacity));
  char driver[32] = {};
  session.SetResult(qdErrEOF);
  session.GetDriverName(driver);
  EXPECT_STREQ(driver, "QuillDrv");
  EXPECT_EQ(session.Reserved3(), qdOK);
  EXPECT_EQ(session.Result(), qdErrEOF);  // neither changes the result
  EXPECT_EQ(session.CheckRefresh(), qdOK);
  EXPECT_EQ(session.UseIdleTime(), qdOK);
}

TEST(SessionCursorTest, CursorOperationsAreForwardedOrAnsweredForNone) {
  TttBaseSession session(nullptr, nullptr, "S", nullptr);
  TttBaseTable cursor(nullptr, nullptr, "T", nullptr, 0, 0, 0, 0);
  void* object = &cursor;
  EXPECT_EQ(session.GetLdObj(nullptr, object), qdOK);
  EXPECT_EQ(object, nullptr);
  object = &cursor;
  EXPECT_EQ(session.GetLdObj(&cursor, object), qdOK);
  EXPECT_EQ(object, nullptr);
  BoxRecorder boxes;
  EXPECT_EQ(session.GetCallBack(&cursor), qdErrNotSupported);
  EXPECT_EQ(session.RegisterCallBack(&cursor), qdErrNotSupported);
  EXPECT_EQ(boxes.Texts,
            (std::vector<std::string>{BoxRecorder::TextFor("TttBaseTable.GetCallBack"),
                                      BoxRecorder::TextFor("TttBaseTable.RegisterCallBack")}));
}

TEST(SessionNotSupportedTest, EachOperationIsNamedInTheBox) {
  TttBaseTable* cursor = nullptr;
  TttBaseDatabase* database = nullptr;
  char text[8];
  const std::vector<test::NotSupportedCase<TttBaseSession>> cases = {
      {"TttBaseSession.AddAlias",
       [](TttBaseSession& s) { return s.AddAlias(nullptr, "A", nullptr, "", false); }},
      {"TttBaseSession.AddPassword", [](TttBaseSession& s) { return s.AddPassword(); }},
      {"TttBaseSession.AnsiToNative",
       [&](TttBaseSession& s) { return s.AnsiToNative(&s, text, "a", 1); }},
      {"TttBaseSession.CfgBuildPath", [](TttBaseSession& s) { return s.CfgBuildPath(); }},
      {"TttBaseSession.CfgGetHelp", [](TttBaseSession& s) { return s.CfgGetHelp(); }},
      {"TttBaseSession.CfgGetNextNode", [](TttBaseSession& s) { return s.CfgGetNextNode(); }},
      {"TttBaseSession.CfgMerge", [](TttBaseSession& s) { return s.CfgMerge(); }},
      {"TttBaseSession.CfgTranslate", [](TttBaseSession& s) { return s.CfgTranslate(); }},
      {"TttBaseSession.CloseConfigFile", [](TttBaseSession& s) { return s.CloseConfigFile(); }},
      {"TttBaseSession.CloseFieldXlt", [](TttBaseSession& s) { return s.CloseFieldXlt(); }},
      {"TttBaseSession.DeleteAlias", [](TttBaseSession& s) { return s.DeleteAlias(); }},
      {"TttBaseSession.DropPassword", [](TttBaseSession& s) { return s.DropPassword(); }},
      {"TttBaseSession.GetErrorContext", [](TttBaseSession& s) { return s.GetErrorContext(); }},
      {"TttBaseSession.GetErrorInfo", [](TttBaseSession& s) { return s.GetErrorInfo(); }},
      {"TttBaseSession.GetErrorString",
       [&](TttBaseSession& s) { return s.GetErrorString(qdErrEOF, text); }},
      {"TttBaseSession.GetFieldTypeDesc", [](TttBaseSession& s) { return s.GetFieldTypeDesc(); }},
      {"TttBaseSession.GetIndexTypeDesc", [](TttBaseSession& s) { return s.GetIndexTypeDesc(); }},
      {"TttBaseSession.GetTableTypeDesc", [](TttBaseSession& s) { return s.GetTableTypeDesc(); }},
      {"TttBaseSession.LoadDriver", [](TttBaseSession& s) { return s.LoadDriver(); }},
      {"TttBaseSession.NativeToAnsi",
       [&](TttBaseSession& s) { return s.NativeToAnsi(&s, text, "a", 1); }},
      {"TttBaseSession.OpenCfgInfoList", [](TttBaseSession& s) { return s.OpenCfgInfoList(); }},
      {"TttBaseSession.OpenConfigFile", [](TttBaseSession& s) { return s.OpenConfigFile(); }},
      {"TttBaseSession.OpenDatabaseList",
       [&](TttBaseSession& s) { return s.OpenDatabaseList(cursor); }},
      {"TttBaseSession.OpenFieldTypesList",
       [](TttBaseSession& s) { return s.OpenFieldTypesList(); }},
      {"TttBaseSession.OpenFieldXlt", [](TttBaseSession& s) { return s.OpenFieldXlt(); }},
      {"TttBaseSession.OpenIndexTypesList",
       [](TttBaseSession& s) { return s.OpenIndexTypesList(); }},
      {"TttBaseSession.OpenTableTypesList",
       [](TttBaseSession& s) { return s.OpenTableTypesList(); }},
      {"TttBaseSession.TranslateField", [](TttBaseSession& s) { return s.TranslateField(); }},
      {"TttBaseSession.TranslateRecordStructure",
       [](TttBaseSession& s) { return s.TranslateRecordStructure(); }},
      {"TttBaseSession.OpenDatabaseInternal",
       [&](TttBaseSession& s) {
         TqdDatabaseDesc desc{};
         return s.OpenDatabaseInternal(desc.data(), 0, 0, nullptr, 0, nullptr, nullptr, database);
       }},
      {nullptr, [](TttBaseSession& s) { return s.CfgPosition(); }},
      {nullptr, [](TttBaseSession& s) { return s.CfgSave(); }},
      {nullptr, [](TttBaseSession& s) { return s.GetLdName(); }},
      {nullptr, [](TttBaseSession& s) { return s.GetCallBack(nullptr); }},
      {nullptr, [](TttBaseSession& s) { return s.RegisterCallBack(nullptr); }},
  };
  test::ExpectNotSupported(
      cases, [] { return std::make_unique<TttBaseSession>(nullptr, nullptr, "S", nullptr); });
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(database, nullptr);
}

}  // namespace
}  // namespace qd
