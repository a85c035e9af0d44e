#pragma once
#include <atomic>
#include <memory>
#include <string>

namespace registry {

// Shows a message box without making the caller wait: the box runs on a
// thread of its own, and while one is up, further requests are dropped, so
// a caller in a service loop never stalls and boxes never pile up.
//
// Any thread: an atomic flag says whether a box is up.
class Notice {
 public:
  Notice(std::string text, std::string caption);
  // True when a box was started, false when it was dropped.
  bool Show();

 private:
  struct State {
    std::string text;
    std::string caption;
    std::atomic<bool> showing{false};
  };
  // Shared with the box's thread, which may outlive this object.
  std::shared_ptr<State> state_;
};

}  // namespace registry
