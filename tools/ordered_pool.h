// Runs jobs on worker threads and hands their results back in the order the
// jobs were submitted, so that frames coded in parallel are written in
// sequence. With one thread the jobs run inside Submit and no thread starts.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace voxa {

template <typename Result>
class OrderedPool {
 public:
  explicit OrderedPool(unsigned threads) {
    if (threads <= 1) return;
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
  }
  ~OrderedPool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_workers_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }
  OrderedPool(const OrderedPool&) = delete;
  OrderedPool& operator=(const OrderedPool&) = delete;

  unsigned threads() const { return workers_.empty() ? 1u : static_cast<unsigned>(workers_.size()); }

  // Jobs submitted whose results were not taken yet. The owner calls
  // Submit, Pending and TakeNext from one thread.
  std::size_t Pending() const { return results_.size(); }

  void Submit(std::function<Result()> job) {
    auto slot = std::make_shared<Slot>();
    results_.push_back(slot);
    if (workers_.empty()) {
      Run(job, slot.get());
      slot->done = true;
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.emplace_back(std::move(job), slot);
    }
    wake_workers_.notify_one();
  }

  // Waits for the oldest job and returns its result (or throws what it threw).
  Result TakeNext() {
    std::shared_ptr<Slot> slot = results_.front();
    results_.pop_front();
    if (!workers_.empty()) {
      std::unique_lock<std::mutex> lock(mutex_);
      job_done_.wait(lock, [&] { return slot->done; });
    }
    if (slot->error) std::rethrow_exception(slot->error);
    return std::move(*slot->result);
  }

 private:
  struct Slot {
    std::optional<Result> result;
    std::exception_ptr error;
    bool done = false;
  };

  static void Run(const std::function<Result()>& job, Slot* slot) {
    try {
      slot->result.emplace(job());
    } catch (...) {
      slot->error = std::current_exception();
    }
  }

  void Work() {
    for (;;) {
      std::pair<std::function<Result()>, std::shared_ptr<Slot>> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_workers_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      Run(job.first, job.second.get());
      {
        std::lock_guard<std::mutex> lock(mutex_);
        job.second->done = true;
      }
      job_done_.notify_all();
    }
  }

  std::vector<std::thread> workers_;
  std::deque<std::shared_ptr<Slot>> results_;  // the owner's, in submission order
  std::mutex mutex_;
  std::condition_variable wake_workers_;
  std::condition_variable job_done_;
  std::deque<std::pair<std::function<Result()>, std::shared_ptr<Slot>>> jobs_;
  bool stopping_ = false;
};

}  // namespace voxa
