// Request round trips and a 1 MiB stream reply over TCP loopback against a
// server in a separate process, each beside a raw-socket exchange of the
// same sizes; and the scrambling rate.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "comms/QDClComm.h"
#include "comms/QDLLWsck.h"
#include "comms/scramble.h"
#include "comms/server_endpoint.h"
#include "bench/support/engine_server.h"
#include "bench/support/raw_tcp.h"

namespace qd {
namespace {

using namespace bench;  // the raw loopback sockets

constexpr uint32_t kReplySize = 33;
constexpr size_t kBulkSize = 1u << 20;
constexpr size_t kRawRequest = kMsgHeaderSize + 4;
constexpr size_t kRawReply = kMsgHeaderSize + kReplySize;

std::vector<pid_t> g_children;
uint16_t g_enginePort = 0, g_pingPort = 0, g_bulkPort = 0;

// Forks a child that runs `serve` for ever; it dies with its parent.
template <class Serve>
void Fork(Serve serve) {
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    serve();
    _exit(0);
  }
  g_children.push_back(pid);
}

void RawServer(int listenFd, size_t requestSize, size_t replySize) {
  std::vector<uint8_t> request(requestSize), reply(replySize, 0x42);
  for (;;) {
    int fd = accept(listenFd, nullptr, nullptr);
    if (fd < 0) continue;
    NoDelay(fd);
    while (ReadExact(fd, request.data(), requestSize) && WriteAll(fd, reply.data(), replySize)) {
    }
    close(fd);
  }
}

void EngineServer(int readyPipe) {
  std::vector<uint8_t> small(kReplySize, 0x42), bulk(kBulkSize, 0x24);
  bench::ServeEngineRequests(readyPipe, [&](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID == msgGetAliasList) {
      e.Reply(r.Connection, r.MsgID, 0, kDataKindStream, bulk);
    } else if (r.MsgID == msgGetTaskStatus) {
      e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, small);
    } else {
      e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, {});
    }
  });
}

void StartServers() {
  int pingFd = ListenOnLoopback(g_pingPort);
  int bulkFd = ListenOnLoopback(g_bulkPort);
  Fork([&] { RawServer(pingFd, kRawRequest, kRawReply); });
  Fork([&] { RawServer(bulkFd, 1, kBulkSize); });
  close(pingFd);
  close(bulkFd);
  int fds[2];
  if (pipe(fds) != 0) return;
  Fork([&] { EngineServer(fds[1]); });
  if (read(fds[0], &g_enginePort, sizeof g_enginePort) != sizeof g_enginePort) g_enginePort = 0;
  close(fds[0]);
  close(fds[1]);
}

std::unique_ptr<TqdClientCommsEngine> AttachedEngine(benchmark::State& state) {
  auto engine = std::make_unique<TqdClientCommsEngine>("BENCH", TCPIPProtocolClass());
  static_cast<TqdWinsockProtocol&>(engine->Transport()).Endpoints.StreamPort = g_enginePort;
  engine->Startup();
  if (engine->Attach("QDBENCH@127.0.0.1", "bench", "") != qdOK) state.SkipWithError("attach failed");
  return engine;
}

void BM_RawPingPong(benchmark::State& state) {
  int fd = ConnectRaw(g_pingPort);
  std::vector<uint8_t> request(kRawRequest, 1), reply(kRawReply);
  for (auto _ : state) {
    if (!WriteAll(fd, request.data(), request.size()) || !ReadExact(fd, reply.data(), reply.size())) {
      state.SkipWithError("raw exchange failed");
      break;
    }
  }
  close(fd);
}
BENCHMARK(BM_RawPingPong);

void BM_RequestRoundTrip(benchmark::State& state) {
  auto engine = AttachedEngine(state);
  uint8_t reply[kReplySize];
  for (auto _ : state) {
    if (engine->Request(msgGetTaskStatus, "task", 4, reply, kReplySize) != qdOK) {
      state.SkipWithError("request failed");
      break;
    }
  }
}
BENCHMARK(BM_RequestRoundTrip);

void BM_RawBulk1MiB(benchmark::State& state) {
  int fd = ConnectRaw(g_bulkPort);
  std::vector<uint8_t> data(kBulkSize);
  uint8_t request = 1;
  for (auto _ : state) {
    if (!WriteAll(fd, &request, 1) || !ReadExact(fd, data.data(), data.size())) {
      state.SkipWithError("raw transfer failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBulkSize));
  close(fd);
}
BENCHMARK(BM_RawBulk1MiB);

void BM_StreamReply1MiB(benchmark::State& state) {
  auto engine = AttachedEngine(state);
  TqdMemoryStream reply;
  for (auto _ : state) {
    if (engine->Request(msgGetAliasList, {nullptr, 0, nullptr}, {nullptr, 0, &reply}) != qdOK ||
        reply.Size() != kBulkSize) {
      state.SkipWithError("stream request failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBulkSize));
}
BENCHMARK(BM_StreamReply1MiB);

void BM_Scramble(benchmark::State& state) {
  std::vector<uint8_t> part(static_cast<size_t>(state.range(0)), 0x11);
  TqdMsgHeader h;
  h.MsgID = msgGetRecord;
  EncodeMsgHeader(h, part.data());
  TqdScrambleKey key;
  key.SetSeed(987654321);
  for (auto _ : state) {
    key.ScramblePart(part.data(), part.size());
    benchmark::DoNotOptimize(part.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Scramble)->Arg(4096)->Arg(24576);

}  // namespace
}  // namespace qd

int main(int argc, char** argv) {
  qd::StartServers();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (pid_t pid : qd::g_children) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  return 0;
}
