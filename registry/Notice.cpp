#include "registry/Notice.h"

#include <thread>

#include "platform/MessageBox.h"

namespace farm {

Notice::Notice(std::string text, std::string caption) : text_(std::move(text)), caption_(std::move(caption)) {}

void Notice::Show() {
  if (showing_.exchange(true)) return;
  try {
    std::thread([this] {
      platform::MessageBox(text_, caption_);
      showing_ = false;
    }).detach();
  } catch (...) {
    showing_ = false;
  }
}

}  // namespace farm
