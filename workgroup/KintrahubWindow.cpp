#include "workgroup/KintrahubWindow.h"

#include <QPushButton>

#include "platform/Translation.h"

namespace workgroup {

KintrahubWindow::KintrahubWindow(QWidget* parent)
    : platform::TrayDialog(QStringLiteral("Kintrahub"), 320, 200, parent) {
  connect(AddButton(platform::QtText("确定"), true), &QPushButton::clicked, this, &QDialog::accept);
  connect(AddButton(platform::QtText("取消")), &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace workgroup
