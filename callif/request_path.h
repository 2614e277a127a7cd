// The one way the call-interface objects send a request: through the comms
// engine they were given (11271 without one), with the reply buffer
// zero-filled first, so that a reply shorter than the buffer never leaves
// bytes of an earlier reply behind.
// Thread rules: the comms engine's (its owner thread only).
#pragma once

#include <cstdint>
#include <vector>

#include "base/result_codes.h"
#include "comms/QDClComm.h"

namespace qd {

// A request whose record was built as bytes.
inline TqdRequestData RequestOf(const std::vector<uint8_t>& bytes) {
  return TqdRequestData{bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr};
}

TqdResult SendRequest(TqdClientCommsEngine* engine, TqdMsgID msgId, const TqdRequestData& request,
                      const TqdReplyTarget& reply);

// A block request with a reply record of fixed size (or none): a reply with
// fewer bytes than the record is the server's fault and is refused.
template <class Request>
TqdResult SendRecord(TqdClientCommsEngine* engine, TqdMsgID msgId, const Request& request, void* reply = nullptr,
                     uint32_t replyLength = 0) {
  return SendRequest(engine, msgId, TqdRequestData{request.data(), static_cast<uint32_t>(request.size()), nullptr},
                     TqdReplyTarget{.Buffer = reply, .Length = replyLength, .FixedSize = reply != nullptr});
}

}  // namespace qd
