// Benchmarks of qd-server under the ways a client can misbehave, and of how
// soon a task's end reaches its client:
//  - BM_RebuildsPolledOverTcp: 600 rebuilds of index 1 of a 100-record
//    table, each polled back to back until finished over TCP, against the
//    sum of the tasks' times on the server, each from the arrival of its
//    request to its end (counter ClientOverServer; goal at most 1.2), and
//    against the time of the work alone (ClientOverWork);
//  - BM_Flood / BM_GuessPasswords / BM_StopDuringFlood: a qd-server process
//    attacked by clients that pipeline requests and never read, or that
//    guess passwords; counters: the server's peak memory (PeakRSS_MB, goal
//    below 512), the slowest answer to a well-behaved client meanwhile
//    (BystanderMaxMs, goal below 1000), password answers a minute
//    (AnswersPerMinute, goal a few hundred at most), and the time a stop
//    takes (StopMs).
// Every client talks to 127.0.0.1 only.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

#include "base/endian.h"
#include "comms/QDClComm.h"
#include "comms/QDLLWsck.h"
#include "raw_session.h"
#include "server/demo_data.h"
#include "server/record_writer.h"
#include "server/server_runner.h"
#include "tests/server/server_process.h"

namespace qd {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A data directory for one benchmark, removed afterwards.
struct ScratchDir {
  ScratchDir() {
    path = fs::temp_directory_path() / ("qd_bench_defence_" + std::to_string(getpid()) + "_" + std::to_string(++n));
    fs::create_directories(path);
  }
  ~ScratchDir() { fs::remove_all(path); }
  fs::path path;
  static inline int n = 0;
};

std::unique_ptr<TqdClientCommsEngine> Connect(uint16_t port, const std::string& password = "demo",
                                              uint32_t replyTimeoutMs = kDefaultReplyTimeoutMs) {
  auto engine = std::make_unique<TqdClientCommsEngine>("bench", TCPIPProtocolClass());
  engine->SetReplyTimeout(replyTimeoutMs);
  engine->Startup();
  auto& endpoints = static_cast<TqdWinsockProtocol&>(engine->Transport()).Endpoints;
  endpoints.StreamPort = port;
  if (engine->Attach("QDBENCH@127.0.0.1", "demo", password) != 0) engine->Detach();
  return engine;
}

TqdResult Block(TqdClientCommsEngine& e, TqdMsgID msg, const Bytes& request, Bytes& reply) {
  return e.Request(msg, TqdRequestData{request.data(), static_cast<uint32_t>(request.size()), nullptr},
                   TqdReplyTarget{reply.data(), static_cast<uint32_t>(reply.size()), nullptr});
}

int32_t OpenDatabase(TqdClientCommsEngine& e, const std::string& name) {
  Bytes request(kOpenDatabaseRequestSize, 0), reply(4);
  PutShortString(request.data(), name, kPathCapacity);
  return Block(e, msgOpenDatabase, request, reply) == 0 ? GetInt32LE(reply.data()) : -1;
}

Bytes TableListRequest(int32_t db) {
  Bytes request(kTableListRequestSize, 0);
  PutInt32LE(request.data(), db);
  return request;
}

// ---- Task ends reaching their client ----------------------------------

// A qd-server core serving TCP on a thread of this process, so that the
// tasks' own times can be read next to the client's.
class InProcessServer {
 public:
  explicit InProcessServer(const fs::path& dir) {
    config_.Name = "QDBENCH";
    config_.Transports = {TqdServerTransport::TCPIP};
    config_.Port = 0;
    config_.BindAddress = "127.0.0.1";
    config_.Secure = false;
    config_.DataDir = dir.string();
    config_.Aliases.push_back({"Bench", dir.string()});
    TqdServerRunner::Rearm();
    thread_ = std::thread([this] {
      TqdServerRunner runner(config_, [](const std::string&) {});  // a line per task would be noise here
      uint16_t port = 0;
      for (const std::string& line : runner.Start())
        if (line.rfind("TCP/IP port ", 0) == 0) port = static_cast<uint16_t>(std::stoi(line.substr(12)));
      {
        std::lock_guard<std::mutex> guard(mutex_);
        runner_ = &runner;
        port_ = port;
        ready_.notify_all();
      }
      runner.Run();
    });
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return port_ != 0; });
  }
  ~InProcessServer() {
    TqdServerRunner::Stop();
    thread_.join();
  }
  uint16_t Port() const { return port_; }
  // Read from the bench's thread: the counters are atomic.
  uint64_t TaskMicroseconds() { return runner_->Core().Tasks().Microseconds(); }
  uint64_t WorkMicroseconds() { return runner_->Core().Tasks().WorkMicroseconds(); }

 private:
  TqdServerConfig config_;
  std::mutex mutex_;
  std::condition_variable ready_;
  TqdServerRunner* runner_ = nullptr;
  uint16_t port_ = 0;
  std::thread thread_;
};

