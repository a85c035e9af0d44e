#include "jobs/core/JobSlot.h"

namespace jobs {

void JobSlot::SetImage(int32_t width, int32_t height) {
  std::lock_guard<std::mutex> lock(mutex_);
  width_ = width;
  height_ = height;
  std::erase_if(orders_, [](const std::weak_ptr<JobOrder>& o) { return o.expired(); });
  for (const std::weak_ptr<JobOrder>& o : orders_) {
    if (std::shared_ptr<JobOrder> order = o.lock()) order->SetPictureSize({width, height});
  }
}

void JobSlot::Follow(const std::shared_ptr<JobOrder>& order) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(orders_, [](const std::weak_ptr<JobOrder>& o) { return o.expired(); });
  order->SetPictureSize({width_, height_});
  orders_.push_back(order);
}

void JobSlot::Size(int32_t* width, int32_t* height) const {
  std::lock_guard<std::mutex> lock(mutex_);
  *width = width_;
  *height = height_;
}

bool JobSlot::TryStart(uint64_t* job) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (busy_) return false;
  busy_ = true;
  held_ = ++lastJob_;
  *job = held_;
  return true;
}

void JobSlot::Init() {
  std::lock_guard<std::mutex> lock(mutex_);
  busy_ = false;
  held_ = 0;
}

void JobSlot::Destroy() {
  std::lock_guard<std::mutex> lock(mutex_);
  held_ = 0;
}

void JobSlot::ViewerClosed(uint64_t job) {
  std::lock_guard<std::mutex> lock(mutex_);
  busy_ = false;
  if (held_ == job) held_ = 0;
}

JobSlot::State JobSlot::state() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!busy_) return State::kIdle;
  return held_ != 0 ? State::kRunning : State::kBlocked;
}

bool JobSlot::viewer_held() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_ != 0;
}

uint64_t JobSlot::held_job() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_;
}

}  // namespace jobs
