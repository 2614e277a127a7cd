// The IPX/SPX emulation: the IPX header's exact bytes, the node and socket
// mapping onto IPv4, and datagrams through real UDP sockets on loopback.
#include "platform/ipx_emulation.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "tests/support/free_port.h"

namespace qd {
namespace {

using Bytes = std::vector<uint8_t>;

TqdIpxSocketAddress At(const char* text, uint16_t socket) { return {*ParseIpxAddress(text), socket}; }

TEST(IpxHeaderTest, ExactBytesInNetworkOrder) {
  TqdIpxHeader header;
  header.Length = 34;
  header.Destination = At("00000000:FF-FF-FF-FF-FF-FF", 0x6065);
  header.Source = At("0000ABCD:00-00-7F-00-00-01", 0x6165);
  Bytes bytes(kIpxHeaderSize);
  EncodeIpxHeader(header, bytes.data());
  const Bytes expected = {0xFF, 0xFF, 0x00, 0x22, 0x00, 0x04,                                      // checksum, length, hops, type
                          0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x60, 0x65,  // destination
                          0x00, 0x00, 0xAB, 0xCD, 0x00, 0x00, 0x7F, 0x00, 0x00, 0x01, 0x61, 0x65};  // source
  EXPECT_EQ(bytes, expected);
  bytes.resize(34);
  std::optional<TqdIpxHeader> back = DecodeIpxHeader(bytes.data(), bytes.size());
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->Destination, header.Destination);
  EXPECT_EQ(back->Source, header.Source);
  EXPECT_EQ(back->PacketType, kIpxPacketExchangeType);
}

TEST(IpxHeaderTest, UnsoundHeadersAreRefused) {
  Bytes good(kIpxHeaderSize + 4);
  TqdIpxHeader header;
  header.Length = static_cast<uint16_t>(good.size());
  EncodeIpxHeader(header, good.data());
  struct Case {
    const char* what;
    size_t offset;  // of a byte to change
    uint8_t value;
    size_t size;
  };
  const Case cases[] = {
      {"a checksum", 1, 0x00, good.size()},
      {"a length beyond the datagram", 3, 0x23, good.size()},
      {"a length short of the datagram", 3, 0x21, good.size()},
      {"a datagram shorter than a header", 0, 0xFF, kIpxHeaderSize - 1},
  };
  for (const Case& c : cases) {
    Bytes bytes = good;
    bytes[c.offset] = c.value;
    EXPECT_FALSE(DecodeIpxHeader(bytes.data(), c.size).has_value()) << c.what;
  }
  EXPECT_TRUE(DecodeIpxHeader(good.data(), good.size()).has_value());
}

TEST(IpxMappingTest, NodesAndSocketsMapOntoIPv4AndPorts) {
  TqdIpxEmulation emulation{100, "127.255.255.255"};
  struct Case {
    const char* node;
    const char* ipv4;  // nullptr: no host
  };
  const Case cases[] = {
      {"00000000:00-00-7F-00-00-01", "127.0.0.1"},
      {"12345678:00-00-C0-A8-01-02", "192.168.1.2"},  // the network number is not routed on
      {"00000000:FF-FF-FF-FF-FF-FF", "127.255.255.255"},
      {"00000000:00-A0-24-11-22-33", nullptr},
      {"00000000:01-00-7F-00-00-01", nullptr},
  };
  for (const Case& c : cases) {
    std::optional<in_addr> ip = IPv4Of(*ParseIpxAddress(c.node), emulation);
    ASSERT_EQ(ip.has_value(), c.ipv4 != nullptr) << c.node;
    if (!ip) continue;
    char text[INET_ADDRSTRLEN];
    EXPECT_STREQ(inet_ntop(AF_INET, &*ip, text, sizeof text), c.ipv4) << c.node;
    if (!IsIpxBroadcast(*ParseIpxAddress(c.node))) {
      EXPECT_EQ(IpxAddressOf(*ip).Node, ParseIpxAddress(c.node)->Node) << c.node;
    }
  }
  EXPECT_EQ(emulation.PortOf(0x6265), 25289);
  EXPECT_EQ(emulation.SocketOf(25289), 0x6265);
  EXPECT_FALSE(IPv4Of(*ParseIpxAddress("0:FF-FF-FF-FF-FF-FF"), TqdIpxEmulation{0, "not an address"}).has_value());
}

class IpxDatagramTest : public ::testing::Test {
 protected:
  IpxDatagramTest() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    port_ = test::BindLoopback(fd_);
    out_ = socket(AF_INET, SOCK_DGRAM, 0);
  }
  ~IpxDatagramTest() override {
    close(fd_);
    close(out_);
  }
  // Waits (with a generous deadline) until a datagram is there to read.
  bool Readable() {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 30000) == 1;
  }
  void SendRaw(const Bytes& bytes) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(port_);
    sendto(out_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  }
  int fd_ = -1;
  int out_ = -1;
  uint16_t port_ = 0;
};

// The payload carries the header then the data; the receiver takes the
// sender's network and socket from the header, its node from the IPv4
// source, and drops datagrams that are not IPX.
TEST_F(IpxDatagramTest, SentWithAHeaderAndReceivedWithoutIt) {
  TqdIpxEmulation emulation{0, "127.255.255.255"};
  SendRaw(Bytes{6, 0, 0, 0});  // no IPX header: dropped
  TqdIpxSocketAddress from = At("0000ABCD:00-00-0A-0B-0C-0D", 0x6165);  // the node is not where it came from
  TqdIpxSocketAddress to = At("00000000:00-00-7F-00-00-01", port_);
  const Bytes data = {6, 0, 0, 0};
  ASSERT_EQ(SendIpxDatagram(out_, emulation, from, to, data.data(), data.size()), 4);
  uint8_t buffer[128];
  TqdIpxSocketAddress sender;
  ssize_t n = -1;
  for (int i = 0; i < 2 && n < 0; ++i) {  // the unsound datagram may be read first
    ASSERT_TRUE(Readable());
    n = ReceiveIpxDatagram(fd_, buffer, sizeof buffer, sender);
  }
  ASSERT_EQ(n, 4);
  EXPECT_EQ(Bytes(buffer, buffer + 4), data);
  EXPECT_EQ(FormatIpxAddress(sender.Address), "0000ABCD:00-00-7F-00-00-01");
  EXPECT_EQ(sender.Socket, 0x6165);
  EXPECT_EQ(ReceiveIpxDatagram(fd_, buffer, sizeof buffer, sender), -1);
  EXPECT_EQ(errno, EAGAIN);
}

TEST_F(IpxDatagramTest, ATooLongPacketOrAnUnknownNodeIsNotSent) {
  TqdIpxEmulation emulation{0, "127.255.255.255"};
  Bytes data(kIpxMaxPacketSize - kIpxHeaderSize + 1);
  TqdIpxSocketAddress from = At("0:0-0-7F-0-0-1", 1);
  EXPECT_EQ(SendIpxDatagram(out_, emulation, from, At("0:00-00-7F-00-00-01", port_), data.data(), data.size()), -1);
  EXPECT_EQ(errno, EMSGSIZE);
  EXPECT_EQ(SendIpxDatagram(out_, emulation, from, At("0:02-00-7F-00-00-01", port_), data.data(), 4), -1);
  EXPECT_EQ(errno, EHOSTUNREACH);
}

}  // namespace
}  // namespace qd
