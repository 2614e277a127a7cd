// The NetBIOS-over-TCP packets: the name encoding of RFC 1001, the exact
// bytes of each packet kind, and malformed input refused.
#include "platform/netbios/nbt_packets.h"

#include <gtest/gtest.h>

#include <string>

namespace qd {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
// The second-level form of a first-level encoded name.
Bytes Label(const std::string& firstLevel) { return Join({{32}, Text(firstLevel), {0}}); }

const std::string kFred = "EGFCEFEECACACACACACACACACACACACA";  // "FRED" and 12 blanks

TEST(NetBIOSNameTest, FirstLevelEncodingAsInRfc1001) {
  Bytes out(kEncodedNameSize);
  EncodeNetBIOSName(MakeNetBIOSName("FRED"), out.data());
  EXPECT_EQ(out, Label(kFred));
  auto back = DecodeNetBIOSName(out, 0);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->first, MakeNetBIOSName("FRED"));
  EXPECT_EQ(back->second, kEncodedNameSize);
  EXPECT_EQ(MakeNetBIOSName("ABCDEFGHIJKLMNOPQ"), MakeNetBIOSName("ABCDEFGHIJKLMNOP"));  // cut to 16
}

TEST(NetBIOSNameTest, MalformedNamesAreRefused) {
  struct Case {
    const char* what;
    Bytes bytes;
  };
  const Bytes whole = Label(kFred);
  const Case cases[] = {
      {"short", Bytes(whole.begin(), whole.end() - 1)},
      {"wrong length byte", Join({{31}, Text(kFred), {0}})},
      {"a letter above P", Join({{32}, Text("Z" + kFred.substr(1)), {0}})},
      {"a scope", Join({{32}, Text(kFred), {3}})},
      {"a pointer beyond the packet", Bytes{0xC0, 0x40}},
  };
  for (const Case& c : cases) EXPECT_FALSE(DecodeNetBIOSName(c.bytes, 0).has_value()) << c.what;
}

TEST(NamePacketTest, ExactBytesOfEachKind) {
  const uint32_t address = 0x0100007F;  // 127.0.0.1 in network order
  const Bytes record = {0x00, 0x20, 0x00, 0x01, 0, 0, 0, 0, 0x00, 0x06, 0x00, 0x00, 127, 0, 0, 1};
  struct Case {
    TqdNameOp op;
    Bytes bytes;
  };
  const Case cases[] = {
      {TqdNameOp::Registration,
       Join({{0x12, 0x34, 0x29, 0x10, 0, 1, 0, 0, 0, 0, 0, 1}, Label(kFred), {0x00, 0x20, 0x00, 0x01, 0xC0, 0x0C}, record})},
      {TqdNameOp::RegistrationRefused, Join({{0x12, 0x34, 0xAD, 0x86, 0, 0, 0, 1, 0, 0, 0, 0}, Label(kFred), record})},
      {TqdNameOp::Query, Join({{0x12, 0x34, 0x01, 0x10, 0, 1, 0, 0, 0, 0, 0, 0}, Label(kFred), {0x00, 0x20, 0x00, 0x01}})},
      {TqdNameOp::QueryAnswer, Join({{0x12, 0x34, 0x85, 0x00, 0, 0, 0, 1, 0, 0, 0, 0}, Label(kFred), record})},
  };
  for (const Case& c : cases) {
    TqdNamePacket p{0x1234, c.op, MakeNetBIOSName("FRED"), c.op == TqdNameOp::Query ? 0u : address};
    EXPECT_EQ(EncodeNamePacket(p), c.bytes) << static_cast<int>(c.op);
    auto back = DecodeNamePacket(c.bytes);
    ASSERT_TRUE(back.has_value()) << static_cast<int>(c.op);
    EXPECT_EQ(back->Op, c.op);
    EXPECT_EQ(back->Id, 0x1234);
    EXPECT_EQ(back->Name, p.Name);
    EXPECT_EQ(back->Address, p.Address);
    // Every shorter packet is refused, never read past its end.
    for (size_t n = 0; n < c.bytes.size(); ++n)
      EXPECT_FALSE(DecodeNamePacket(Bytes(c.bytes.begin(), c.bytes.begin() + static_cast<std::ptrdiff_t>(n))))
          << static_cast<int>(c.op) << " cut to " << n;
  }
}

TEST(SessionPacketTest, HeaderAndRequestBytes) {
  Bytes header(kSessionHeaderSize);
  EncodeSessionHeader(kSessionMessage, 0x1ABCD, header.data());
  EXPECT_EQ(header, (Bytes{0x00, 0x01, 0xAB, 0xCD}));
  auto decoded = DecodeSessionHeader(header);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->Length, 0x1ABCDu);
  EXPECT_FALSE(DecodeSessionHeader(Bytes{0x00, 0x02, 0, 0}).has_value());  // reserved flag bits
  EXPECT_FALSE(DecodeSessionHeader(Bytes{0x00, 0x00, 0}).has_value());

  Bytes request = EncodeSessionRequest(MakeNetBIOSName("FRED"), MakeNetBIOSName("FRED"));
  EXPECT_EQ(request, Join({{0x81, 0x00, 0x00, 0x44}, Label(kFred), Label(kFred)}));
  auto names = DecodeSessionRequestBody(Bytes(request.begin() + 4, request.end()));
  ASSERT_TRUE(names.has_value());
  EXPECT_EQ(names->Called, MakeNetBIOSName("FRED"));
  EXPECT_FALSE(DecodeSessionRequestBody(Bytes(request.begin() + 4, request.end() - 1)).has_value());
}

TEST(DatagramPacketTest, ExactBytesAndMalformedPackets) {
  TqdDatagramPacket p;
  p.Type = kBroadcastDatagram;
  p.Id = 0x0102;
  p.SourceAddress = 0x0100007F;
  p.SourcePort = 138;
  p.Source = MakeNetBIOSName("FRED");
  p.Destination = BroadcastDatagramName();
  p.Data = {6, 0, 0, 0};
  Bytes star = Join({{32, 'C', 'K'}, Bytes(30, 'A'), {0}});  // "*" and 15 zero bytes
  Bytes bytes = Join({{0x12, 0x02, 0x01, 0x02, 127, 0, 0, 1, 0x00, 0x8A, 0x00, 0x48, 0x00, 0x00}, Label(kFred), star,
                      {6, 0, 0, 0}});
  EXPECT_EQ(EncodeDatagramPacket(p), bytes);
  auto back = DecodeDatagramPacket(bytes);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->Data, p.Data);
  EXPECT_EQ(back->Destination, p.Destination);
  EXPECT_EQ(back->SourcePort, 138);
  struct Case {
    const char* what;
    size_t offset;
    uint8_t value;
  };
  const Case cases[] = {
      {"an unknown type", 0, 0x14},
      {"a length beyond the packet", 11, 0x49},
      {"a length short of the names", 11, 0x40},
      {"a bad name", 15, 'Z'},
  };
  for (const Case& c : cases) {
    Bytes bad = bytes;
    bad[c.offset] = c.value;
    EXPECT_FALSE(DecodeDatagramPacket(bad).has_value()) << c.what;
  }
  EXPECT_FALSE(DecodeDatagramPacket(Bytes(bytes.begin(), bytes.begin() + 80)).has_value());
}

}  // namespace
}  // namespace qd
