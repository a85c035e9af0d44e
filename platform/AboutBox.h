#pragma once
#include <QDialog>

namespace platform {

// The About box of a tray program: caption (e.g. "关于 Tessel"), the
// program icon, one line ("Tessel 1.0 版") and the OK button "确定".
//
// GUI thread only.
class AboutBox : public QDialog {
 public:
  AboutBox(const QString& caption, const QIcon& icon, const QString& line, QWidget* parent = nullptr);
};

}  // namespace platform