void MakeSmallTable(const fs::path& dir) {
  TqdTableStore store(dir.string(), {.Mode = TqdOpenMode::CreateIfMissing});
  TqdDataDictionary dict;
  dict.AddField("Id", "", fkInt32, 10, 0, true);
  dict.AddField("Name", "", fkShortString, 20, 0, false);
  const int32_t byName[] = {1, 0};
  dict.AddCompositeIndex("ByName", "", 0, byName, true, true, true);
  int64_t id = store.CreateTable("Small", dict, true);
  TqdRecordWriter w(dict);
  for (int i = 1; i <= 100; ++i) {
    w.SetInteger(0, i);
    w.SetText(1, "name" + std::to_string(i * 37 % 101));
    store.AppendRecord(id, w.Bytes(), false);
  }
}

void BM_RebuildsPolledOverTcp(benchmark::State& state) {
  ScratchDir dir;
  MakeSmallTable(dir.path);
  InProcessServer server(dir.path);
  auto client = Connect(server.Port());
  int32_t db = OpenDatabase(*client, "Bench");
  Bytes rebuild(kReindexRequestSize, 0), task(4), status(kTaskStatusReplySize);
  PutInt32LE(rebuild.data(), db);
  PutShortString(rebuild.data() + 4, "Small", 31);
  PutInt32LE(rebuild.data() + 68, 1);
  for (auto _ : state) {
    uint64_t serverBefore = server.TaskMicroseconds();
    uint64_t workBefore = server.WorkMicroseconds();
    auto start = Clock::now();
    int polls = 0;
    double requestSeconds = 0;
    for (int i = 0; i < 600; ++i) {
      auto asked = Clock::now();
      if (Block(*client, msgReindexTable, rebuild, task) != 0) state.SkipWithError("rebuild refused");
      requestSeconds += Seconds(Clock::now() - asked);
      do {
        ++polls;
        if (Block(*client, msgGetTaskStatus, task, status) != 0) state.SkipWithError("status refused");
      } while (status[kFinishedOffset] == 0);
    }
    state.counters["PollsPerTask"] = polls / 600.0;
    state.counters["RequestMs"] = requestSeconds * 1000 / 600;
    double clientSeconds = Seconds(Clock::now() - start);
    // The last task's time is counted as it ends, just before its answer.
    double serverSeconds = static_cast<double>(server.TaskMicroseconds() - serverBefore) / 1e6;
    double workSeconds = static_cast<double>(server.WorkMicroseconds() - workBefore) / 1e6;
    state.SetIterationTime(clientSeconds);
    state.counters["ClientOverServer"] = clientSeconds / serverSeconds;
    state.counters["ClientOverWork"] = clientSeconds / workSeconds;
    state.counters["ServerTaskMs"] = serverSeconds * 1000 / 600;
  }
}
BENCHMARK(BM_RebuildsPolledOverTcp)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(9)
    ->UseManualTime()
    ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });

// ---- A qd-server process under attack --------------------------------------

class AttackedServer {
 public:
  AttackedServer() {
    std::string error;
    if (!MakeDemoData(dir_.path.string(), 4, 2000, error)) throw std::runtime_error(error);
    std::ofstream(dir_.path / "bench.conf")
        << "[Server]\nName = QDBENCH\nTransports = TCP/IP\nPort = 0\nBindAddress = 127.0.0.1\nSecure = 1\n"
           "DataDir = .\n[Users]\ndemo = demo\n[Aliases]\nSales = sales\nStock = stock\n";
    process_ = std::make_unique<test::ServerProcess>(QD_SERVER_PATH, (dir_.path / "bench.conf").string(),
                                                     (dir_.path / "su").string());
  }
  uint16_t Port() const { return process_->TcpPort(); }
  // The server's peak resident memory so far.
  double PeakRssMb() const {
    std::ifstream status("/proc/" + std::to_string(process_->Pid()) + "/status");
    std::string line;
    while (std::getline(status, line))
      if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
  }
  test::ServerProcess& Process() { return *process_; }

 private:
  ScratchDir dir_;
  std::unique_ptr<test::ServerProcess> process_;
};

