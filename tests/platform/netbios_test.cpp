// The NetBIOS emulation through its call interface, on loopback with free
// ports: names (a duplicate is refused with 13, locally or by another node
// on the network), calls (an unknown name gives 20), sessions that keep
// message boundaries (a small receive buffer gives 6, then the rest),
// closing (10, then 8), cancelling (11; 36 once done), datagrams, and a
// NetBIOS that is absent.
#include "platform/netbios/netbios.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/netbios/nbt_packets.h"
#include "tests/support/free_port.h"

namespace qd {
namespace {

using Bytes = std::vector<uint8_t>;

class NetBIOSTest : public ::testing::Test {
 protected:
  NetBIOSTest() {
    config_.Interfaces = {"127.0.0.1"};
    config_.NamePort = test::FreeLoopbackPort(SOCK_DGRAM);
    config_.DatagramPort = test::FreeLoopbackPort(SOCK_DGRAM);
    config_.SessionPort = test::FreeLoopbackPort(SOCK_STREAM);
    config_.BroadcastAddress = "127.255.255.255";
    config_.NameWaitMs = 300;
    ConfigureNetBIOS(config_);
  }
  ~NetBIOSTest() override { ConfigureNetBIOS(TqdNetBIOSConfig{}); }

  static void Name(uint8_t* field, const char* text) {
    TqdNetBIOSName name = MakeNetBIOSName(text);
    std::memcpy(field, name.data(), NCBNAMSZ);
  }
  // Issues `command` synchronously with the given names; its code.
  static uint8_t Issue(NCB& n, uint8_t command, const char* name = "", const char* callname = "") {
    n.ncb_command = command;
    Name(n.ncb_name, name);
    Name(n.ncb_callname, callname);
    return Netbios(&n);
  }
  // Waits (with a generous deadline) until an asynchronous NCB completes.
  static uint8_t Completion(NCB& n) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (n.ncb_cmd_cplt == NRC_PENDING && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return n.ncb_cmd_cplt;
  }
  // Opens a session from "CLIENT" to "SERVER"; the two LSNs.
  std::pair<uint8_t, uint8_t> OpenSession() {
    NCB add1, add2, listen, call;
    EXPECT_EQ(Issue(add1, NCBADDNAME, "SERVER"), NRC_GOODRET);
    EXPECT_EQ(Issue(add2, NCBADDNAME, "CLIENT"), NRC_GOODRET);
    EXPECT_EQ(Issue(listen, NCBLISTEN | kAsynch, "SERVER", "*"), NRC_GOODRET);
    EXPECT_EQ(Issue(call, NCBCALL, "CLIENT", "SERVER"), NRC_GOODRET);
    EXPECT_EQ(Completion(listen), NRC_GOODRET);
    EXPECT_EQ(std::memcmp(listen.ncb_callname, MakeNetBIOSName("CLIENT").data(), NCBNAMSZ), 0);
    return {listen.ncb_lsn, call.ncb_lsn};
  }
  // Posts a receive of `buffer`'s size on `lsn`.
  static void PostReceive(NCB& r, uint8_t lsn, Bytes& buffer) {
    r.ncb_lsn = lsn;
    r.ncb_buffer = buffer.data();
    r.ncb_length = static_cast<uint16_t>(buffer.size());
    ASSERT_EQ(Issue(r, NCBRECV | kAsynch), NRC_GOODRET);
  }
  static uint8_t Send(uint8_t lsn, Bytes data) {
    NCB n;
    n.ncb_lsn = lsn;
    n.ncb_buffer = data.data();
    n.ncb_length = static_cast<uint16_t>(data.size());
    n.ncb_command = NCBSEND;
    return Netbios(&n);
  }

