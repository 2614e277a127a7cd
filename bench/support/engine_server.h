// A listening transport in a forked benchmark server: it answers an attach
// as a fixed, unsecured server would, then serves whatever the benchmark's
// handler answers, for ever (the child dies with its parent).
#pragma once

#include <unistd.h>

#include <functional>

#include "comms/QDLLWsck.h"
#include "comms/QDNetMsg.h"
#include "comms/server_endpoint.h"
#include "platform/message_queue.h"

namespace qd::bench {

using RequestHandler = std::function<void(TqdServerEndpoint&, const TqdIncomingRequest&)>;

// Serves on an ephemeral loopback port, writes the port to `readyPipe`.
[[noreturn]] inline void ServeEngineRequests(int readyPipe, const RequestHandler& handle) {
  TqdTCPIPProtocol transport("QDBENCH", kListeningMode);
  transport.Endpoints.StreamPort = 0;
  TqdServerEndpoint endpoint(transport);
  endpoint.OnRequest = [&](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
    if (r.MsgID != msgAttach) return handle(e, r);
    uint8_t bytes[kAttachReplySize];
    EncodeAttachReply({1, 15200, 4321, 60000, 30000, 5, false}, bytes);
    e.Reply(r.Connection, msgAttach, 0, kDataKindBlock, bytes);
    transport.SetConnectionScramblingSeed(r.Connection, 4321);
  };
  transport.Start();
  uint16_t port = transport.BoundStreamPort();
  if (write(readyPipe, &port, sizeof port) != sizeof port) _exit(1);
  TqdMessageQueue& queue = TqdMessageQueue::ForThisThread();
  for (;;) {
    queue.WaitFor(nullptr, 1000);
    queue.DispatchPending();
  }
}

}  // namespace qd::bench
