#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/Texts.h"

namespace platform {
namespace {

std::mutex& PresenterMutex() {
  static std::mutex m;
  return m;
}

MessageBoxPresenter& Presenter() {
  static MessageBoxPresenter p;
  return p;
}

}  // namespace

void WriteMessageToStderr(const std::string& text) {
  // One write so that lines from several threads do not interleave.
  std::string line = text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void MessageBox(const std::string& builtInText, const std::string& builtInCaption) {
  const std::string text = Text(builtInText);
  const std::string caption = Text(builtInCaption);
  MessageBoxPresenter presenter;
  {
    std::lock_guard<std::mutex> lock(PresenterMutex());
    presenter = Presenter();
  }
  if (presenter) {
    presenter(text, caption);
  } else {
    WriteMessageToStderr(text);
  }
}

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
  std::lock_guard<std::mutex> lock(PresenterMutex());
  return std::exchange(Presenter(), std::move(presenter));
}

}  // namespace platform
