// The table component against qd-server: its index list and the numbers a
// rebuild names, what listing and opening leave open, names given with a
// path, the chosen index, and one whole rebuild as the window runs it.
#include <gtest/gtest.h>

#include <array>

#include "base/endian.h"
#include "callif/QDClEng.h"
#include "callif/QDClTabl.h"
#include "callif/maintenance.h"
#include "dict/bde_desc.h"
#include "error_text.h"
#include "server_fixture.h"

namespace qd {
namespace {

using test::ErrorOf;

class TableTest : public test::ComponentServerTest {
 protected:
  // The window's pair: a database on the alias and a table in it, both
  // named in the automatic session.
  void SetUpPair(const char* alias, const char* table) {
    database_ = &Database("RIMain", alias);
    database_->SetSessionName("[automatic]");
    table_ = &Table("RIMain", table);
    table_->SetSessionName("[automatic]");
  }
  TqdDatabase* database_ = nullptr;
  TqdTable* table_ = nullptr;
};

const std::string kIndexZero = "Seq. Access Index";
const std::vector<std::string> kPartyIndexes = {kIndexZero, "ById", "ByName", "ByCityName", "ByBalanceDesc"};

TEST_P(TableTest, IndexNamesOfAClosedTableLeaveItsOpenDatabaseAsItWas) {
  SetUpPair("Sales", "Customers");
  database_->SetConnected(true);
  std::vector<std::string> names;
  table_->ListIndexNames(names);
  EXPECT_EQ(names, kPartyIndexes);
  EXPECT_EQ(database_->OpenCount(), 1);
  EXPECT_EQ(table_->DatabaseOpenCount(), 0);
  EXPECT_FALSE(table_->Active());
  // The field definitions came with them.
  ASSERT_EQ(table_->FieldDefs().Count(), 7);
  EXPECT_EQ(table_->FieldDefs()[1].Name, "Name");
  EXPECT_EQ(table_->FieldDefs()[1].DataType, TqdFieldType::ftString);
  EXPECT_EQ(table_->IndexDefs()[3].Fields, "City;Name");
}

TEST_P(TableTest, IndexNamesOfAClosedTableOpenAClosedDatabaseOnlyForTheListing) {
  SetUpPair("Stock", "Orders");
  std::vector<std::string> names;
  table_->ListIndexNames(names);
  EXPECT_EQ(names.size(), 5u);
  EXPECT_FALSE(database_->Connected());
  EXPECT_EQ(database_->OpenCount(), 0);
  // What had to be opened above the database stays open.
  EXPECT_TRUE(DefaultSession()->Active());
  EXPECT_TRUE(FindAutoCommsEngine()->Active());
}

// The index list leaves out an index without a name; each listed index
// keeps its own number, which is what a rebuild must name.
TEST_P(TableTest, ListedIndexesKeepTheirDictionaryNumbersPastAnIndexWithoutName) {
  SetUpPair("Sales", "Gaps");
  std::vector<TqdIndexEntry> indexes;
  table_->ListIndexes(indexes);
  ASSERT_EQ(indexes.size(), 3u);
  std::vector<std::string> names;
  table_->ListIndexNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{kIndexZero, "ById", "ByCity"}));
  // The numbers are those of the table's own dictionary.
  table_->Open();
  auto* cursor = LiveObject<TQDClientTable>(table_->Handle());
  ASSERT_NE(cursor, nullptr);
  for (const TqdIndexEntry& index : indexes) {
    EXPECT_EQ(index.Number, cursor->Dictionary().IndexNumberOf(index.Name)) << index.Name;
  }
  EXPECT_EQ(indexes[2].Number, 3);
}

// A table whose indexes cannot be read says why, with the server's code
// and its words, instead of listing no indexes; once the table can be read
// again its indexes are listed.
TEST_P(TableTest, ATableHeldExclusivelyElsewhereFailsToListItsIndexes) {
  hDBIDb other = OpenSales();  // another client: the engine's own session and connection
  hDBICur held = nullptr;
  ASSERT_EQ(Engine().OpenTable(other, "Customers", nullptr, nullptr, nullptr, 0, dbiREADWRITE, dbiOPENEXCL, 0, false,
                               nullptr, held),
            qdOK);
  SetUpPair("Sales", "Customers");
  database_->SetConnected(true);
  std::vector<TqdIndexEntry> indexes;
  try {
    table_->ListIndexes(indexes);
    FAIL() << "listed " << indexes.size() << " indexes of a table held elsewhere";
  } catch (const EqdDatabaseError& e) {
    EXPECT_EQ(e.ErrorCode, qdErrNoExclusiveAccess);
    EXPECT_EQ(std::string(e.what()), EqdDatabaseError::CreateForCode(qdErrNoExclusiveAccess).what());
  }
  EXPECT_EQ(table_->DatabaseOpenCount(), 0);
  ASSERT_EQ(Engine().CloseCursor(held), qdOK);
  table_->ListIndexes(indexes);
  EXPECT_EQ(indexes.size(), kPartyIndexes.size());
}

