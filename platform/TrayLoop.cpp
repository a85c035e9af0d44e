#include "platform/TrayLoop.h"

#include <QCoreApplication>
#include <QThread>
#include <thread>

#include "platform/EndSignals.h"

namespace platform {

int RunTrayLoop(const sigset_t& endSignals) {
  // Detached: it may still wait in sigwait when the program ends.
  std::thread([endSignals] {
    WaitForEndSignal(endSignals);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  }).detach();
  return QCoreApplication::exec();
}

void ServeEventsUntil(const std::function<bool()>& done) {
  while (!done()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(10);
  }
}

}  // namespace platform
