#include "callif/request_path.h"

#include <cstring>

namespace qd {

TqdResult SendRequest(TqdClientCommsEngine* engine, TqdMsgID msgId, const TqdRequestData& request,
                      const TqdReplyTarget& reply) {
  if (reply.Buffer != nullptr && reply.Length > 0) std::memset(reply.Buffer, 0, reply.Length);
  if (reply.Received != nullptr) *reply.Received = 0;
  if (engine == nullptr) return qdErrNetUnknown;
  return engine->Request(msgId, request, reply);
}

}  // namespace qd
