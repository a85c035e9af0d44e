#pragma once
#include <atomic>
#include <string>

namespace farm {

// Shows a message box without making the caller wait: the box runs on a
// thread of its own, and while one is up, further requests are dropped, so
// a caller in a service loop never stalls and boxes never pile up.
class Notice {
 public:
  Notice(std::string text, std::string caption);
  void Show();

 private:
  const std::string text_;
  const std::string caption_;
  std::atomic<bool> showing_{false};
};

}  // namespace farm
