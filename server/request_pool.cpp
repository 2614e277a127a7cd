#include "server/request_pool.h"

#include "base/padlock.h"

namespace qd {

TqdRequestPool::TqdRequestPool(std::function<void()> wake, TqdStopSignal* stop, int workers)
    : wake_(std::move(wake)), stop_(stop) {
  SetMultiThreaded();
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

TqdRequestPool::~TqdRequestPool() { Stop(); }

void TqdRequestPool::Stop() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (auto& t : workers_)
    if (t.joinable()) t.join();
}

void TqdRequestPool::Submit(uint64_t owner, Job job, Then then) {
  ++outstanding_;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    auto& queue = waiting_[owner];
    if (queue.empty()) turns_.push_back(owner);
    queue.emplace_back(std::move(job), std::move(then));
  }
  ready_.notify_one();
}

void TqdRequestPool::WorkerLoop() {
  TqdStoreCache stores(stop_);
  for (;;) {
    std::pair<Job, Then> item;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !turns_.empty(); });
      if (stopping_) return;
      uint64_t owner = turns_.front();
      turns_.pop_front();
      auto queue = waiting_.find(owner);
      item = std::move(queue->second.front());
      queue->second.pop_front();
      if (queue->second.empty()) {
        waiting_.erase(queue);
      } else {
        turns_.push_back(owner);  // its next job waits for the others' turns
      }
    }
    TqdJobResult result;
    try {
      result = item.first(stores);
    } catch (const EqdStorageError& e) {
      result = {e.Code, {}};
    } catch (const std::exception&) {
      result = {qdErrServerUnexpected, {}};
    }
    {
      std::lock_guard<std::mutex> guard(mutex_);
      done_.emplace_back(std::move(result), std::move(item.second));
    }
    if (wake_) wake_();
  }
}

int TqdRequestPool::RunCompletions() {
  std::deque<std::pair<TqdJobResult, Then>> done;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    done.swap(done_);
  }
  for (auto& [result, then] : done) {
    --outstanding_;
    if (then) then(result);
  }
  return static_cast<int>(done.size());
}

}  // namespace qd