// The cursor the table holds is no longer one (its object was freed behind
// the table's back): reading its indexes fails with the engine's code.
TEST_P(TableTest, IndexesThatCannotBeReadFromTheHeldCursorAreAFailure) {
  SetUpPair("Sales", "Customers");
  table_->Open();
  hDBICur copy = table_->Handle();
  ASSERT_EQ(Engine().CloseCursor(copy), qdOK);
  std::vector<TqdIndexEntry> indexes;
  try {
    table_->ListIndexes(indexes);
    FAIL() << "listed " << indexes.size() << " indexes of a cursor that is gone";
  } catch (const EqdDatabaseError& e) {
    EXPECT_EQ(e.ErrorCode, qdErrInvalidHandle);
  }
  EXPECT_FALSE(table_->IndexDefs().Updated);  // the next listing asks again
  table_->Close();
  table_->ListIndexes(indexes);
  EXPECT_EQ(indexes.size(), kPartyIndexes.size());
}

TEST_P(TableTest, ANameWithAPathAndExtensionOpensThePlainName) {
  SetUpPair("Sales", "C:\\DATA\\Customers.DAT");
  EXPECT_EQ(table_->TableName(), "Customers");
  table_->Open();
  EXPECT_TRUE(table_->Active());
  EXPECT_TRUE(table_->Proxy().Active());
  EXPECT_EQ(table_->DatabaseOpenCount(), 1);
  EXPECT_EQ(table_->FieldDefs().Count(), 7);
  EXPECT_GT(table_->RecordSize(), 0);
  // A new name closes the table.
  table_->SetTableName("Suppliers");
  EXPECT_FALSE(table_->Active());
  EXPECT_EQ(table_->DatabaseOpenCount(), 0);
  EXPECT_FALSE(database_->Connected());
}

TEST_P(TableTest, AChosenIndexIsOpenedByNameOrFieldsAndAMissingOneRefused) {
  SetUpPair("Sales", "Customers");
  struct Case {
    const char* indexName;
    const char* fieldNames;
    std::string error;
  };
  const Case cases[] = {
      {"byname", nullptr, ""},
      {nullptr, "City;Name", ""},
      {"Nope", nullptr, "Quilldrive: qdTable: Index name [Nope] does not exist [no error code]"},
      {nullptr, "Balance;Name", "Quilldrive: qdTable: Index name [Balance;Name] does not exist [no error code]"},
  };
  for (const Case& c : cases) {
    if (c.indexName != nullptr) table_->SetIndexName(c.indexName);
    if (c.fieldNames != nullptr) table_->SetIndexFieldNames(c.fieldNames);
    EXPECT_EQ(ErrorOf([&] { table_->Open(); }), c.error);
    EXPECT_EQ(table_->Active(), c.error.empty());
    table_->Close();
    EXPECT_EQ(table_->Handle(), nullptr);
    EXPECT_EQ(table_->DatabaseOpenCount(), 0);
    EXPECT_FALSE(database_->Connected());
  }
}

