// BLOBs through a client cursor against qd-server, on a table "Notes" (Id,
// Memo) made in the server's store for the test: written, read across the
// end, truncated, freed, and kept or removed by a pack.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "callif/QDClTabl.h"
#include "dict/QDCLConv.h"
#include "tests/support/notes_table.h"
#include "tests/callif/cursor_fixture.h"
#include "tests/callif/poll_task.h"

namespace qd {
namespace {

class BlobsTest : public test::CursorServerTest {
 protected:
  void OpenNotes() {
    test::MakeNotesTable(dir_.Path() + "/sales");
    db_ = OpenSales();
    cursor_ = OpenTable(db_, "Notes");
    table_ = LiveObject<TQDClientTable>(cursor_);
    ASSERT_NE(table_, nullptr);
    record_.assign(static_cast<size_t>(table_->RecordLength()), 0);
  }
  // A new record with Id `id`; its Memo holds `memo` unless that is empty.
  void Insert(int32_t id, const std::string& memo) {
    table_->InitRecord(record_.data());
    ASSERT_EQ(table_->TranslatePut(1, record_.data(), &id), qdOK);
    if (!memo.empty()) {
      ASSERT_EQ(table_->PutBlob(record_.data(), 2, 0, static_cast<uint32_t>(memo.size()),
                                reinterpret_cast<const uint8_t*>(memo.data())),
                qdOK);
    }
    ASSERT_EQ(table_->InsertRecord(dbiNOLOCK, record_.data()), qdOK);
  }
  std::string Read(uint32_t offset, uint32_t length, TqdResult expected = qdOK) {
    std::vector<uint8_t> buffer(length);
    uint32_t read = 0;
    EXPECT_EQ(table_->GetBlob(record_.data(), 2, offset, length, buffer.data(), read), expected);
    return std::string(buffer.begin(), buffer.begin() + read);
  }
  uint32_t Size() {
    uint32_t size = 0;
    EXPECT_EQ(table_->GetBlobSize(record_.data(), 2, size), qdOK);
    return size;
  }
};

TEST_P(BlobsTest, WrittenReadTruncatedAndFreed) {
  OpenNotes();
  Insert(1, "0123456789");
  ASSERT_EQ(table_->GetRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Size(), 10u);
  EXPECT_EQ(Read(0, 10), "0123456789");
  EXPECT_EQ(Read(4, 100), "456789");  // across the end: what there is
  EXPECT_EQ(Read(10, 5, qdErrEndOfBlob), "");
  EXPECT_EQ(Read(11, 5, qdErrBlobOffset), "");
  ASSERT_EQ(table_->PutBlob(record_.data(), 2, 10, 2, reinterpret_cast<const uint8_t*>("ab")), qdOK);
  EXPECT_EQ(Read(8, 10), "89ab");
  ASSERT_EQ(table_->TruncateBlob(record_.data(), 2, 3), qdOK);
  EXPECT_EQ(Read(0, 10), "012");
  EXPECT_EQ(table_->TruncateBlob(record_.data(), 2, 5), qdErrBlobOffset);
  EXPECT_EQ(table_->FreeBlob(record_.data(), 2), qdOK);
  EXPECT_EQ(Size(), 3u);  // freeing changes nothing: the record still names it
}

TEST_P(BlobsTest, AFieldWithoutABlob) {
  OpenNotes();
  Insert(2, "");
  std::vector<uint8_t> buffer(4);
  uint32_t read = 0, size = 0;
  EXPECT_EQ(table_->GetBlob(record_.data(), 2, 0, 4, buffer.data(), read), qdErrInvalidBlobHandle);
  EXPECT_EQ(table_->GetBlobSize(record_.data(), 2, size), qdErrInvalidBlobHandle);
  EXPECT_EQ(table_->TruncateBlob(record_.data(), 2, 0), qdOK);
  EXPECT_EQ(table_->TruncateBlob(record_.data(), 2, 1), qdErrBlobOffset);
  EXPECT_EQ(table_->GetBlob(record_.data(), 1, 0, 4, buffer.data(), read), qdErrInvalidBlobHandle);  // not a BLOB field
  EXPECT_EQ(table_->GetBlob(record_.data(), 3, 0, 4, buffer.data(), read), qdErrOutOfRange);
}

// A pack keeps the BLOBs live records name and removes the abandoned ones.
TEST_P(BlobsTest, APackRemovesOnlyTheBlobsNoRecordNames) {
  OpenNotes();
  Insert(3, "kept");
  std::vector<uint8_t> kept = record_;
  table_->InitRecord(record_.data());
  ASSERT_EQ(table_->PutBlob(record_.data(), 2, 0, 9, reinterpret_cast<const uint8_t*>("abandoned")), qdOK);
  std::vector<uint8_t> abandoned = record_;  // never saved
  int32_t task = kNoTask;
  ASSERT_EQ(PackTable(db_, "Notes", task), qdOK);
  EXPECT_EQ(test::PollToFinished(Engine().CurrentSession()->Handle(), task), 100);
  record_ = kept;
  EXPECT_EQ(Read(0, 10), "kept");
  record_ = abandoned;
  uint32_t size = 0;
  EXPECT_EQ(table_->GetBlobSize(record_.data(), 2, size), qdErrInvalidBlobHandle);
}

INSTANTIATE_TEST_SUITE_P(Transports, BlobsTest, testing::Bool(), test::ParamName);

}  // namespace
}  // namespace qd
