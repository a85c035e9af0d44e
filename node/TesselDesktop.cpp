#include "node/TesselDesktop.h"

#include <QApplication>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "node/TesselWindow.h"
#include "platform/QtMessageBox.h"
#include "platform/Translation.h"
#include "platform/TrayLoop.h"
#include "platform/TrayShell.h"

namespace node {
namespace {

// Set once by the GUI thread; the broker thread waits for it.
class EndFlag {
 public:
  void Set() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = true;
    changed_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return set_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool set_ = false;
};

}  // namespace

int RunTesselDesktop(int argc, char** argv, const sigset_t& endSignals, const NodeRunner& run) {
  // The ORB gets the arguments as given, before Qt takes its own out.
  std::vector<std::string> args(argv, argv + argc);
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  platform::InstallQtMessageBoxPresenter();
  TesselWindow window;
  platform::TrayShell shell(
      &window, platform::TrayShell::MakeIcon(QColor(0x15, 0x65, 0xc0), QLatin1Char('T')),
      {platform::QtText("渲染单元"), platform::QtText("关闭"), platform::QtText("关于 Tessel(&A)..."),
       platform::QtText("关于 Tessel"), platform::QtText("Tessel 1.0 版")},
      [] { QCoreApplication::exit(0); });

  // Shared with the broker thread, which may outlive this function's frame
  // only by ending the process.
  auto end = std::make_shared<EndFlag>();
  auto brokerDone = std::make_shared<std::atomic<bool>>(false);
  std::thread([args, run, end, brokerDone] {
    std::vector<std::string> own = args;
    std::vector<char*> argvCopy;
    for (std::string& a : own) argvCopy.push_back(a.data());
    argvCopy.push_back(nullptr);
    run(static_cast<int>(own.size()), argvCopy.data(), [end] { end->Wait(); });
    *brokerDone = true;
  }).detach();
  shell.Start();

  platform::RunTrayLoop(endSignals);
  end->Set();
  // The broker ends the process once its ORB is down; one that is showing
  // a message box still needs the GUI thread for it.
  platform::ServeEventsUntil([brokerDone] { return brokerDone->load(); });
  return 0;
}

}  // namespace node
