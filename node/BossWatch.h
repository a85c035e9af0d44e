#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace node {

// Watches, while a band renders, whether its boss still answers: asks
// `answers` every `period` on a thread of its own, and once `patience` has
// passed since the last answer calls `onLost` (once) and stops asking.
// `answers` returns within a bounded time (its calls carry a time limit).
//
// Made and destroyed by one thread; the destructor stops the watch and
// waits for a question under way.
class BossWatch {
 public:
  using Clock = std::chrono::steady_clock;

  BossWatch(std::function<bool()> answers, std::function<void()> onLost,
            Clock::duration period = std::chrono::seconds(1), Clock::duration patience = std::chrono::seconds(3));
  ~BossWatch();
  BossWatch(const BossWatch&) = delete;
  BossWatch& operator=(const BossWatch&) = delete;

  // True once onLost has been called.
  bool lost() const;

 private:
  void Run();

  const std::function<bool()> answers_;
  const std::function<void()> onLost_;
  const Clock::duration period_;
  const Clock::duration patience_;
  mutable std::mutex mutex_;  // guards the fields below
  std::condition_variable stopped_;
  bool stop_ = false;
  bool lost_ = false;
  std::thread thread_;
};

}  // namespace node
