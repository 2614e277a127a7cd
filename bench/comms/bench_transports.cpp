// The task-status round trip (a 4-byte request, a 33-byte reply) over each
// transport against a server in this process, beside raw ping-pongs of the
// same sizes in the same run: TCP, and a SOCK_SEQPACKET socket pair for the
// single-user transport. The goals: TCP/IP and single user at least 0.9
// times their raw exchange's rate, IPX/SPX at least 0.7 times and NetBIOS
// (which acknowledges every part) at least 0.5 times the raw TCP one.
// BM_RoundTripRatio takes turns between the raw exchange and the engine in
// batches, so that a machine whose speed drifts during the run moves both
// alike; its counters are the ratios themselves.
#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/raw_tcp.h"
#include "bench/support/taking_turns.h"
#include "comms/QDClComm.h"
#include "comms/QDLLWsck.h"
#include "comms/QDNetMsg.h"
#include "comms/msg_numbers.h"
#include "tests/comms/test_peer.h"
#include "tests/support/netbios_loopback.h"

namespace qd {
namespace {

constexpr uint32_t kReplySize = 33;

const size_t kRawRequest = kMsgHeaderSize + 4, kRawReply = kMsgHeaderSize + kReplySize;

// One side of a raw exchange answered by a thread of its own: a TCP
// connection on loopback, or one end of a SOCK_SEQPACKET pair.
class RawExchange {
 public:
  explicit RawExchange(bool seqpacket) : seqpacket_(seqpacket) {
    if (seqpacket) {
      int fds[2];
      if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return;
      fd_ = fds[0];
      serverFd_ = fds[1];
      server_ = std::thread([this] {
        std::vector<uint8_t> in(kRawRequest), out(kRawReply, 0x42);
        while (recv(serverFd_, in.data(), in.size(), 0) > 0 &&
               send(serverFd_, out.data(), out.size(), MSG_NOSIGNAL) > 0) {
        }
      });
      return;
    }
    uint16_t port = 0;
    listener_ = bench::ListenOnLoopback(port);
    server_ = std::thread([this] {
      serverFd_ = accept(listener_, nullptr, nullptr);
      bench::NoDelay(serverFd_);
      std::vector<uint8_t> in(kRawRequest), out(kRawReply, 0x42);
      while (bench::ReadExact(serverFd_, in.data(), in.size()) &&
             bench::WriteAll(serverFd_, out.data(), out.size())) {
      }
    });
    fd_ = bench::ConnectRaw(port);
  }
  ~RawExchange() {
    if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
    if (server_.joinable()) server_.join();
    for (int fd : {fd_, serverFd_, listener_})
      if (fd >= 0) close(fd);
  }
  bool Ok() const { return fd_ >= 0; }

  bool RoundTrip() {
    if (seqpacket_)
      return send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL) > 0 && recv(fd_, in_.data(), in_.size(), 0) > 0;
    return bench::WriteAll(fd_, out_.data(), out_.size()) && bench::ReadExact(fd_, in_.data(), in_.size());
  }

