#pragma once
#include <QStringList>
#include <functional>
#include <string>

#include "platform/TrayDialog.h"

class QListWidget;

namespace registry {

// The name registry's window, "Ledgo": the log list of the service, and the
// buttons "服务关闭" (the default; ends the program) and "隐藏" (hides the
// window to the tray through `hide`).
//
// GUI thread only, but for AppendLog, which any thread may call.
class LedgoWindow : public platform::TrayDialog {
 public:
  explicit LedgoWindow(std::function<void()> hide, QWidget* parent = nullptr);

  // Appends `line` to the log list. Safe from any thread and never waits:
  // the line is added when the GUI thread next serves its events.
  void AppendLog(const std::string& line);

  // The lines of the log list (GUI thread).
  QStringList LogLines() const;

 private:
  QListWidget* log_;
};

}  // namespace registry
