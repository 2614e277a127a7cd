// A server core without transports for the tests: replies are recorded,
// worker completions are pumped until a reply arrives or a deadline passes.
// A hang-up is reported back to the core as the loss of the connection, at
// once, as the transports do; so is a reply to a connection the test says
// is to be lost while the reply is sent.
#pragma once

#include <chrono>
#include <condition_variable>
#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/endian.h"
#include "base/shortstr.h"
#include "comms/QDNetMsg.h"
#include "comms/scramble.h"
#include "server/server_core.h"

namespace qd::test {

struct RecordedReply {
  TqdCoreConnection Connection = 0;
  TqdMsgID Msg = 0;
  uint16_t Result = 0;
  uint8_t DataKind = 0;
  std::vector<uint8_t> Data;
  uint32_t ClientId = 0;
  bool Unreadable = false;
};

class RecordingOutput : public TqdCoreOutput {
 public:
  void Reply(TqdCoreConnection c, TqdMsgID msg, uint16_t result, uint8_t kind, std::span<const uint8_t> data,
             uint32_t clientId) override {
    Replies.push_back({c, msg, result, kind, std::vector<uint8_t>(data.begin(), data.end()), clientId, false});
    if (LoseOnReply.count(c) != 0) Core->RemoveConnection(c);
  }
  void ReplyToUnreadableLogin(TqdCoreConnection c, std::span<const uint8_t>, uint32_t clientId,
                              uint16_t result) override {
    Replies.push_back({c, msgConfirmLogin, result, 0, {}, clientId, true});
  }
  void SetScramblingSeed(TqdCoreConnection, int32_t seed) override { Seeds.push_back(seed); }
  void HangUp(TqdCoreConnection c) override {
    HungUp.push_back(c);
    Core->RemoveConnection(c);
  }
  void PauseRequests(TqdCoreConnection c, bool paused) override { Paused[c] = paused; }
  void AllowRequestsInParts(TqdCoreConnection c, bool allowed) override { PartsAllowed[c] = allowed; }
  bool WasHungUp(TqdCoreConnection c) const { return std::find(HungUp.begin(), HungUp.end(), c) != HungUp.end(); }

  TqdServerCore* Core = nullptr;
  std::deque<RecordedReply> Replies;
  std::vector<int32_t> Seeds;
  std::vector<TqdCoreConnection> HungUp;
  std::set<TqdCoreConnection> LoseOnReply;
  std::map<TqdCoreConnection, bool> Paused;
  std::map<TqdCoreConnection, bool> PartsAllowed;
};

class CoreHarness {
 public:
  explicit CoreHarness(const TqdServerConfig& config)
      : core_(
            config, output_,
            [this] {
              std::lock_guard<std::mutex> g(mutex_);
              woken_ = true;
              cv_.notify_all();
            },
            [this](const std::string& line) { Log.push_back(line); }) {
    output_.Core = &core_;
  }

  TqdServerCore& Core() { return core_; }
  RecordingOutput& Output() { return output_; }

  // Sends a request and waits (pumping completions and the timer) for the
  // next reply; a default reply with Msg 0 when none came within 10 s.
  RecordedReply Request(TqdCoreConnection c, TqdMsgID msg, std::vector<uint8_t> data = {}, bool stream = false,
                        uint32_t clientId = 0) {
    core_.OnRequest(c, {msg, clientId ? clientId : lastClientId_, stream, std::move(data)});
    return NextReply();
  }
  RecordedReply NextReply(std::chrono::milliseconds wait = std::chrono::seconds(10)) {
    PumpUntil([this] { return !output_.Replies.empty(); }, wait);
    if (output_.Replies.empty()) return {};
    RecordedReply r = output_.Replies.front();
    output_.Replies.pop_front();
    return r;
  }

  // Pumps completions and the timer until `done` or `wait` has passed;
  // with `timer` false only completions (what the wake function announces).
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds wait = std::chrono::seconds(10),
                 bool timer = true) {
    auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
      if (done()) return true;  // asked once a round: `done` may send requests
      if (std::chrono::steady_clock::now() >= deadline) return false;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, std::chrono::milliseconds(kCoreTimerMs), [this] { return woken_; });
        woken_ = false;
      }
      core_.RunCompletions();
      if (timer) core_.OnTimer();
    }
  }

  // Attach and log in as `user`; returns the connection.
  TqdCoreConnection LoggedIn(const std::string& user = "demo", const std::string& address = kLocalAddress) {
    TqdCoreConnection c = core_.AddConnection(address);
    std::vector<uint8_t> attach(kAttachRequestSize);
    EncodeAttachRequest({"tester", user}, attach.data());
    RecordedReply a = Request(c, msgAttach, attach);
    lastClientId_ = GetUInt32LE(a.Data.data());
    Request(c, msgConfirmLogin);
    return c;
  }

  std::vector<std::string> Log;

  int32_t OpenDatabase(TqdCoreConnection c, const std::string& path) {
    std::vector<uint8_t> req(222, 0);
    PutShortString(req.data(), path, 219);
    req[220] = 1;
    req[221] = 1;
    RecordedReply r = Request(c, msgOpenDatabase, req);
    return r.Result == 0 ? GetInt32LE(r.Data.data()) : -1;
  }

 private:
  RecordingOutput output_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool woken_ = false;
  uint32_t lastClientId_ = 0;
  TqdServerCore core_;
};

// A table-name request: database id and a short string of capacity 31.
inline std::vector<uint8_t> TableRequest(int32_t db, const std::string& table, size_t size = 36) {
  std::vector<uint8_t> req(size, 0);
  PutInt32LE(req.data(), db);
  PutShortString(req.data() + 4, table, 31);
  return req;
}

}  // namespace qd::test
