// The core's bounds on connections: how many may wait to log in, how long
// they may take, and how many requests one client may have unanswered
// before the server stops reading it.
#include "server/server_core.h"

namespace qd {

// A newcomer beyond its address's share is hung up; beyond the cap for all,
// the connection that has waited longest to log in goes, so that a flood of
// new connections cannot keep every other client from logging in for long.
void TqdServerCore::CapUnauthenticated(TqdCoreConnection newcomer) {
  const Client& fresh = clients_.at(newcomer);
  size_t fromAddress = 0;
  size_t waiting = 0;
  TqdCoreConnection oldest = 0;
  uint64_t oldestSequence = UINT64_MAX;
  for (const auto& [c, client] : clients_) {
    if (client.Gone || client.LoggedIn) continue;
    ++waiting;
    if (client.Address == fresh.Address) ++fromAddress;
    if (!client.LoginHeld && client.Sequence < oldestSequence) {
      oldestSequence = client.Sequence;
      oldest = c;
    }
  }
  if (fromAddress > kMaxUnauthenticatedPerAddress) {
    HangUpLater(newcomer);
  } else if (waiting > kMaxUnauthenticated && oldest != 0) {
    HangUpLater(oldest);
  }
}

// A connection that has not logged in within kLoginDeadlineMs of its
// connect (or its last attach) is hung up; one whose login the throttle
// holds has been answered by then or waits for its answer.
void TqdServerCore::CheckLoginDeadlines(uint32_t now) {
  std::vector<TqdCoreConnection> late;
  for (const auto& [c, client] : clients_) {
    if (!client.Gone && !client.LoggedIn && !client.LoginHeld && now - client.LoginClock >= kLoginDeadlineMs)
      late.push_back(c);
  }
  for (TqdCoreConnection c : late) HangUpLater(c);
}

void TqdServerCore::CountRequest(TqdCoreConnection c, Client& client) {
  if (++client.Outstanding >= kMaxOutstandingRequests && !client.Paused) {
    client.Paused = true;
    output_.PauseRequests(c, true);
  }
}

void TqdServerCore::CountReply(TqdCoreConnection c, Client& client) {
  if (client.Outstanding > 0) --client.Outstanding;
  if (client.Paused && client.Outstanding < kMaxOutstandingRequests) {
    client.Paused = false;
    output_.PauseRequests(c, false);
  }
}

}  // namespace qd
