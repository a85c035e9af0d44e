#pragma once
// The desktop life of a tray program's main window:
// - Start() hides the window behind a tray icon (tip text given);
// - a double click on the icon shows the window and removes the icon;
// - closing or minimising the window hides it to the tray again;
// - the tray menu's single item, and the window's OK, Cancel, Enter and
//   Escape, call `end`, which ends the program through its orderly shutdown;
// - the window's context menu holds the About item, since X11 window
//   managers offer no system menu to extend.
// Where the desktop has no tray area the window is shown minimised instead,
// and closing it minimises it, so the user can still reach its buttons.
#include <QIcon>
#include <QObject>
#include <QString>
#include <functional>

class QDialog;
class QMenu;
class QSystemTrayIcon;

namespace platform {

// GUI thread only.
class TrayShell : public QObject {
 public:
  struct Texts {
    QString tip;           // "渲染单元"
    QString closeItem;     // "关闭"
    QString aboutItem;     // "关于 Tessel(&A)..."
    QString aboutCaption;  // "关于 Tessel"
    QString aboutLine;     // "Tessel 1.0 版"
  };

  // `window` must outlive the shell. `end` runs on the GUI thread.
  TrayShell(QDialog* window, const QIcon& icon, Texts texts, std::function<void()> end);
  ~TrayShell() override;

  void Start();

  // Hides the window into the tray (or minimises it, without a tray area).
  void HideToTray();
  void ShowWindow();
  void ShowAbout();

  bool trayAvailable() const { return trayAvailable_; }
  QSystemTrayIcon* trayIcon() const { return tray_; }

  // An icon drawn for a program: a rounded square in `color` with `letter`.
  static QIcon MakeIcon(const QColor& color, QChar letter);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QDialog* window_;
  QIcon icon_;
  Texts texts_;
  std::function<void()> end_;
  QSystemTrayIcon* tray_;
  QMenu* menu_;
  bool trayAvailable_ = false;
};

}  // namespace platform
