// The table component's BLOB streams against qd-server, on a table "Notes"
// (Id, Memo) made for the test: written in a record being inserted, read
// back, sought from the end, and refused while filtering, for a read-only
// field and outside edit or insert.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "callif/QDClEng.h"
#include "callif/QDClTabl.h"
#include "error_text.h"
#include "server_fixture.h"
#include "tests/support/notes_table.h"

namespace qd {
namespace {

using test::ErrorOf;

class BlobStreamTest : public test::ComponentServerTest {
 protected:
  void OpenNotes() {
    test::MakeNotesTable(dir_.Path() + "/sales");
    Database("RIMain", "Sales").SetSessionName("[automatic]");
    table_ = &Table("RIMain", "Notes");
    table_->SetSessionName("[automatic]");
    table_->Open();
    record_.assign(static_cast<size_t>(table_->RecordSize()), 0);
    ASSERT_EQ(ClientEngine()->InitRecord(table_->Handle(), record_.data()), qdOK);
  }
  TqdBlobRecord Editing() { return {record_.data(), false, true, [this](TqdBlobField&) { ++changes_; }}; }

  TqdTable* table_ = nullptr;
  std::vector<uint8_t> record_;
  TqdBlobField memo_{"Memo", 2};
  int changes_ = 0;
};

TEST_P(BlobStreamTest, WrittenInAnInsertAndReadBack) {
  OpenNotes();
  {
    auto stream = table_->CreateBlobStream(memo_, TqdBlobStreamMode::Write, Editing());
    EXPECT_EQ(stream->Write("hello, ", 7), 7);
    EXPECT_EQ(stream->Write("world", 5), 5);
  }
  EXPECT_TRUE(memo_.Modified);
  EXPECT_EQ(changes_, 1);
  ASSERT_EQ(ClientEngine()->InsertRecord(table_->Handle(), 0, record_.data()), qdOK);

  std::vector<uint8_t> stored(record_.size());
  ASSERT_EQ(ClientEngine()->SetToBegin(table_->Handle()), qdOK);
  ASSERT_EQ(ClientEngine()->GetNextRecord(table_->Handle(), 0, stored.data(), nullptr), qdOK);
  TqdBlobField memo{"Memo", 2};
  auto reader = table_->CreateBlobStream(memo, TqdBlobStreamMode::Read, {stored.data(), false, false, {}});
  char text[32] = {};
  EXPECT_EQ(reader->Read(text, 5), 5);
  EXPECT_EQ(reader->Read(text + 5, 100), 7);
  EXPECT_EQ(std::string(text), "hello, world");
  EXPECT_EQ(reader->Read(text, 10), 0);  // at the end
  EXPECT_EQ(reader->Seek(-5, 2), 7);
  EXPECT_EQ(reader->Read(text, 10), 5);
  EXPECT_EQ(reader->Seek(100, 0), 100);
  EXPECT_EQ(reader->Read(text, 10), 0);  // past the end
}

TEST_P(BlobStreamTest, RefusedWhereItCannotWork) {
  OpenNotes();
  TqdBlobRecord filtering = Editing();
  filtering.Filtering = true;
  EXPECT_EQ(ErrorOf([&] { table_->CreateBlobStream(memo_, TqdBlobStreamMode::Read, filtering); }),
            "Quilldrive: qdTable: No access to field whilst table is being filtered [no error code]");
  TqdBlobField readOnly{"Memo", 2, true};
  EXPECT_EQ(ErrorOf([&] { table_->CreateBlobStream(readOnly, TqdBlobStreamMode::ReadWrite, Editing()); }),
            "Quilldrive: qdTable: The field is readonly but BLOB stream is being opened for read/write access "
            "[no error code]");
  TqdBlobRecord browsing = Editing();
  browsing.Editing = false;
  EXPECT_EQ(ErrorOf([&] { table_->CreateBlobStream(memo_, TqdBlobStreamMode::Write, browsing); }),
            "Quilldrive: qdTable: The BLOB stream is being opened for read/write access but the table is not "
            "being edited [no error code]");
  // Without a current record nothing is opened, and nothing is read.
  auto none = table_->CreateBlobStream(memo_, TqdBlobStreamMode::Read, {});
  char byte;
  EXPECT_EQ(none->Read(&byte, 1), 0);
}

INSTANTIATE_TEST_SUITE_P(Transports, BlobStreamTest, testing::Bool(), test::ParamName);

}  // namespace
}  // namespace qd