 private:
  bool seqpacket_;
  int fd_ = -1, serverFd_ = -1, listener_ = -1;
  std::thread server_;
  std::vector<uint8_t> out_ = std::vector<uint8_t>(kRawRequest, 1), in_ = std::vector<uint8_t>(kRawReply);
};

void RunRaw(benchmark::State& state, bool seqpacket) {
  RawExchange raw(seqpacket);
  if (!raw.Ok()) {
    state.SkipWithError("no raw socket");
    return;
  }
  for (auto _ : state) {
    if (!raw.RoundTrip()) {
      state.SkipWithError("raw exchange failed");
      break;
    }
  }
}

void BM_RawTcpPingPong(benchmark::State& state) { RunRaw(state, false); }
BENCHMARK(BM_RawTcpPingPong)->UseRealTime();

// One datagram each way, as the single-user transport sends a part.
void BM_RawSeqpacketPingPong(benchmark::State& state) { RunRaw(state, true); }
BENCHMARK(BM_RawSeqpacketPingPong)->UseRealTime();

// A peer on its own thread that answers the task-status request, and an
// engine attached to it over `transport`.
class EngineExchange {
 public:
  explicit EngineExchange(test::PeerTransport transport) : transport_(transport) {
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
    peer_ = std::make_unique<test::TestPeer>(transport, std::move(behaviour));
    engine_ = std::make_unique<TqdClientCommsEngine>("BENCH", test::ProtocolClassOf(transport));
    engine_->Startup();
    if (transport == test::PeerTransport::kTCP || transport == test::PeerTransport::kIPXSPX)
      static_cast<TqdWinsockProtocol&>(engine_->Transport()).Endpoints.StreamPort = peer_->Port();
    attached_ = engine_->Attach(std::string("QDTEST@") + test::LoopbackAddress(transport), "bob", "secret") == qdOK;
  }
  ~EngineExchange() {
    engine_.reset();
    peer_.reset();
    ConfigureNetBIOS(TqdNetBIOSConfig{});
    unsetenv("QUILLDRIVE_SINGLE_USER_SOCKET");
  }
  bool Ok() const { return attached_; }

  bool RoundTrip() { return engine_->Request(msgGetTaskStatus, "task", 4, reply_, kReplySize) == qdOK; }

 private:
  test::PeerTransport transport_;
  std::unique_ptr<test::TestPeer> peer_;
  std::unique_ptr<TqdClientCommsEngine> engine_;
  bool attached_ = false;
  uint8_t reply_[kReplySize] = {};
};

void BM_TaskStatusRoundTrip(benchmark::State& state) {
  EngineExchange engine(static_cast<test::PeerTransport>(state.range(0)));
  if (!engine.Ok()) {
    state.SkipWithError("attach failed");
    return;
  }
  for (auto _ : state) {
    if (!engine.RoundTrip()) {
      state.SkipWithError("request failed");
      break;
    }
  }
}
BENCHMARK(BM_TaskStatusRoundTrip)
    ->Arg(static_cast<int>(test::PeerTransport::kTCP))
    ->Arg(static_cast<int>(test::PeerTransport::kIPXSPX))
    ->Arg(static_cast<int>(test::PeerTransport::kSingleUser))
    ->Arg(static_cast<int>(test::PeerTransport::kNetBIOS))
    ->ArgNames({"transport(0 tcp, 1 ipx/spx, 2 single user, 3 netbios)"})
    ->UseRealTime();

// Each iteration: a batch of raw round trips, then a batch through the
// engine. Counters: raw_us and engine_us per round trip over the whole run,
// ratio = raw rate over engine rate (the goal's figure), and
// ratio_fastest = the same over the fastest batch of each.
void BM_RoundTripRatio(benchmark::State& state) {
  const auto transport = static_cast<test::PeerTransport>(state.range(0));
  constexpr int kBatch = 64;
  RawExchange raw(transport == test::PeerTransport::kSingleUser);
  EngineExchange engine(transport);
  if (!raw.Ok() || !engine.Ok()) {
    state.SkipWithError("setup failed");
    return;
  }
  bench::TurnTimes rawTimes, engineTimes;
  // A batch of round trips; false when one failed.
  auto batch = [](auto& exchange, bench::TurnTimes& times) {
    bool ok = true;
    times.Add(bench::SecondsOf([&] {
      for (int i = 0; i < kBatch && ok; ++i) ok = exchange.RoundTrip();
    }));
    return ok;
  };
  for (auto _ : state) {
    if (!batch(raw, rawTimes) || !batch(engine, engineTimes)) {
      state.SkipWithError("round trip failed");
      break;
    }
  }
  bench::ReportTurns(state, "raw_us", rawTimes, "engine_us", engineTimes, kBatch, 1e6);
}

BENCHMARK(BM_RoundTripRatio)
    ->Arg(static_cast<int>(test::PeerTransport::kTCP))
    ->Arg(static_cast<int>(test::PeerTransport::kSingleUser))
    ->ArgNames({"transport(0 tcp, 2 single user)"})
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(9);

}  // namespace
}  // namespace qd

BENCHMARK_MAIN();