TEST_P(TableTest, ATableWithoutNameOrDatabaseSaysWhy) {
  SetUpPair("Sales", "");
  struct Case {
    const char* what;
    std::function<void()> action;
    std::string message;
  };
  const Case cases[] = {
      // The proxy, named after the table, opens before a cursor is asked for.
      {"open", [&] { table_->Open(); },
       "Quilldrive: <unnamed TqdTableProxy instance>: Cannot open DB object without specifying a DB name "
       "[no error code]"},
      {"index names", [&] { std::vector<std::string> names; table_->ListIndexNames(names); },
       "Quilldrive: qdTable: TqdTable.tcCreateHandle: no table name specified [no error code]"},
      {"field definitions", [&] { table_->UpdateFieldDefs(); },
       "Quilldrive: qdTable: The table is unnamed; cannot retrieve field information [no error code]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorOf(c.action), c.message) << c.what;
    EXPECT_EQ(table_->DatabaseOpenCount(), 0) << c.what;
    EXPECT_FALSE(database_->Connected()) << c.what;
  }
  table_->SetTableName("Customers");
  table_->SetDatabaseName("Unknown");
  EXPECT_EQ(ErrorOf([&] { table_->Open(); }),
            "Quilldrive: qdTable: Table cannot open its database: the database name is not set or doesn't exist "
            "[no error code]");
  EXPECT_FALSE(table_->Active());
}

// Chosen by its key fields, an index without a name is switched to by its
// number (an empty name alone would mean index 0).
TEST_P(TableTest, AnIndexWithoutNameChosenByItsFieldsIsTheOneTheCursorReads) {
  SetUpPair("Sales", "Gaps");
  table_->SetIndexFieldNames("Name");
  table_->Open();
  std::array<uint8_t, kIndexDescSize> current{};
  ASSERT_EQ(ClientEngine()->GetIndexDesc(table_->Handle(), 0, current.data()), qdOK);
  EXPECT_EQ(GetUInt16LE(&current[kIdxNumberOffset]), 2);
  EXPECT_EQ(GetUInt16LE(&current[kIdxKeyFieldsOffset]), 2);  // field 2, Name
}

// A table whose database component was freed goes on with another one, and
// closing the table closes that one again.
TEST_P(TableTest, ATableOutlivingItsDatabaseClosesTheNextOneAgain) {
  SetUpPair("Sales", "Customers");
  table_->Open();
  delete database_;
  EXPECT_FALSE(table_->Active());
  EXPECT_EQ(table_->DatabaseOpenCount(), 0);
  EXPECT_EQ(table_->DatabaseName(), "");  // let go of by the freed database
  TqdDatabase& next = Database("Next", "Sales");
  table_->SetDatabaseName("Next");
  for (int round = 0; round < 2; ++round) {
    table_->Open();
    EXPECT_EQ(next.OpenCount(), 1);
    table_->Close();
    EXPECT_FALSE(next.Connected()) << round;
  }
}

// Components read with their form open when it has loaded: the database
// (level 3) before the table's proxy (level 4).
TEST_P(TableTest, ComponentsOpenedWhileTheirFormIsReadOpenWhenItHasLoaded) {
  BeginReadingForm(form_);
  SetUpPair("Sales", "Customers");
  database_->SetConnected(true);
  table_->Open();
  EXPECT_FALSE(database_->Connected());
  EXPECT_FALSE(table_->Active());
  EXPECT_FALSE(DefaultSession()->Active());
  EndReadingForm(form_);
  EXPECT_TRUE(database_->Connected());
  EXPECT_TRUE(table_->Active());
  EXPECT_EQ(table_->DatabaseOpenCount(), 1);
  EXPECT_EQ(database_->OpenCount(), 2);  // its own open and the table's reference
  EXPECT_EQ(PendingOpenCount(), 0u);
  table_->Close();
  EXPECT_EQ(database_->OpenCount(), 1);
}

// As the window runs "Rebuild selected index": the alias, the table, the
// chosen index by its number, and the status polled until finished.
TEST_P(TableTest, AChosenIndexIsRebuiltByItsNumber) {
  SetUpPair("", "");
  std::vector<std::string> aliases;
  database_->OwningSession()->ListAliasNames(aliases);
  ASSERT_EQ(aliases, (std::vector<std::string>{"Sales", "Stock"}));
  table_->SetTableName("");
  database_->SetConnected(false);
  database_->SetAliasName("Sales");
  database_->SetConnected(true);
  std::vector<std::string> tables;
  database_->OwningSession()->ListTableNames("Sales", "", false, false, tables);
  ASSERT_NE(std::find(tables.begin(), tables.end(), "Gaps"), tables.end());
  table_->SetTableName("Gaps");
  std::vector<TqdIndexEntry> indexes;
  table_->ListIndexes(indexes);
  ASSERT_EQ(indexes.back().Name, "ByCity");
  int32_t task = kNoTask;
  CheckResult(ReIndexTable(database_->ClientDatabase(), "Gaps", indexes.back().Number, task));
  bool finished = false;
  TaskStatus status;
  while (!finished) CheckResult(GetTaskStatus(DefaultSession()->ClientSession()->Handle(), task, finished, status));
  EXPECT_TRUE(database_->Connected());
  EXPECT_EQ(database_->OpenCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Tcp, TableTest, testing::Values(true), test::ParamName);

}  // namespace
}  // namespace qd
