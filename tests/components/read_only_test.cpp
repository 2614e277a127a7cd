// A server table that may only be read, against an in-test peer that
// answers an open for writing with 10763: the table opens it read-only and
// says so, and a refusal of the read-only open too is reported.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <mutex>
#include <vector>
#include <filesystem>
#include <fstream>

#include "base/endian.h"
#include "base/result_codes.h"
#include "callif/QDCLSess.h"
#include "comms/msg_numbers.h"
#include "components/QDDB.h"
#include "components/table.h"
#include "error_text.h"
#include "tests/callif/open_table_sample.h"
#include "tests/comms/test_peer.h"
#include "tests/server/temp_dir.h"
#include "tests/support/free_port.h"

namespace qd {
namespace {

using test::ErrorOf;

constexpr size_t kOpenForWritingOffset = 72;  // in the open-table request

class ReadOnlyTableTest : public testing::Test {
 protected:
  void Start(bool refuseReadOnlyToo) {
    test::PeerBehaviour b;
    b.OnRequest = [this, refuseReadOnlyToo](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
      uint8_t id[4];
      PutInt32LE(id, 5);
      {
        std::lock_guard<std::mutex> guard(mutex_);
        messages_.push_back(r.MsgID);
      }
      switch (r.MsgID) {
        case msgOpenDatabase: e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, id); return true;
        case msgOpenTable: {
          bool writing = r.Data.size() > kOpenForWritingOffset && r.Data[kOpenForWritingOffset] != 0;
          ++(writing ? writeOpens_ : readOpens_);
          if (writing || refuseReadOnlyToo) {
            e.Reply(r.Connection, r.MsgID, qdErrTableReadOnly, kDataKindBlock, {});
          } else {
            e.Reply(r.Connection, r.MsgID, 0, kDataKindStream, test::OpenTableReply(9, 0));
          }
          return true;
        }
        case msgSetToBegin:
        case msgRelRecordLock:
        case msgCloseCursor:
        case msgCloseDatabase: e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, {}); return true;
        default: return false;
      }
    };
    peer_ = std::make_unique<test::TestPeer>(test::PeerTransport::kTCP, std::move(b));
    std::filesystem::create_directories(dir_.Path() + "/Brackwater");
    std::ofstream(dir_.Path() + "/Brackwater/Quilldrive.conf")
        << "[Client Configuration]\nProtocol = TCP/IP\nServerName = QDTEST@127.0.0.1\nServerPort = " << peer_->Port()
        << "\nClientDiscoveryPort = " << test::FreeLoopbackPort(SOCK_DGRAM) << "\nDiscoveryAddress = 127.0.0.1\n";
    setenv("XDG_CONFIG_DIRS", dir_.Path().c_str(), 1);
    InitializeComponentLayer();
    database_ = &CreateComponent<TqdDatabase>(form_);
    database_->SetDatabaseName("Shop");
    database_->SetAliasName("Shop");
    table_ = &CreateComponent<TqdTable>(form_);
    table_->SetName("qdTable");
    table_->SetDatabaseName("Shop");
    table_->SetTableName("Orders");
  }
  void TearDown() override {
    while (!form_.Components().empty()) delete form_.Components().back();
    FinalizeComponentLayer();
    peer_.reset();
    unsetenv("XDG_CONFIG_DIRS");
  }

  test::TempDir dir_;
  std::unique_ptr<test::TestPeer> peer_;
  TqdComponent form_{nullptr};
  TqdDatabase* database_ = nullptr;
  TqdTable* table_ = nullptr;
  std::atomic<int> writeOpens_{0};
  std::atomic<int> readOpens_{0};
  std::mutex mutex_;
  std::vector<TqdMsgID> messages_;  // every request the peer was sent, in order
};

TEST_F(ReadOnlyTableTest, ATableTheServerKeepsReadOnlyOpensReadOnlyAndSaysSo) {
  Start(false);
  table_->Open();
  EXPECT_TRUE(table_->Active());
  EXPECT_TRUE(table_->ReadOnly());
  EXPECT_EQ(table_->FieldDefs().Count(), 4);
  table_->Close();
  EXPECT_EQ(writeOpens_, 1);
  EXPECT_EQ(readOpens_, 1);
  table_->Open();  // asks read-only at once now
  EXPECT_EQ(writeOpens_, 1);
  EXPECT_EQ(readOpens_, 2);
}

// An open ends with the cursor set to its beginning; a close releases the
// record lock before the cursor goes.
TEST_F(ReadOnlyTableTest, OpenSetsToTheBeginningAndCloseReleasesTheRecordLock) {
  Start(false);
  table_->SetReadOnly(true);
  table_->Open();
  table_->Close();
  std::vector<TqdMsgID> tableMessages;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    for (TqdMsgID m : messages_)
      if (m == msgOpenTable || m == msgSetToBegin || m == msgRelRecordLock || m == msgCloseCursor)
        tableMessages.push_back(m);
  }
  EXPECT_EQ(tableMessages, (std::vector<TqdMsgID>{msgOpenTable, msgSetToBegin, msgRelRecordLock, msgCloseCursor}));
}

TEST_F(ReadOnlyTableTest, ARefusedReadOnlyOpenIsReportedAndLeavesTheTableClosed) {
  Start(true);
  EXPECT_EQ(ErrorOf([&] { table_->Open(); }),
            "Quilldrive: qdTable: BIG TROUBLE: we got a readonly error when using readonly [no error code]");
  EXPECT_FALSE(table_->Active());
  EXPECT_EQ(table_->DatabaseOpenCount(), 0);
  EXPECT_FALSE(database_->Connected());
  EXPECT_EQ(readOpens_, 1);
}

}  // namespace
}  // namespace qd
