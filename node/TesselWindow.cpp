#include "node/TesselWindow.h"

#include <QPushButton>

namespace node {

TesselWindow::TesselWindow(QWidget* parent) : platform::TrayDialog(QStringLiteral("Tessel"), 320, 200, parent) {
  connect(AddButton(QStringLiteral("确定"), true), &QPushButton::clicked, this, &QDialog::accept);
  connect(AddButton(QStringLiteral("取消")), &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace node
