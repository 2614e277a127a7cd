#include "server/request_pool.h"

#include "base/padlock.h"

namespace qd {

TqdRequestPool::TqdRequestPool(std::function<void()> wake, int workers) : wake_(std::move(wake)) {
  SetMultiThreaded();
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

TqdRequestPool::~TqdRequestPool() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (auto& t : workers_) t.join();
}

void TqdRequestPool::Submit(Job job, Then then) {
  ++outstanding_;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    jobs_.emplace_back(std::move(job), std::move(then));
  }
  ready_.notify_one();
}

void TqdRequestPool::WorkerLoop() {
  TqdStoreCache stores;
  for (;;) {
    std::pair<Job, Then> item;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      item = std::move(jobs_.front());
      jobs_.pop_front();
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
