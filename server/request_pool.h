// The worker threads that do the storage work of requests (table lists,
// dictionaries, open table, table changes, the checks before a task), so
// that the serving thread never waits for the disk or a lock. Each worker
// keeps its own store connection per alias directory. A job's result is
// handed back to the serving thread: it is queued, the wake function is
// called (from the worker), and the serving thread runs the job's
// continuation in RunCompletions.
//
// Jobs are taken from their owners (the clients) in turn, so a client with
// many jobs waiting delays another client's job by at most one of its own
// per worker.
// Thread rules: Submit and RunCompletions on the serving thread; the wake
// function must be callable from any thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/store_cache.h"

namespace qd {

inline constexpr int kRequestWorkers = 4;

// What a job gives back: a result code and the reply bytes.
struct TqdJobResult {
  uint16_t Result = 0;
  std::vector<uint8_t> Data;
};

class TqdRequestPool {
 public:
  using Job = std::function<TqdJobResult(TqdStoreCache&)>;
  using Then = std::function<void(TqdJobResult&)>;

  // The workers' stores are opened with `stop` (may be null), which must
  // outlive the pool.
  TqdRequestPool(std::function<void()> wake, TqdStopSignal* stop = nullptr, int workers = kRequestWorkers);
  ~TqdRequestPool();
  TqdRequestPool(const TqdRequestPool&) = delete;
  TqdRequestPool& operator=(const TqdRequestPool&) = delete;

  // Runs `job` of `owner` on a worker; storage errors become their result code.
  void Submit(uint64_t owner, Job job, Then then);
  // Runs the continuations of finished jobs; returns how many ran.
  int RunCompletions();
  // Jobs submitted and not yet completed by RunCompletions.
  int Outstanding() const { return outstanding_; }
  // Stops the workers; jobs not started are dropped.
  void Stop();

 private:
  void WorkerLoop();

  std::function<void()> wake_;
  TqdStopSignal* stop_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::map<uint64_t, std::deque<std::pair<Job, Then>>> waiting_;  // by owner
  std::deque<uint64_t> turns_;  // owners with jobs waiting, in the order they are served
  std::deque<std::pair<TqdJobResult, Then>> done_;
  bool stopping_ = false;
  int outstanding_ = 0;
  std::vector<std::thread> workers_;
};

}  // namespace qd
