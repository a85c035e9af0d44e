#include "platform/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include "platform/MessageBox.h"

namespace platform {

bool GuiAvailable() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return false;
  const QString name = QGuiApplication::platformName();
  return name != QLatin1String("offscreen") && name != QLatin1String("minimal");
}

void InstallQtMessageBoxPresenter() {
  SetMessageBoxPresenter([](const std::string& text, const std::string& caption) {
    if (!GuiAvailable()) {
      WriteMessageToStderr(text);
      return;
    }
    auto show = [&] {
      QMessageBox::information(nullptr, QString::fromStdString(caption), QString::fromStdString(text));
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread()) {
      show();
    } else {
      QMetaObject::invokeMethod(app, show, Qt::BlockingQueuedConnection);
    }
  });
}

}  // namespace platform
