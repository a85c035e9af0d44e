#include "platform/TrayDialog.h"

#include <QFontMetrics>
#include <QPushButton>

namespace platform {

TrayDialog::TrayDialog(const QString& caption, int widthDu, int heightDu, QWidget* parent) : QDialog(parent) {
  setWindowTitle(caption);
  setFixedSize(DialogUnits(0, 0, widthDu, heightDu).size());
}

QRect TrayDialog::DialogUnits(int x, int y, int width, int height) const {
  const QFontMetrics metrics(font());
  const int cx = metrics.averageCharWidth();
  const int cy = metrics.height();
  return QRect(x * cx / 4, y * cy / 8, width * cx / 4, height * cy / 8);
}

QPushButton* TrayDialog::AddButton(const QString& text, bool isDefault) {
  auto* button = new QPushButton(text, this);
  // 50 x 14 units, 7 from the right edge, one under the other.
  const int widthDu = width() * 4 / QFontMetrics(font()).averageCharWidth();
  button->setGeometry(DialogUnits(widthDu - 57, 7 + buttons_ * 17, 50, 14));
  button->setDefault(isDefault);
  button->setAutoDefault(isDefault);
  ++buttons_;
  return button;
}

}  // namespace platform
