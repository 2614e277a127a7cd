// Attach, login and detach: who a connection is. A failed login is answered
// and its connection hung up, so each guess of a key costs a new
// connection; the login throttle spaces the answers out further. Every
// login, and every failure and hang-up for one, is logged with the address
// and user name.
#include <random>

#include "base/ticks.h"
#include "comms/QDNetMsg.h"
#include "comms/keepalive.h"
#include "comms/scramble.h"
#include "server/server_core.h"
#include "server/server_results.h"

namespace qd {
namespace {

int32_t RandomNonZeroCode() {
  static thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<int32_t> pick(1, INT32_MAX);
  int32_t code = pick(generator);
  return (generator() & 1) ? code : -code;
}

}  // namespace

// Attach (11): a client identifier (kept across attaches of a connection),
// the version, a fresh scrambling code and the keep-alive settings. The
// reply itself is never scrambled; the client's key is set behind it. A new
// attach starts the connection afresh: what an earlier login opened is gone.
void TqdServerCore::OnAttach(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto attach = DecodeAttachRequest(request.Data.data(), request.Data.size());
  if (!attach || attach->UserName.find('\0') != std::string::npos) {
    Reply(c, msgAttach, qdErrInvalidParam);
    return;
  }
  if (!StartAfresh(c, client)) return;
  if (client.ClientId == 0) client.ClientId = nextClientId_++;
  client.Attached = true;
  client.UserName = attach->UserName;
  TqdAttachReply reply;
  reply.ClientID = client.ClientId;
  reply.ServerVersion = kServerVersion;
  reply.ScramblingCode = RandomNonZeroCode();
  TqdKeepAliveSettings keepAlive = KeepAliveSettings();
  reply.InactivityInterval = keepAlive.InactivityInterval;
  reply.KeepAliveInterval = keepAlive.CheckInterval;
  reply.KeepAliveRetries = keepAlive.Retries;
  reply.Secure = config_.Secure;
  uint8_t bytes[kAttachReplySize];
  EncodeAttachReply(reply, bytes);
  Reply(c, msgAttach, qdOK, bytes);
  std::string password;
  bool known = config_.PasswordOf(client.UserName, password);
  // An unknown user gets the plain code: the login fails whatever key the
  // client made.
  output_.SetScramblingSeed(c, ScramblingSeed(reply.ScramblingCode, config_.Secure && known, password));
}

// Login (9): it arrived readable, so the client's key is the server's. On a
// secure server the user must also be one of the configured users.
void TqdServerCore::OnLogin(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  if (!client.Attached || client.LoginHeld) {
    Reply(c, msgConfirmLogin, qdErrInvalidPassword);
    HangUpLater(c);
    return;
  }
  std::string password;
  bool ok = request.ClientID == client.ClientId && request.Data.empty() && !request.IsStream &&
            (!config_.Secure || config_.PasswordOf(client.UserName, password));
  ConcludeLogin(c, client, ok, {});
}

void TqdServerCore::OnUnsound(TqdCoreConnection c, const uint8_t* part, size_t size) {
  Scope scope(*this);
  Client* client = Find(c);
  if (client == nullptr) return;
  // Only a login confirmation has a form the server can foresee; any other
  // unreadable part means the two sides have lost each other.
  if (client->Attached && !client->LoginHeld && size == kMsgHeaderSize && PeekMsgID(part) == msgConfirmLogin) {
    ConcludeLogin(c, *client, false, std::vector<uint8_t>(part, part + size));
    return;
  }
  HangUpLater(c);
}

void TqdServerCore::ConcludeLogin(TqdCoreConnection c, Client& client, bool accepted,
                                  std::vector<uint8_t> unreadablePart) {
  client.LoggedIn = false;
  if (throttle_.MayAnswer(client.UserName, client.Address, GetTickCount())) {
    AnswerLogin(c, client, accepted, unreadablePart);
    return;
  }
  // Held whatever its outcome: a quick answer would tell a guesser it was right.
  client.LoginHeld = true;
  heldLogins_.push_back({c, accepted, std::move(unreadablePart)});
}

void TqdServerCore::AnswerLogin(TqdCoreConnection c, Client& client, bool accepted,
                                const std::vector<uint8_t>& unreadablePart) {
  if (accepted) {
    client.LoggedIn = true;
    output_.AllowRequestsInParts(c, true);
    Reply(c, msgConfirmLogin, qdOK);
    Log("logged in: " + Who(client));
    return;
  }
  throttle_.Failed(client.UserName, client.Address, GetTickCount());
  Log("login failed: " + Who(client));
  if (unreadablePart.empty()) {
    Reply(c, msgConfirmLogin, qdErrInvalidPassword);
  } else {
    output_.ReplyToUnreadableLogin(c, unreadablePart, client.ClientId, qdErrInvalidPassword);
  }
  Log("hung up after a failed login: " + Who(client));
  HangUpLater(c);
}

void TqdServerCore::ReleaseHeldLogins(uint32_t now) {
  std::deque<HeldLogin> still;
  while (!heldLogins_.empty()) {
    HeldLogin held = std::move(heldLogins_.front());
    heldLogins_.pop_front();
    Client* client = Find(held.Connection);
    if (client == nullptr) continue;
    if (!throttle_.MayAnswer(client->UserName, client->Address, now)) {
      still.push_back(std::move(held));
      continue;
    }
    client->LoginHeld = false;
    AnswerLogin(held.Connection, *client, held.Accepted, held.UnreadablePart);
  }
  heldLogins_.swap(still);
}

void TqdServerCore::OnDetach(TqdCoreConnection c, Client& client, const TqdServerRequest&) {
  if (!StartAfresh(c, client)) return;
  client.Attached = false;
  client.UserName.clear();
  Reply(c, msgDetach, qdOK);
}

bool TqdServerCore::StartAfresh(TqdCoreConnection c, Client& client) {
  if (client.LoginHeld) {  // a client that does not wait for its answer
    HangUpLater(c);
    return false;
  }
  if (client.LoggedIn) output_.AllowRequestsInParts(c, false);
  client.LoggedIn = false;
  client.LoginClock = GetTickCount();
  client.Sessions.clear();
  client.Databases.clear();
  client.Cursors.clear();
  locks_.ForgetConnection(c);
  DropTransactions(client);
  client.LastPercent.clear();
  return true;
}

}  // namespace qd
