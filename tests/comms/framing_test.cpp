// Framing of the byte stream, IPX address texts and the client configuration.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "comms/QDCLCfg.h"
#include "comms/QDNetMsg.h"
#include "platform/ipx_address.h"
#include "comms/stream_framer.h"

namespace qd {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Part(uint32_t id, uint32_t dataSize) {
  Bytes p(kMsgHeaderSize + dataSize, 0xAB);
  TqdMsgHeader h;
  h.MsgID = id;
  h.MsgLen = kMsgHeaderSize + dataSize;
  h.TotalSize = dataSize;
  EncodeMsgHeader(h, p.data());
  return p;
}

// Feeds `stream` in chunks of `chunk` bytes and lists what comes out.
std::vector<std::string> Frame(const Bytes& stream, size_t chunk) {
  TqdStreamFramer framer(4096, 8192);
  std::vector<std::string> out;
  for (size_t at = 0; at < stream.size(); at += chunk) {
    size_t n = std::min(chunk, stream.size() - at);
    std::memcpy(framer.Space(), stream.data() + at, n);
    framer.Filled(n);
    for (;;) {
      auto item = framer.Next();
      if (item.kind == TqdStreamFramer::Kind::None) break;
      if (item.kind == TqdStreamFramer::Kind::Broken) {
        out.push_back("broken");
        return out;
      }
      out.push_back(item.kind == TqdStreamFramer::Kind::KeepAlive
                        ? "keep-alive"
                        : "part " + std::to_string(PeekMsgID(item.data)) + "/" + std::to_string(item.size));
    }
  }
  return out;
}

TEST(StreamFramerTest, CutsTheStreamWhateverTheChunks) {
  Bytes keepAlive = {10, 0, 0, 0};
  Bytes stream;
  for (const Bytes& b : {Part(258, 5), keepAlive, keepAlive, Part(771, 0), Part(1280, 4000), keepAlive})
    stream.insert(stream.end(), b.begin(), b.end());
  const std::vector<std::string> expected = {"part 258/29", "keep-alive", "keep-alive", "part 771/24",
                                             "part 1280/4024", "keep-alive"};
  for (size_t chunk : {size_t{1}, size_t{3}, size_t{24}, size_t{1000}, stream.size()})
    EXPECT_EQ(Frame(stream, chunk), expected) << chunk;
}

TEST(StreamFramerTest, LengthsThatCannotBeFramedBreakTheStream) {
  for (uint32_t length : {0u, 23u, 4097u, 0xFFFFFFFFu}) {
    Bytes p = Part(258, 0);
    p[4] = static_cast<uint8_t>(length);
    p[5] = static_cast<uint8_t>(length >> 8);
    p[6] = static_cast<uint8_t>(length >> 16);
    p[7] = static_cast<uint8_t>(length >> 24);
    EXPECT_EQ(Frame(p, p.size()), std::vector<std::string>{"broken"}) << length;
  }
}

TEST(IpxAddressTest, ParsesAndFormats) {
  struct Case {
    const char* text;
    bool valid;
    const char* formatted;
  };
  const Case cases[] = {
      {"0000ABCD:00-A0-24-11-22-33", true, "0000ABCD:00-A0-24-11-22-33"},
      {"0000abcd-00a024112233", true, "0000ABCD:00-A0-24-11-22-33"},
      {"1:2", true, "00000001:00-00-00-00-00-02"},
      {"12345678", true, "12345678:00-00-00-00-00-00"},
      {"123456789:1", false, nullptr},                  // nine network digits
      {"1:1234567890123", false, nullptr},              // thirteen node digits
      {"0000ABCD:00-A0-24-11-22-3G", false, nullptr},   // not a digit
      {"0000ABCD 00-A0-24-11-22-33", false, nullptr},
      {"", false, nullptr},
  };
  for (const Case& c : cases) {
    auto address = ParseIpxAddress(c.text);
    ASSERT_EQ(address.has_value(), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(FormatIpxAddress(*address), c.formatted);
      EXPECT_EQ(FormatIpxAddress(*address).size(), kIpxAddressTextLength);
    }
  }
  auto a = ParseIpxAddress("0102A0B0:01-02-03-04-05-06");
  EXPECT_EQ(a->Network, (std::array<uint8_t, 4>{0x01, 0x02, 0xA0, 0xB0}));
  EXPECT_EQ(a->Node, (std::array<uint8_t, 6>{1, 2, 3, 4, 5, 6}));
}

class ClientConfigurationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("qd_clcfg_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_ / "Brackwater");
    setenv("XDG_CONFIG_DIRS", dir_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_DIRS");
    std::filesystem::remove_all(dir_);
  }
  void Write(const std::string& body) {
    std::ofstream(dir_ / "Brackwater" / "Quilldrive.conf") << "[Client Configuration]\n" << body;
  }
  std::filesystem::path dir_;
};

TEST_F(ClientConfigurationTest, ProtocolNamesMapToClasses) {
  struct Case {
    const char* stored;  // nullptr: no file
    const TqdProtocolClass* expected;
    const char* name;
  };
  const Case cases[] = {
      {nullptr, &SingleUserProtocolClass(), "Single User"},
      {"tcp/ip", &TCPIPProtocolClass(), "tcp/ip"},
      {"TCP / IP", &SingleUserProtocolClass(), "Single User"},
      {"IPX/SPX", &IPXSPXProtocolClass(), "IPX/SPX"},
      {"netbios", &NetBIOSProtocolClass(), "netbios"},
      {"single user", &SingleUserProtocolClass(), "single user"},
      {"carrier pigeon", &SingleUserProtocolClass(), "Single User"},
  };
  for (const Case& c : cases) {
    if (c.stored == nullptr)
      std::filesystem::remove(dir_ / "Brackwater" / "Quilldrive.conf");
    else
      Write(std::string("Protocol=") + c.stored + "\n");
    const TqdProtocolClass* protocolClass = nullptr;
    std::string name;
    GetDefaultProtocol(protocolClass, name);
    EXPECT_EQ(protocolClass, c.expected) << (c.stored ? c.stored : "(none)");
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(GetDefaultProtocolClass(), c.expected);
  }
  EXPECT_EQ(GetProtocolName(&TCPIPProtocolClass()), "TCP/IP");
  EXPECT_EQ(GetProtocolName(nullptr), "");
}

TEST_F(ClientConfigurationTest, ServerNameIsCutTo63Characters) {
  EXPECT_EQ(GetDefaultServerName(), "");
  Write("ServerName=" + std::string(80, 's') + "\n");
  EXPECT_EQ(GetDefaultServerName(), std::string(63, 's'));
}

TEST_F(ClientConfigurationTest, EndpointOverridesAndTheirFixedValues) {
  TqdWinsockEndpoints fixed = GetClientEndpoints();
  EXPECT_EQ(fixed.StreamPort, 24677);
  EXPECT_EQ(fixed.ServerDiscoveryPort, 24677);
  EXPECT_EQ(fixed.ClientDiscoveryPort, 24933);
  EXPECT_EQ(fixed.BroadcastAddress, "255.255.255.255");
  Write("ServerPort=4000\nClientDiscoveryPort=4001\nDiscoveryAddress=10.1.2.255\n");
  TqdWinsockEndpoints moved = GetClientEndpoints();
  EXPECT_EQ(moved.StreamPort, 4000);
  EXPECT_EQ(moved.ServerDiscoveryPort, 4000);
  EXPECT_EQ(moved.ClientDiscoveryPort, 4001);
  EXPECT_EQ(moved.BroadcastAddress, "10.1.2.255");
  for (const char* bad : {"0", "65536", "12ab", "-1", ""}) {
    Write(std::string("ServerPort=") + bad + "\n");
    EXPECT_EQ(GetClientEndpoints().StreamPort, 24677) << bad;
  }
}

}  // namespace
}  // namespace qd
