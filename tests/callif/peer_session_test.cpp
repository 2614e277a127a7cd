// Sessions and maintenance requests against an in-test peer that scripts
// its answers: which messages a session sends, and replies that are short
// or stale.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/endian.h"
#include "callif/QDCLSess.h"
#include "callif/QDClTabl.h"
#include "callif/QDTTDbas.h"
#include "callif/catalogue.h"
#include "callif/request_records.h"
#include "callif/maintenance.h"
#include "callif/request_path.h"
#include "comms/msg_numbers.h"
#include "tests/comms/test_peer.h"

namespace qd {
namespace {

using test::PeerBehaviour;
using test::PeerTransport;
using test::TestPeer;

class PeerSessionTest : public testing::Test {
 protected:
  void Start(PeerBehaviour b) {
    b.OnRequest = [this, inner = b.OnRequest](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
      if (r.MsgID == msgOpenSession) {
        uint8_t id[4];
        PutInt32LE(id, 4242);
        e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, id);
        return true;
      }
      if (r.MsgID == msgCloseSession) {
        closedIds_.push_back(GetInt32LE(r.Data.data()));
        e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, {});
        return true;
      }
      return inner && inner(e, r);
    };
    peer_ = std::make_unique<TestPeer>(PeerTransport::kTCP, std::move(b));
    comms_ = std::make_unique<TqdClientCommsEngine>("tester", TCPIPProtocolClass());
    comms_->Startup();
    static_cast<TqdWinsockProtocol&>(comms_->Transport()).Endpoints.StreamPort = peer_->Port();
  }
  size_t Count(TqdMsgID id) {
    auto r = peer_->Received();
    return static_cast<size_t>(std::count(r.begin(), r.end(), id));
  }
  std::unique_ptr<TestPeer> peer_;
  std::unique_ptr<TqdClientCommsEngine> comms_;
  std::vector<int32_t> closedIds_;  // written on the peer thread, read after it is quiet
};

TEST_F(PeerSessionTest, ASecondSessionOpensOnlyAServerSession) {
  Start({});
  auto first = std::make_unique<TqdClientSession>(nullptr, nullptr, nullptr, nullptr, comms_.get());
  first->SetServerName("QDTEST@127.0.0.1");
  ASSERT_EQ(first->Connect(), qdOK);
  EXPECT_EQ(Count(msgOpenSession), 0u);  // the first session of a connection is the client's own
  auto second = std::make_unique<TqdClientSession>(nullptr, nullptr, nullptr, nullptr, comms_.get());
  ASSERT_EQ(second->Connect(), qdOK);
  EXPECT_EQ(second->ServerSessionId(), 4242);
  EXPECT_EQ(Count(msgOpenSession), 1u);
  EXPECT_EQ(Count(msgAttach), 1u);
  second.reset();
  first.reset();
  ASSERT_TRUE(peer_->WaitUntil([&] { return Count(msgCloseSession) == 2; }));
  peer_.reset();
  EXPECT_EQ(closedIds_, (std::vector<int32_t>{4242, 0}));
}

// A status reply shorter than its record is refused; nothing of an
// earlier reply is taken for its found flag or its Finished byte.
TEST_F(PeerSessionTest, AShortStatusReplyIsNeverReadFromStaleBytes) {
  PeerBehaviour b;
  int answers = 0;
  b.OnRequest = [&](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID != msgGetTaskStatus) return false;
    uint8_t reply[33] = {};
    reply[28] = 1;  // finished
    reply[32] = 1;  // found
    // The first answer is whole; later ones stop before the found flag.
    e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, {reply, answers++ == 0 ? 33u : 20u});
    return true;
  };
  Start(std::move(b));
  TqdClientSession session(nullptr, nullptr, nullptr, nullptr, comms_.get());
  session.SetServerName("QDTEST@127.0.0.1");
  ASSERT_EQ(session.Connect(), qdOK);
  bool finished = false;
  TaskStatus status;
  ASSERT_EQ(GetTaskStatus(session.Handle(), 7, finished, status), qdOK);
  EXPECT_TRUE(finished);
  finished = false;
  EXPECT_NE(GetTaskStatus(session.Handle(), 7, finished, status), qdOK);
  EXPECT_FALSE(finished);
}

