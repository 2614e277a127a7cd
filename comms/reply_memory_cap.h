// TqdReplyMemoryCap: a bound on the reply bytes a server holds for all its
// clients together (replies waiting for acknowledgements, and bytes the
// clients' sockets have not taken). Each client is bounded on its own by
// its transport, but many clients that never read could still fill the
// server's memory; beyond the cap the connection that holds the most is
// hung up, until the rest fits.
// Thread rules: the thread of the endpoints' transports.
#pragma once

#include <cstddef>
#include <vector>

namespace qd {

class TqdServerEndpoint;

inline constexpr size_t kDefaultReplyMemoryCap = 128u << 20;

class TqdReplyMemoryCap {
 public:
  explicit TqdReplyMemoryCap(size_t limit = kDefaultReplyMemoryCap) : limit_(limit) {}

  // The endpoint reports each reply to this cap; it must outlive its use.
  void Watch(TqdServerEndpoint& endpoint);
  size_t Total() const;
  size_t Limit() const { return limit_; }
  // Hangs up the largest holders while the total passes the limit.
  void Enforce();

 private:
  size_t limit_;
  std::vector<TqdServerEndpoint*> endpoints_;
};

}  // namespace qd
