// What the call interface adds to the comms engine: a table list of 10 000
// rows read through the catalogue cursor beside one bare request whose
// reply has the same bytes, and a task-status poll through the session
// beside the bare request of message 771. The server is a forked process
// on TCP loopback that answers from memory, so the difference is the
// client's own.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <vector>

#include "base/endian.h"
#include "callif/QDCLDbas.h"
#include "callif/QDCLSess.h"
#include "callif/QDTTTabl.h"
#include "callif/maintenance.h"
#include "callif/request_records.h"
#include "comms/QDClComm.h"
#include "comms/QDLLWsck.h"
#include "comms/msg_numbers.h"
#include "comms/server_endpoint.h"
#include "bench/support/engine_server.h"

namespace qd {
namespace {

constexpr int kTables = 10000;
uint16_t g_port = 0;

std::vector<uint8_t> TableRows() {
  std::vector<uint8_t> rows(static_cast<size_t>(kTables) * kTableRowSize, 0);
  for (int i = 0; i < kTables; ++i) {
    uint8_t* row = rows.data() + static_cast<size_t>(i) * kTableRowSize;
    PutShortString(row, "Table" + std::to_string(i), 31);
    PutShortString(row + 32, "QDD", 3);
    PutInt32LE(row + 36, i);
  }
  return rows;
}

void Serve(int readyPipe) {
  std::vector<uint8_t> rows = TableRows();
  std::vector<uint8_t> status(kTaskStatusReplySize, 0);
  PutInt32LE(status.data() + kTaskPercentDoneOffset, 50);
  status[kTaskStatusSize] = 1;
  uint8_t id[4];
  PutInt32LE(id, 7);
  bench::ServeEngineRequests(readyPipe, [&](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID == msgGetTableList) {
      e.Reply(r.Connection, r.MsgID, 0, kDataKindStream, rows);
    } else if (r.MsgID == msgGetTaskStatus) {
      e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, status);
    } else if (r.MsgID == msgOpenDatabase) {
      e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, id);
    } else {
      e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, {});
    }
  });
}

void StartServer() {
  int fds[2];
  if (pipe(fds) != 0) return;
  if (fork() == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    Serve(fds[1]);
    _exit(0);
  }
  if (read(fds[0], &g_port, sizeof g_port) != sizeof g_port) g_port = 0;
  close(fds[0]);
  close(fds[1]);
}

// A logged-in session over its own comms engine, with the database open.
struct Client {
  Client() : comms("BENCH", TCPIPProtocolClass()) {
    static_cast<TqdWinsockProtocol&>(comms.Transport()).Endpoints.StreamPort = g_port;
    comms.Startup();
    SetPresetCredentials("bench", "bench");
    session = std::make_unique<TqdClientSession>(nullptr, nullptr, nullptr, nullptr, &comms);
    session->SetServerName("QDBENCH@127.0.0.1");
    ok = session->Connect() == qdOK &&
         session->OpenDatabaseInternal(nullptr, 0, 0, nullptr, 0, nullptr, nullptr, database) == qdOK;
  }
  TqdClientCommsEngine comms;
  std::unique_ptr<TqdClientSession> session;
  TttBaseDatabase* database = nullptr;
  bool ok = false;
};

void BM_TableListBareRequest(benchmark::State& state) {
  Client client;
  if (!client.ok) state.SkipWithError("no session");
  auto request = EncodeTableList(7, "");
  for (auto _ : state) {
    TqdMemoryStream reply;
    if (client.comms.Request(msgGetTableList, TqdRequestData{request.data(), request.size(), nullptr},
                             TqdReplyTarget{.Stream = &reply}) != qdOK) {
      state.SkipWithError("request failed");
      break;
    }
    benchmark::DoNotOptimize(reply.Data());
  }
}
BENCHMARK(BM_TableListBareRequest)->Unit(benchmark::kMillisecond);

void BM_TableListCatalogue(benchmark::State& state) {
  Client client;
  if (!client.ok) state.SkipWithError("no session");
  std::vector<uint8_t> row(574);
  for (auto _ : state) {
    TttBaseTable* list = nullptr;
    if (client.database->OpenTableList(false, false, "", list) != qdOK) {
      state.SkipWithError("open failed");
      break;
    }
    int rows = 0;
    while (list->GetNextRecord(0, row.data(), nullptr) == qdOK) ++rows;
    if (rows != kTables) state.SkipWithError("rows missing");
    delete list;
  }
}
BENCHMARK(BM_TableListCatalogue)->Unit(benchmark::kMillisecond);

void BM_TaskStatusBareRequest(benchmark::State& state) {
  Client client;
  if (!client.ok) state.SkipWithError("no session");
  auto request = EncodeInt32Record(3);
  uint8_t reply[kTaskStatusReplySize];
  for (auto _ : state) {
    if (client.comms.Request(msgGetTaskStatus, request.data(), request.size(), reply, sizeof reply) != qdOK) {
      state.SkipWithError("request failed");
      break;
    }
  }
}
BENCHMARK(BM_TaskStatusBareRequest);

void BM_TaskStatusThroughSession(benchmark::State& state) {
  Client client;
  if (!client.ok) state.SkipWithError("no session");
  bool finished = false;
  TaskStatus status;
  for (auto _ : state) {
    if (GetTaskStatus(client.session->Handle(), 3, finished, status) != qdOK) {
      state.SkipWithError("status failed");
      break;
    }
  }
}
BENCHMARK(BM_TaskStatusThroughSession);

}  // namespace
}  // namespace qd

int main(int argc, char** argv) {
  qd::StartServer();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
