// Exact bytes of every record against the byte tables of the protocol.
#include <gtest/gtest.h>

#include <vector>

#include "comms/QDNetMsg.h"
#include "comms/bundle.h"
#include "comms/discovery.h"

namespace qd {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Zeros(size_t n) { return Bytes(n, 0); }
Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

TEST(MsgHeaderTest, EncodesEveryFieldAtItsOffset) {
  TqdMsgHeader h;
  h.MsgID = 0x0103;
  h.MsgLen = 64;
  h.TotalSize = 40;
  h.ClientID = 0x11223344;
  h.ResultCode = 0x2C0C;
  h.Timeout = 10000;
  h.FirstPart = 1;
  h.LastPart = 0;
  h.DataKind = 1;
  uint8_t out[kMsgHeaderSize];
  EncodeMsgHeader(h, out);
  const Bytes expected = {0x03, 0x01, 0, 0, 0x40, 0, 0, 0, 0x28, 0, 0, 0, 0x44, 0x33, 0x22, 0x11,
                          0x0C, 0x2C, 0x10, 0x27, 1, 0, 1, 0};
  EXPECT_EQ(Bytes(out, out + 24), expected);
  TqdMsgHeader back = DecodeMsgHeader(out);
  EXPECT_EQ(back.MsgID, h.MsgID);
  EXPECT_EQ(back.ClientID, h.ClientID);
  EXPECT_EQ(back.ResultCode, h.ResultCode);
  EXPECT_EQ(back.Timeout, 10000);
  EXPECT_EQ(back.LastPart, 0);
  EXPECT_EQ(PeekMsgID(out), 0x0103u);
  EXPECT_EQ(PeekMsgLen(out), 64u);
}

TEST(MsgHeaderTest, PartAcknowledgementIsABareHeader) {
  uint8_t out[kMsgHeaderSize];
  EncodeMsgHeader(PartAckHeader(0x0A0B0C0D), out);
  const Bytes expected = {5, 0, 0, 0, 24, 0, 0, 0, 0, 0, 0, 0, 0x0D, 0x0C, 0x0B, 0x0A,
                          0, 0, 0, 0, 1, 1, 0, 0};
  EXPECT_EQ(Bytes(out, out + 24), expected);
}

TEST(MsgHeaderTest, SoundnessCatchesHeadersThatCannotBeRight) {
  auto header = [](uint32_t len, uint32_t total, uint8_t first, uint8_t last, uint8_t kind) {
    TqdMsgHeader h;
    h.MsgLen = len;
    h.TotalSize = total;
    h.FirstPart = first;
    h.LastPart = last;
    h.DataKind = kind;
    return h;
  };
  struct Case {
    TqdMsgHeader h;
    size_t part;
    bool sound;
  };
  const Case cases[] = {
      {header(24, 0, 1, 1, 0), 24, true},
      {header(34, 10, 1, 1, 1), 34, true},
      {header(4096, 5000, 1, 0, 0), 4096, true},
      {header(1 + 24, 5000, 0, 1, 0), 25, true},
      {header(24, 0, 2, 1, 0), 24, false},        // flag not 0 or 1
      {header(24, 0, 1, 7, 0), 24, false},
      {header(24, 0, 1, 1, 9), 24, false},
      {header(23, 0, 1, 1, 0), 23, false},        // shorter than a header
      {header(4097, 9000, 1, 0, 0), 4097, false},  // longer than the transport's part
      {header(30, 0, 1, 1, 0), 24, false},        // MsgLen is not the part's length
      {header(34, 5, 1, 0, 0), 34, false},        // first part carries more than the total
      {header(34, 20, 1, 1, 0), 34, false},       // one part that is not the whole message
      {header(24, kMaxMessageDataSize + 1, 1, 0, 0), 24, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsSoundHeader(c.h, c.part, 4096), c.sound) << c.h.MsgLen << "/" << c.h.TotalSize;
}

TEST(AttachRecordsTest, RequestHoldsTwoShortStringsOfCapacity31) {
  uint8_t out[kAttachRequestSize];
  EncodeAttachRequest({"PC1", std::string(40, 'u')}, out);
  Bytes expected = Concat({{3}, Text("PC1"), Zeros(28), {31}, Bytes(31, 'u')});
  EXPECT_EQ(Bytes(out, out + 64), expected);
  auto back = DecodeAttachRequest(out, sizeof out);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->ClientName, "PC1");
  EXPECT_EQ(back->UserName, std::string(31, 'u'));
  EXPECT_FALSE(DecodeAttachRequest(out, 63).has_value());
}

TEST(AttachRecordsTest, ReplyFieldsAtTheirOffsets) {
  TqdAttachReply r{0x01020304, 15200, -2, 5000, 2500, 5, true};
  uint8_t out[kAttachReplySize];
  EncodeAttachReply(r, out);
  const Bytes expected = {4, 3, 2, 1, 0x60, 0x3B, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0x88, 0x13, 0, 0,
                          0xC4, 0x09, 0, 0, 5, 0, 0, 0, 1};
  EXPECT_EQ(Bytes(out, out + 25), expected);
  TqdAttachReply back = DecodeAttachReply(out);
  EXPECT_EQ(back.ScramblingCode, -2);
  EXPECT_TRUE(back.Secure);
  out[24] = 2;  // only 1 means secure
  EXPECT_FALSE(DecodeAttachReply(out).Secure);
}

TEST(AttachRecordsTest, VersionsAreComparedInHundreds) {
  struct Case {
    int32_t version;
    bool accepted;
  };
  for (Case c : {Case{15199, false}, Case{15200, true}, Case{15299, true}, Case{20000, true},
                 Case{0, false}, Case{-15200, false}})
    EXPECT_EQ(IsServerVersionAccepted(c.version), c.accepted) << c.version;
}

TEST(HeaderlessMessagesTest, KeepAliveAndDiscoveryDatagrams) {
  uint8_t keepAlive[kKeepAliveSize];
  EncodeKeepAlive(keepAlive);
  EXPECT_EQ(Bytes(keepAlive, keepAlive + 4), (Bytes{10, 0, 0, 0}));
  EXPECT_TRUE(IsKeepAlive(keepAlive, 4));
  EXPECT_FALSE(IsKeepAlive(keepAlive, 3));

  uint8_t find[kFindServersSize];
  EncodeFindServers(find);
  EXPECT_EQ(Bytes(find, find + 4), (Bytes{6, 0, 0, 0}));
  EXPECT_TRUE(IsFindServers(find, 4));

  uint8_t here[kServerHereSize];
  EncodeServerHere({"QD", "10.0.0.1"}, here);
  Bytes expected = Concat({{7, 0, 0, 0, 2}, Text("QD"), Zeros(29), {8}, Text("10.0.0.1"), Zeros(23)});
  EXPECT_EQ(Bytes(here, here + kServerHereSize), expected);
}

TEST(HeaderlessMessagesTest, ServerHereIsReadWithinTheDatagram) {
  Bytes good = Concat({{7, 0, 0, 0, 2}, Text("QD"), Zeros(29), {9}, Text("127.0.0.1")});
  auto here = DecodeServerHere(good.data(), good.size());
  ASSERT_TRUE(here.has_value());
  EXPECT_EQ(ServerListEntry(*here), "QD@127.0.0.1");
  EXPECT_EQ(ServerListEntry({"QD", "QD"}), "QD");
  EXPECT_EQ(ServerListEntry({std::string(31, 'n'), std::string(40, 'a')}).size(), 63u);

  Bytes lying = Concat({{7, 0, 0, 0, 200}, Zeros(31), {90}, Text("abc")});  // lengths past the end
  here = DecodeServerHere(lying.data(), lying.size());
  ASSERT_TRUE(here.has_value());
  EXPECT_EQ(here->Name.size(), 31u);
  EXPECT_EQ(here->Address, "abc");
  EXPECT_FALSE(DecodeServerHere(good.data(), 36).has_value());  // no address length byte
  Bytes other = good;
  other[0] = 6;
  EXPECT_FALSE(DecodeServerHere(other.data(), other.size()).has_value());
}

TEST(BundleTest, RecordsAreBuiltAndSplitByteExactly) {
  Bytes bundle;
  const Bytes a = {1, 2, 3};
  AppendBundleRecord(bundle, 771, 0, 0, a);
  AppendBundleRecord(bundle, 258, 0, 1, {});
  const Bytes expected = {0x03, 0x03, 0, 0, 15, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3,
                          0x02, 0x01, 0, 0, 12, 0, 0, 0, 0, 0, 1, 0};
  EXPECT_EQ(bundle, expected);
  std::vector<TqdBundleRecord> records;
  ASSERT_TRUE(ParseBundle(bundle, records));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].MsgID, 771u);
  EXPECT_EQ(Bytes(records[0].Data.begin(), records[0].Data.end()), a);
  EXPECT_EQ(records[1].DataKind, 1);
  EXPECT_TRUE(records[1].Data.empty());
}

