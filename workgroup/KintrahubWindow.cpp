#include "workgroup/KintrahubWindow.h"

#include <QPushButton>

namespace workgroup {

KintrahubWindow::KintrahubWindow(QWidget* parent)
    : platform::TrayDialog(QStringLiteral("Kintrahub"), 320, 200, parent) {
  connect(AddButton(QStringLiteral("确定"), true), &QPushButton::clicked, this, &QDialog::accept);
  connect(AddButton(QStringLiteral("取消")), &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace workgroup
