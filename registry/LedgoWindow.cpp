#include "registry/LedgoWindow.h"

#include <QListWidget>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>

#include "platform/Translation.h"

namespace registry {

LedgoWindow::LedgoWindow(std::function<void()> hide, QWidget* parent)
    : platform::TrayDialog(QStringLiteral("Ledgo"), 320, 200, parent) {
  connect(AddButton(platform::QtText("服务关闭"), true), &QPushButton::clicked, this, &QDialog::accept);
  connect(AddButton(platform::QtText("隐藏")), &QPushButton::clicked, this, [hide] { hide(); });
  // The client area less 10 units at the left and top and 100 at the right.
  log_ = new QListWidget(this);
  log_->setGeometry(DialogUnits(10, 10, 320 - 10 - 100, 200 - 10));
  log_->setSortingEnabled(false);
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void LedgoWindow::AppendLog(const std::string& line) {
  QPointer<QListWidget> list = log_;
  const QString text = QString::fromStdString(line);
  QMetaObject::invokeMethod(
      log_,
      [list, text] {
        if (list) list->addItem(text);
      },
      Qt::QueuedConnection);
}

QStringList LedgoWindow::LogLines() const {
  QStringList lines;
  for (int i = 0; i < log_->count(); ++i) lines << log_->item(i)->text();
  return lines;
}

}  // namespace registry
