// The glue between the core and the listening transports: TCP/IP (stream
// port and discovery on UDP), IPX/SPX (the same on the emulation's ports)
// NetBIOS (on the emulation configured from the file) and the single-user
// socket, each with a
// server endpoint that puts requests together and sends replies in parts;
// a notify window that runs the core's timer and the workers'
// completions; the loop that serves until Stop() (SIGINT/SIGTERM). Each
// dispatched message is guarded: whatever one client's message raises, the
// server goes on serving the others. The reply bytes held for all clients
// together are capped (TqdReplyMemoryCap).
// Thread rules: construct, Run and destroy on one thread; Stop may be
// called from a signal handler.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "comms/QDLLProt.h"
#include "comms/reply_memory_cap.h"
#include "comms/server_endpoint.h"
#include "platform/notify_window.h"
#include "server/server_config.h"
#include "server/server_core.h"

namespace qd {

class TqdServerRunner : private TqdCoreOutput {
 public:
  // `log` takes the core's log lines (standard error without it).
  explicit TqdServerRunner(const TqdServerConfig& config, TqdServerCore::LogFunction log = {});
  ~TqdServerRunner() override;

  // Opens the transports; raises (EqdException or std::exception) when one
  // cannot be opened. Returns one line per endpoint for the log.
  std::vector<std::string> Start();
  // Serves until Stop; then stops the tasks and closes everything.
  void Run();
  static void Stop() { stopping_ = true; }
  // Serving may start again after a Stop (tests and benchmarks).
  static void Rearm() { stopping_ = false; }
  TqdServerCore& Core() { return *core_; }

 private:
  struct Link {
    TqdServerEndpoint* Endpoint;
    TqdConnectionHandle Handle;
  };
  void Attach(TqdBaseCommsProtocol& transport, TqdServerEndpoint& endpoint);
  // Attaches, starts and keeps a transport; starts its discovery too.
  void Serve(std::unique_ptr<TqdBaseCommsProtocol> transport, bool discovery);
  std::string StartTCPIP();
  std::string StartIPXSPX();
  std::string StartNetBIOS();

  // TqdCoreOutput
  void Reply(TqdCoreConnection c, TqdMsgID msg, uint16_t result, uint8_t dataKind,
             std::span<const uint8_t> data, uint32_t clientId) override;
  void ReplyToUnreadableLogin(TqdCoreConnection c, std::span<const uint8_t> part, uint32_t clientId,
                              uint16_t result) override;
  void SetScramblingSeed(TqdCoreConnection c, int32_t seed) override;
  void HangUp(TqdCoreConnection c) override;
  void PauseRequests(TqdCoreConnection c, bool paused) override;
  void AllowRequestsInParts(TqdCoreConnection c, bool allowed) override;
  // The link of a connection, or nullptr.
  const Link* LinkOf(TqdCoreConnection c) const;

  static std::atomic<bool> stopping_;
  const TqdServerConfig& config_;
  std::unique_ptr<TqdNotifyWindow> window_;
  TqdReplyMemoryCap memoryCap_;
  std::vector<std::unique_ptr<TqdBaseCommsProtocol>> transports_;
  std::vector<std::unique_ptr<TqdServerEndpoint>> endpoints_;
  std::map<TqdCoreConnection, Link> links_;
  std::map<std::pair<TqdServerEndpoint*, TqdConnectionHandle>, TqdCoreConnection> connections_;
  std::unique_ptr<TqdServerCore> core_;
};

}  // namespace qd
