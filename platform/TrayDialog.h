#pragma once
#include <QDialog>
#include <QString>

class QPushButton;

namespace platform {

// The main window of a tray program: a dialog of `widthDu` x `heightDu`
// dialog units (a quarter of the average character width, an eighth of the
// character height) with a column of buttons at its right edge.
//
// GUI thread only.
class TrayDialog : public QDialog {
 public:
  TrayDialog(const QString& caption, int widthDu, int heightDu, QWidget* parent = nullptr);

  // Adds a button below the earlier ones; the default button answers Enter.
  QPushButton* AddButton(const QString& text, bool isDefault = false);

  // Converts dialog units to pixels with this window's font.
  QRect DialogUnits(int x, int y, int width, int height) const;

 private:
  int buttons_ = 0;
};

}  // namespace platform
