// The task-status round trip (a 4-byte request, a 33-byte reply) over each
// transport against a server in this process, beside raw ping-pongs of the
// same sizes in the same run: TCP, and a SOCK_SEQPACKET socket pair for the
// single-user transport. The goals: TCP/IP and single user at least 0.9
// times their raw exchange's rate, IPX/SPX at least 0.7 times and NetBIOS
// (which acknowledges every part) at least 0.5 times the raw TCP one.
#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/raw_tcp.h"
#include "comms/QDClComm.h"
#include "comms/QDLLWsck.h"
#include "comms/QDNetMsg.h"
#include "comms/msg_numbers.h"
#include "tests/comms/test_peer.h"
#include "tests/support/netbios_loopback.h"

namespace qd {
namespace {

constexpr uint32_t kReplySize = 33;

void BM_RawTcpPingPong(benchmark::State& state) {
  uint16_t port = 0;
  int listener = bench::ListenOnLoopback(port);
  const size_t request = kMsgHeaderSize + 4, reply = kMsgHeaderSize + kReplySize;
  std::thread server([&] {
    int fd = accept(listener, nullptr, nullptr);
    bench::NoDelay(fd);
    std::vector<uint8_t> in(request), out(reply, 0x42);
    while (bench::ReadExact(fd, in.data(), in.size()) && bench::WriteAll(fd, out.data(), out.size())) {
    }
    close(fd);
  });
  int fd = bench::ConnectRaw(port);
  std::vector<uint8_t> out(request, 1), in(reply);
  for (auto _ : state) {
    if (!bench::WriteAll(fd, out.data(), out.size()) || !bench::ReadExact(fd, in.data(), in.size())) {
      state.SkipWithError("raw exchange failed");
      break;
    }
  }
  close(fd);
  server.join();
  close(listener);
}
BENCHMARK(BM_RawTcpPingPong)->UseRealTime();

// One datagram each way, as the single-user transport sends a part.
void BM_RawSeqpacketPingPong(benchmark::State& state) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
    state.SkipWithError("socketpair failed");
    return;
  }
  const size_t request = kMsgHeaderSize + 4, reply = kMsgHeaderSize + kReplySize;
  std::thread server([&] {
    std::vector<uint8_t> in(request), out(reply, 0x42);
    while (recv(fds[1], in.data(), in.size(), 0) > 0 && send(fds[1], out.data(), out.size(), MSG_NOSIGNAL) > 0) {
    }
  });
  std::vector<uint8_t> out(request, 1), in(reply);
  for (auto _ : state) {
    if (send(fds[0], out.data(), out.size(), MSG_NOSIGNAL) <= 0 || recv(fds[0], in.data(), in.size(), 0) <= 0) {
      state.SkipWithError("raw exchange failed");
      break;
    }
  }
  shutdown(fds[0], SHUT_RDWR);
  server.join();
  close(fds[0]);
  close(fds[1]);
}
BENCHMARK(BM_RawSeqpacketPingPong)->UseRealTime();

void BM_TaskStatusRoundTrip(benchmark::State& state) {
  const auto transport = static_cast<test::PeerTransport>(state.range(0));
  if (transport == test::PeerTransport::kNetBIOS) ConfigureNetBIOS(test::LoopbackNetBIOS());
  // The single-user socket of this run only, not the user's own.
  const std::string socketPath = "/tmp/qd_bench_su_" + std::to_string(getpid());
  if (transport == test::PeerTransport::kSingleUser) setenv("QUILLDRIVE_SINGLE_USER_SOCKET", socketPath.c_str(), 1);
  test::PeerBehaviour behaviour;
  behaviour.OnRequest = [](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID != msgGetTaskStatus) return false;  // attach and login as the peer does them
    std::vector<uint8_t> status(kReplySize, 0);
    e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, status);
    return true;
  };
  {
    test::TestPeer peer(transport, std::move(behaviour));
    TqdClientCommsEngine engine("BENCH", test::ProtocolClassOf(transport));
    engine.Startup();
    if (transport == test::PeerTransport::kTCP || transport == test::PeerTransport::kIPXSPX)
      static_cast<TqdWinsockProtocol&>(engine.Transport()).Endpoints.StreamPort = peer.Port();
    if (engine.Attach(std::string("QDTEST@") + test::LoopbackAddress(transport), "bob", "secret") != qdOK) {
      state.SkipWithError("attach failed");
    } else {
      uint8_t reply[kReplySize];
      for (auto _ : state) {
        if (engine.Request(msgGetTaskStatus, "task", 4, reply, kReplySize) != qdOK) {
          state.SkipWithError("request failed");
          break;
        }
      }
    }
  }
  ConfigureNetBIOS(TqdNetBIOSConfig{});
  unsetenv("QUILLDRIVE_SINGLE_USER_SOCKET");
}
BENCHMARK(BM_TaskStatusRoundTrip)
    ->Arg(static_cast<int>(test::PeerTransport::kTCP))
    ->Arg(static_cast<int>(test::PeerTransport::kIPXSPX))
    ->Arg(static_cast<int>(test::PeerTransport::kSingleUser))
    ->Arg(static_cast<int>(test::PeerTransport::kNetBIOS))
    ->ArgNames({"transport(0 tcp, 1 ipx/spx, 2 single user, 3 netbios)"})
    ->UseRealTime();

}  // namespace
}  // namespace qd

BENCHMARK_MAIN();