// Rows come whole or not at all: a short remainder ends the list.
TEST_F(PeerSessionTest, ListsEndAtAShortRow) {
  PeerBehaviour b;
  b.OnRequest = [](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    std::vector<uint8_t> rows;
    if (r.MsgID == msgGetAliasList) {
      rows.assign(kAliasRowSize + 100, 0);
      PutShortString(rows.data(), "Sales", 31);
      PutShortString(rows.data() + 32, "/data/sales", 219);
    } else if (r.MsgID == msgGetTableList) {
      rows.assign(kTableRowSize + 20, 0);
      PutShortString(rows.data(), "ORDERS", 31);
      PutShortString(rows.data() + 32, "DAT", 3);
      PutInt32LE(rows.data() + 36, 9);
    } else if (r.MsgID == msgOpenDatabase) {
      uint8_t id[4] = {5, 0, 0, 0};
      e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, id);
      return true;
    } else {
      return false;
    }
    e.Reply(r.Connection, r.MsgID, 0, kDataKindStream, rows);
    return true;
  };
  Start(std::move(b));
  TqdClientSession session(nullptr, nullptr, nullptr, nullptr, comms_.get());
  session.SetServerName("QDTEST@127.0.0.1");
  ASSERT_EQ(session.Connect(), qdOK);
  TttBaseTable* aliases = nullptr;
  ASSERT_EQ(session.OpenDatabaseList(aliases), qdOK);
  std::vector<uint8_t> desc(kDatabaseDescSize, 0xEE);
  uint8_t properties[4] = {1, 1, 1, 1};
  ASSERT_EQ(aliases->GetNextRecord(0, desc.data(), properties), qdOK);
  EXPECT_EQ(GetZeroText(&desc[kDbDescNameOffset], 31), "Sales");
  EXPECT_EQ(GetZeroText(&desc[kDbDescPhysicalNameOffset], 260), "/data/sales");
  EXPECT_EQ(GetUInt32LE(properties), 0u);
  EXPECT_EQ(aliases->GetNextRecord(0, desc.data(), nullptr), qdErrEOF);
  EXPECT_EQ(desc[0], 0);  // zero-filled even at the end
  delete aliases;
  // A row read without a buffer is still consumed.
  ASSERT_EQ(session.OpenDatabaseList(aliases), qdOK);
  EXPECT_EQ(aliases->GetNextRecord(0, nullptr, nullptr), qdOK);
  EXPECT_EQ(aliases->GetNextRecord(0, desc.data(), nullptr), qdErrEOF);
  EXPECT_EQ(aliases->CloseCursor(), qdOK);
  EXPECT_EQ(aliases->CloseCursor(), qdErrInvalidHandle);

  TttBaseDatabase* db = nullptr;
  ASSERT_EQ(session.OpenDatabaseInternal(nullptr, 0, 0, nullptr, 0, nullptr, nullptr, db), qdOK);
  TttBaseTable* tables = nullptr;
  ASSERT_EQ(db->OpenTableList(false, false, "ORD*", tables), qdOK);
  std::vector<uint8_t> row(kTableDescSize);
  ASSERT_EQ(tables->GetNextRecord(0, row.data(), nullptr), qdOK);
  EXPECT_EQ(GetZeroText(&row[kTblDescFileNameOffset], 260), "ORDERS.DAT");
  EXPECT_EQ(GetInt32LE(&row[kTblDescSizeOffset]), 9);
  EXPECT_EQ(tables->GetNextRecord(0, row.data(), nullptr), qdErrEOF);
}

TEST(RequestPathTest, TheReplyBufferIsZeroedAndNoEngineAnswers11271) {
  uint8_t reply[8];
  std::fill(std::begin(reply), std::end(reply), 0xAB);
  uint32_t received = 99;
  EXPECT_EQ(SendRequest(nullptr, msgGetTaskStatus, TqdRequestData{},
                        TqdReplyTarget{.Buffer = reply, .Length = sizeof reply, .Received = &received}),
            qdErrNetUnknown);
  EXPECT_TRUE(std::all_of(std::begin(reply), std::end(reply), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(received, 0u);
}

// A BLOB reply that claims more than it holds, or more than was asked for,
// fills no more of the caller's buffer than both allow; a free answered
// 13058 clears the field here and sends no record.
TEST_F(PeerSessionTest, BlobRepliesAreNeverTrustedBeyondTheAskOrTheBytes) {
  PeerBehaviour b;
  b.OnRequest = [](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID == msgGetBlob) {
      std::vector<uint8_t> reply(4 + 8, 'x');
      PutUInt32LE(reply.data(), 1000000);  // far more than it sends
      e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, reply);
      return true;
    }
    if (r.MsgID == msgFreeBlob) {
      e.Reply(r.Connection, r.MsgID, qdErrBlobModified, kDataKindBlock, {});
      return true;
    }
    return false;
  };
  Start(std::move(b));
  TqdClientSession session(nullptr, nullptr, nullptr, nullptr, comms_.get());
  session.SetServerName("QDTEST@127.0.0.1");
  ASSERT_EQ(session.Connect(), qdOK);
  TQDClientTable table(nullptr, nullptr, "Notes", nullptr, 0, 0, 0, 0, comms_.get());
  table.Dictionary().AddField("Id", "", fkInt32, 10, 0, true);
  table.Dictionary().AddField("Memo", "", fkBlobMemo, 0, 0, false);
  table.BuildFieldDescs();
  std::vector<uint8_t> record(static_cast<size_t>(table.RecordLength()));
  table.InitRecord(record.data());
  uint8_t number[4];
  PutInt32LE(number, 77);
  table.Dictionary().WriteFieldValue(1, record.data(), number);
  for (uint32_t asked : {5u, 100u}) {
    std::vector<uint8_t> buffer(asked);  // exactly what is asked: ASan sees any overrun
    uint32_t read = 0;
    ASSERT_EQ(table.GetBlob(record.data(), 2, 0, asked, buffer.data(), read), qdOK);
    EXPECT_EQ(read, std::min(asked, 8u));
  }
  EXPECT_EQ(table.FreeBlob(record.data(), 2), qdErrBlobModified);
  EXPECT_TRUE(table.Dictionary().FieldIsNull(1, record.data()));
  EXPECT_EQ(Count(msgModifyRecord), 0u);
}

}  // namespace
}  // namespace qd