// A well-behaved client, logged in before the attack begins, asking for the
// table list back to back; the slowest answer, in milliseconds.
class Bystander {
 public:
  explicit Bystander(uint16_t port) {
    std::promise<void> ready;
    std::future<void> started = ready.get_future();
    thread_ = std::thread([this, port, &ready] {
      auto client = Connect(port);
      int32_t db = OpenDatabase(*client, "Sales");
      Bytes request = TableListRequest(db);
      ready.set_value();
      while (!stop_) {
        TqdMemoryStream rows;
        auto start = Clock::now();
        TqdResult r = client->Request(msgGetTableList, TqdRequestData{request.data(), 40, nullptr},
                                      TqdReplyTarget{nullptr, 0, &rows});
        double ms = Seconds(Clock::now() - start) * 1000;
        worstMs_ = std::max(worstMs_.load(), ms);
        if (r != 0) failures_++;
      }
    });
    started.wait();
  }
  double Stop() {
    stop_ = true;
    thread_.join();
    return worstMs_;
  }
  int Failures() const { return failures_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<double> worstMs_{0};
  std::atomic<int> failures_{0};
  std::thread thread_;
};

// Clients that log in, then pipeline requests for `seconds` and never read
// a reply; the requests sent.
int64_t Flood(uint16_t port, int clients, double seconds) {
  std::atomic<int64_t> sent{0};
  std::vector<std::thread> attackers;
  for (int i = 0; i < clients; ++i) {
    attackers.emplace_back([port, seconds, &sent] {
      bench::RawSession raw(port);
      if (!raw.Login("demo", "demo")) return;
      Bytes open(kOpenDatabaseRequestSize, 0);
      PutShortString(open.data(), "Sales", kPathCapacity);
      Bytes db = raw.Ask(msgOpenDatabase, open, 4);
      if (db.size() != 4) return;
      Bytes list = TableListRequest(GetInt32LE(db.data()));
      Bytes openTable(kOpenTableRequestSize, 0);
      PutInt32LE(openTable.data(), GetInt32LE(db.data()));
      PutShortString(openTable.data() + 4, "Customers", 31);
      auto end = Clock::now() + std::chrono::duration<double>(seconds);
      while (Clock::now() < end && raw.Connected()) {
        if (raw.Send(msgGetTableList, list) && raw.Send(msgOpenTable, openTable)) {
          sent += 2;
        } else {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the server stopped reading us
        }
      }
    });
  }
  for (auto& t : attackers) t.join();
  return sent;
}

void BM_Flood(benchmark::State& state) {
  const int clients = static_cast<int>(state.range(0));
  for (auto _ : state) {
    AttackedServer server;
    Bystander bystander(server.Port());
    auto start = Clock::now();
    int64_t sent = Flood(server.Port(), clients, 5.0);
    state.SetIterationTime(Seconds(Clock::now() - start));
    state.counters["AttackRequests"] = static_cast<double>(sent);
    state.counters["BystanderMaxMs"] = bystander.Stop();
    state.counters["BystanderFailures"] = bystander.Failures();
    state.counters["PeakRSS_MB"] = server.PeakRssMb();
  }
}
BENCHMARK(BM_Flood)->Arg(1)->Arg(4)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseManualTime();

// Guessers, each trying the wrong password again and again, and giving a
// try up after 2 s (a held answer tells nothing anyway); the server's log
// has one line per answered failure.
void BM_GuessPasswords(benchmark::State& state) {
  const int guessers = static_cast<int>(state.range(0));
  const double seconds = 20.0;
  for (auto _ : state) {
    AttackedServer server;
    Bystander bystander(server.Port());
    std::vector<std::thread> threads;
    for (int i = 0; i < guessers; ++i) {
      threads.emplace_back([&server, seconds] {
        auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) Connect(server.Port(), "guess", 2000);
      });
    }
    for (auto& t : threads) t.join();
    server.Process().ReadAvailable();
    const std::string& log = server.Process().Output();
    size_t answers = 0;
    for (size_t at = log.find("login failed"); at != std::string::npos; at = log.find("login failed", at + 1))
      ++answers;
    state.SetIterationTime(seconds);
    state.counters["AnswersPerMinute"] = static_cast<double>(answers) * 60 / seconds;
    state.counters["BystanderMaxMs"] = bystander.Stop();
    state.counters["PeakRSS_MB"] = server.PeakRssMb();
  }
}
BENCHMARK(BM_GuessPasswords)->Arg(8)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseManualTime();

// A stop while four clients flood the server and a pack runs.
void BM_StopDuringFlood(benchmark::State& state) {
  for (auto _ : state) {
    AttackedServer server;
    std::thread flood([&] { Flood(server.Port(), 4, 3.0); });
    {
      auto client = Connect(server.Port());
      Bytes pack(kTableRequestSize, 0), task(4);
      PutInt32LE(pack.data(), OpenDatabase(*client, "Sales"));
      PutShortString(pack.data() + 4, "Customers", 31);
      Block(*client, msgPackTable, pack, task);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));  // let the flood take hold
    auto start = Clock::now();
    server.Process().Signal(SIGTERM);
    double ms = Seconds(Clock::now() - start) * 1000;
    flood.join();
    state.SetIterationTime(ms / 1000);
    state.counters["StopMs"] = ms;
  }
}
BENCHMARK(BM_StopDuringFlood)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseManualTime();

}  // namespace
}  // namespace qd

BENCHMARK_MAIN();
