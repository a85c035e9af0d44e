#include "workgroup/JobLine.h"

#include <algorithm>

namespace workgroup {

JobLine::JobLine(Clock::duration patience, Now now) : patience_(patience), now_(std::move(now)) {}

void JobLine::DropGoneLocked(Clock::time_point now) {
  line_.erase(
      std::remove_if(line_.begin(), line_.end(), [&](const Place& p) { return now - p.lastAsked >= patience_; }),
      line_.end());
}

int JobLine::WaitInLine(const std::string& job) {
  const Clock::time_point now = now_();
  std::lock_guard<std::mutex> lock(mutex_);
  DropGoneLocked(now);
  for (std::size_t i = 0; i < line_.size(); ++i) {
    if (line_[i].job == job) {
      line_[i].lastAsked = now;
      return static_cast<int>(i);
    }
  }
  line_.push_back({job, now});
  return static_cast<int>(line_.size() - 1);
}

void JobLine::Leave(const std::string& job) {
  std::lock_guard<std::mutex> lock(mutex_);
  line_.erase(std::remove_if(line_.begin(), line_.end(), [&](const Place& p) { return p.job == job; }), line_.end());
}

std::vector<std::string> JobLine::Jobs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> jobs;
  for (const Place& p : line_) jobs.push_back(p.job);
  return jobs;
}

}  // namespace workgroup
