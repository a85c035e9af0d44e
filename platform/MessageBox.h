#pragma once
#include <functional>
#include <string>

namespace platform {

// Shows `text` to the user. With a GUI presenter installed and a display
// available it is a modal box and this call returns once it is dismissed;
// otherwise it is one line on standard error holding exactly `text`, and it
// never blocks. Text and caption are shown translated (Text()). Safe to
// call from any thread.
void MessageBox(const std::string& text, const std::string& caption = std::string());

// A presenter receives every message box of the process.
using MessageBoxPresenter = std::function<void(const std::string& text, const std::string& caption)>;

// Replaces the process-wide presenter and returns the previous one. An empty
// presenter restores the standard-error line. Tests use this to capture boxes.
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);

// Writes the headless form of a message box: `text` and a newline on stderr.
void WriteMessageToStderr(const std::string& text);

}  // namespace platform
