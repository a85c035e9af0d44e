#include "node/BossWatch.h"

namespace node {

BossWatch::BossWatch(std::function<bool()> answers, std::function<void()> onLost, Clock::duration period,
                     Clock::duration patience)
    : answers_(std::move(answers)), onLost_(std::move(onLost)), period_(period), patience_(patience) {
  thread_ = std::thread([this] { Run(); });
}

BossWatch::~BossWatch() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  stopped_.notify_all();
  thread_.join();
}

bool BossWatch::lost() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lost_;
}

void BossWatch::Run() {
  Clock::time_point lastAnswer = Clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    if (stopped_.wait_for(lock, period_, [this] { return stop_; })) return;
    lock.unlock();
    const bool answered = answers_();
    lock.lock();
    const Clock::time_point now = Clock::now();
    if (answered) {
      lastAnswer = now;
    } else if (now - lastAnswer >= patience_ && !stop_) {
      lost_ = true;
      lock.unlock();
      onLost_();
      return;
    }
  }
}

}  // namespace node
