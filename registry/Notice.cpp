#include "registry/Notice.h"

#include <thread>

#include "platform/MessageBox.h"

namespace registry {

Notice::Notice(std::string text, std::string caption) : state_(std::make_shared<State>()) {
  state_->text = std::move(text);
  state_->caption = std::move(caption);
}

bool Notice::Show() {
  if (state_->showing.exchange(true)) return false;
  try {
    std::thread([state = state_] {
      platform::MessageBox(state->text, state->caption);
      state->showing = false;
    }).detach();
  } catch (...) {
    state_->showing = false;
    return false;
  }
  return true;
}

}  // namespace registry