TEST(BundleTest, MalformedBundlesAreRefused) {
  auto bundleOf = [](std::initializer_list<std::pair<uint32_t, uint16_t>> recs) {
    Bytes b;
    for (auto [id, code] : recs) AppendBundleRecord(b, id, code, 0, Bytes{9, 9});
    return b;
  };
  Bytes good = bundleOf({{1, 0}, {2, 0}});
  struct Case {
    const char* what;
    Bytes data;
    bool ok;
    size_t records;
  };
  Bytes shortLength = good;
  shortLength[4] = 11;  // a record shorter than its own header
  Bytes pastEnd = good;
  pastEnd[14 + 4] = 200;  // the second record reaches past the data
  Bytes badKind = good;
  badKind[10] = 3;
  Bytes tail = good;
  tail.push_back(0);  // bytes left that hold no record
  Bytes failedFirst = bundleOf({{1, 0x2C0C}, {2, 0}});
  failedFirst[14 + 4] = 200;  // never read: the rest is dropped after a failed first reply
  const Case cases[] = {
      {"good", good, true, 2},          {"empty", {}, false, 0},
      {"short length", shortLength, false, 0}, {"past end", pastEnd, false, 0},
      {"bad kind", badKind, false, 0},  {"trailing byte", tail, false, 0},
      {"failed first", failedFirst, true, 1},
  };
  for (const Case& c : cases) {
    std::vector<TqdBundleRecord> records;
    EXPECT_EQ(ParseBundle(c.data, records), c.ok) << c.what;
    EXPECT_EQ(records.size(), c.records) << c.what;
  }
}

}  // namespace
}  // namespace qd