  TqdNetBIOSConfig config_;
};

TEST_F(NetBIOSTest, OneAdapterAndThePresenceTest) {
  uint8_t lanas[256] = {};
  NCB e;
  e.ncb_buffer = lanas;
  e.ncb_length = sizeof lanas;
  EXPECT_EQ(Issue(e, NCBENUM), NRC_GOODRET);
  EXPECT_EQ(lanas[0], 1);
  EXPECT_EQ(lanas[1], 0);
  NCB p;
  EXPECT_EQ(Issue(p, kPresenceTest), NRC_ILLCMD);
  p.ncb_lana_num = 1;
  EXPECT_EQ(Issue(p, kPresenceTest), NRC_BRIDGE);
}

TEST_F(NetBIOSTest, ANameOwnedHereOrByAnotherNodeIsADuplicate) {
  NCB first, again;
  EXPECT_EQ(Issue(first, NCBADDNAME, "OWNED"), NRC_GOODRET);
  EXPECT_NE(first.ncb_num, 0);
  EXPECT_EQ(Issue(again, NCBADDNAME, "OWNED"), NRC_DUPNAME);
  // Another node owns "THEIRS": it answers the registration with a refusal.
  int other = socket(AF_INET, SOCK_DGRAM, 0);
  int on = 1;
  setsockopt(other, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(config_.NamePort);
  ASSERT_EQ(bind(other, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  NCB theirs;
  theirs.ncb_command = NCBADDNAME | kAsynch;
  Name(theirs.ncb_name, "THEIRS");
  ASSERT_EQ(Netbios(&theirs), NRC_GOODRET);
  timeval wait{30, 0};
  setsockopt(other, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  uint8_t packet[576];
  sockaddr_in from{};
  socklen_t len = sizeof from;
  std::optional<TqdNamePacket> request;
  while (!request || request->Name != MakeNetBIOSName("THEIRS")) {
    ssize_t n = recvfrom(other, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &len);
    ASSERT_GT(n, 0);
    request = DecodeNamePacket({packet, static_cast<size_t>(n)});
  }
  EXPECT_EQ(request->Op, TqdNameOp::Registration);
  Bytes refusal = EncodeNamePacket({request->Id, TqdNameOp::RegistrationRefused, request->Name, htonl(0x7F000002)});
  sendto(other, refusal.data(), refusal.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
  EXPECT_EQ(Completion(theirs), NRC_DUPNAME);
  close(other);
  NCB del;
  EXPECT_EQ(Issue(del, NCBDELNAME, "OWNED"), NRC_GOODRET);
  EXPECT_EQ(Issue(again, NCBADDNAME, "OWNED"), NRC_GOODRET);  // free again once deleted
}

TEST_F(NetBIOSTest, CallingANameNobodyHasGivesNoAnswer) {
  NCB add, call;
  ASSERT_EQ(Issue(add, NCBADDNAME, "CLIENT"), NRC_GOODRET);
  EXPECT_EQ(Issue(call, NCBCALL, "CLIENT", "NOBODY"), NRC_NOCALL);
}

TEST_F(NetBIOSTest, SessionsKeepMessageBoundariesAndASmallBufferTakesAPart) {
  auto [server, client] = OpenSession();
  EXPECT_EQ(Send(client, Bytes{1, 2, 3}), NRC_GOODRET);
  EXPECT_EQ(Send(client, Bytes{4, 5, 6, 7, 8}), NRC_GOODRET);
  EXPECT_EQ(Send(client, Bytes{}), NRC_GOODRET);
  struct Case {
    uint16_t buffer;
    uint8_t code;
    Bytes data;
  };
  const Case cases[] = {
      {16, NRC_GOODRET, {1, 2, 3}},
      {2, NRC_INCOMP, {4, 5}},   // too small: the first part...
      {16, NRC_GOODRET, {6, 7, 8}},  // ...and the rest
      {16, NRC_GOODRET, {}},
  };
  for (const Case& c : cases) {
    Bytes buffer(c.buffer, 0xEE);
    NCB r;
    r.ncb_lsn = server;
    r.ncb_buffer = buffer.data();
    r.ncb_length = c.buffer;
    EXPECT_EQ(Issue(r, NCBRECV), c.code);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + r.ncb_length), c.data);
  }
}

// A pending receive ends with 10 when the peer hangs up (the session is
// then gone: 8), and with 11 when cancelled (the session goes on; a second
// cancel finds nothing pending: 36).
TEST_F(NetBIOSTest, APendingReceiveEndsByHangUpOrCancel) {
  for (bool hangUp : {true, false}) {
    auto [server, client] = OpenSession();
    Bytes buffer(16);
    NCB r;
    PostReceive(r, server, buffer);
    NCB end;
    end.ncb_lsn = client;
    end.ncb_buffer = reinterpret_cast<uint8_t*>(&r);
    EXPECT_EQ(Issue(end, hangUp ? NCBHANGUP : NCBCANCEL), NRC_GOODRET);
    EXPECT_EQ(Completion(r), hangUp ? NRC_SCLOSED : NRC_CMDCAN);
    EXPECT_EQ(Issue(end, hangUp ? NCBHANGUP : NCBCANCEL), hangUp ? NRC_SNUMOUT : NRC_CANOCCR);
    EXPECT_EQ(Send(client, Bytes{9}), hangUp ? NRC_SNUMOUT : NRC_GOODRET);
    EXPECT_EQ(Issue(r, NCBRECV), hangUp ? NRC_SNUMOUT : NRC_GOODRET);
    EXPECT_EQ(buffer[0], hangUp ? 0 : 9);
    ConfigureNetBIOS(config_);  // a fresh emulation for the next case
  }
}

TEST_F(NetBIOSTest, DatagramsReachTheirNameOrEveryBroadcastReceive) {
  NCB a, b;
  ASSERT_EQ(Issue(a, NCBADDNAME, "ALPHA"), NRC_GOODRET);
  ASSERT_EQ(Issue(b, NCBADDNAME, "BETA"), NRC_GOODRET);
  Bytes got1(128), got2(128);
  NCB broadcastReceive, directedReceive;
  for (auto [r, command, buffer] : {std::tuple{&broadcastReceive, NCBDGRECVBC, &got1}, {&directedReceive, NCBDGRECV, &got2}}) {
    r->ncb_buffer = buffer->data();
    r->ncb_length = 128;
    r->ncb_num = a.ncb_num;
    ASSERT_EQ(Issue(*r, command | kAsynch), NRC_GOODRET);
  }
  Bytes data = {6, 0, 0, 0};
  NCB send;
  send.ncb_num = b.ncb_num;
  send.ncb_buffer = data.data();
  send.ncb_length = 4;
  EXPECT_EQ(Issue(send, NCBDGSEND, "", "GAMMA"), NRC_GOODRET);  // nobody's: dropped
  EXPECT_EQ(Issue(send, NCBDGSENDBC), NRC_GOODRET);
  EXPECT_EQ(Completion(broadcastReceive), NRC_GOODRET);
  EXPECT_EQ(broadcastReceive.ncb_length, 4);
  EXPECT_EQ(std::memcmp(broadcastReceive.ncb_callname, MakeNetBIOSName("BETA").data(), NCBNAMSZ), 0);
  data[0] = 7;
  EXPECT_EQ(Issue(send, NCBDGSEND, "", "ALPHA"), NRC_GOODRET);
  EXPECT_EQ(Completion(directedReceive), NRC_GOODRET);
  EXPECT_EQ(got2[0], 7);  // the datagram to GAMMA went to nobody
}

TEST(NetBIOSAbsentTest, EveryCommandAnswers3WithoutTouchingTheNcb) {
  TqdNetBIOSConfig absent;
  absent.Present = false;
  ConfigureNetBIOS(absent);
  EXPECT_FALSE(NetBIOSBound());
  NCB n;
  n.ncb_command = NCBADDNAME;
  n.ncb_retcode = 0x42;
  EXPECT_EQ(Netbios(&n), NRC_ILLCMD);
  EXPECT_EQ(n.ncb_retcode, 0x42);
  ConfigureNetBIOS(TqdNetBIOSConfig{});
}

}  // namespace
}  // namespace qd
