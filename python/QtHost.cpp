#include "python/QtHost.h"

#include <QApplication>
#include <QMetaObject>
#include <QWidget>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Desktop.h"

namespace python {
namespace {

struct HostState {
  std::mutex mutex;
  std::condition_variable ready;
  std::thread thread;
  QApplication* app = nullptr;  // the one this host made, while it runs
  bool running = false;
};

HostState& State() {
  static HostState* state = new HostState;  // outlives Python's tear-down
  return *state;
}

void RunApplication() {
  // QApplication keeps argc and argv for its whole life.
  static int argc = 3;
  static char name[] = "lumora";
  static char platform_option[] = "-platform";
  static char platform[] = "offscreen";
  static char* argv[] = {name, platform_option, platform, nullptr};
  HostState& state = State();
  auto* app = new QApplication(argc, argv);
  app->setQuitOnLastWindowClosed(false);
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.app = app;
    state.running = true;
  }
  state.ready.notify_all();
  app->exec();
  for (QWidget* window : QApplication::topLevelWidgets()) delete window;
  std::lock_guard<std::mutex> lock(state.mutex);
  state.app = nullptr;
  delete app;
}

}  // namespace

void QtHost::Start() {
  HostState& state = State();
  std::unique_lock<std::mutex> lock(state.mutex);
  if (state.running || QCoreApplication::instance() != nullptr) return;
  // Before the application's thread exists; Qt would warn without it.
  platform::EnsureRuntimeFolder();
  state.thread = std::thread(RunApplication);
  state.ready.wait(lock, [&] { return state.running; });
}

void QtHost::Stop() {
  HostState& state = State();
  std::thread thread;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.running) return;
    if (state.app != nullptr) QMetaObject::invokeMethod(state.app, &QCoreApplication::quit, Qt::QueuedConnection);
    thread = std::move(state.thread);
    state.running = false;
  }
  if (thread.joinable()) thread.join();
}

}  // namespace python
