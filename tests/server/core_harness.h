// A server core without transports for the tests: replies are recorded,
// worker completions are pumped until a reply arrives or a deadline passes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
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
  }
  void ReplyToUnreadableLogin(TqdCoreConnection c, std::span<const uint8_t>, uint32_t clientId,
                              uint16_t result) override {
    Replies.push_back({c, msgConfirmLogin, result, 0, {}, clientId, true});
  }
  void SetScramblingSeed(TqdCoreConnection, int32_t seed) override { Seeds.push_back(seed); }
  void HangUp(TqdCoreConnection c) override { HungUp.push_back(c); }

  std::deque<RecordedReply> Replies;
  std::vector<int32_t> Seeds;
  std::vector<TqdCoreConnection> HungUp;
};

class CoreHarness {
 public:
  explicit CoreHarness(const TqdServerConfig& config)
      : core_(config, output_, [this] {
          std::lock_guard<std::mutex> g(mutex_);
          woken_ = true;
          cv_.notify_all();
        }) {}

  TqdServerCore& Core() { return core_; }
  RecordingOutput& Output() { return output_; }

  // Sends a request and waits (pumping completions and the timer) for the
  // next reply; a default reply with Msg 0 when none came within 10 s.
  RecordedReply Request(TqdCoreConnection c, TqdMsgID msg, std::vector<uint8_t> data = {}, bool stream = false,
                        uint32_t clientId = 0) {
    core_.OnRequest(c, {msg, clientId ? clientId : lastClientId_, stream, std::move(data)});
    return NextReply();
  }
  RecordedReply NextReply() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (output_.Replies.empty() && std::chrono::steady_clock::now() < deadline) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, std::chrono::milliseconds(kCoreTimerMs), [this] { return woken_; });
        woken_ = false;
      }
      core_.RunCompletions();
      core_.OnTimer();
    }
    if (output_.Replies.empty()) return {};
    RecordedReply r = output_.Replies.front();
    output_.Replies.pop_front();
    return r;
  }

  // Attach and log in as `user`; returns the connection.
  TqdCoreConnection LoggedIn(const std::string& user = "demo") {
    TqdCoreConnection c = core_.AddConnection();
    std::vector<uint8_t> attach(kAttachRequestSize);
    EncodeAttachRequest({"tester", user}, attach.data());
    RecordedReply a = Request(c, msgAttach, attach);
    lastClientId_ = GetUInt32LE(a.Data.data());
    Request(c, msgConfirmLogin);
    return c;
  }

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
