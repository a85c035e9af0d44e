// kintrahub: the farm's workgroup server. Its command line goes to the ORB
// (give a fixed -ORBendPoint so the published reference survives restarts).
// On a desktop it lives in the tray; without one it runs as a daemon.
// SIGINT and SIGTERM shut it down cleanly either way.
#include <signal.h>
#include <time.h>

#include <QApplication>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/EndSignals.h"
#include "platform/MessageBox.h"
#include "platform/ProgramInfo.h"
#include "platform/QtMessageBox.h"
#include "platform/Translation.h"
#include "platform/TrayLoop.h"
#include "platform/TrayShell.h"
#include "registry/RegistryPort.h"
#include "workgroup/KintrahubWindow.h"
#include "workgroup/StatusHttp.h"
#include "workgroup/WorkgroupServer.h"

namespace {

// Takes "--http ADDR:PORT" (or "--http=ADDR:PORT") out of the arguments, so
// that only ORB options remain. Empty when not given.
platform::StatusOr<std::string> TakeHttpOption(int* argc, char** argv) {
  std::string value;
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--http") {
      if (i + 1 >= *argc) return platform::Status::Error("--http needs ADDR:PORT or PORT");
      value = argv[++i];
    } else if (arg.rfind("--http=", 0) == 0) {
      value = arg.substr(7);
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
  argv[kept] = nullptr;
  return value;
}

int RunDaemon(workgroup::WorkgroupServer& server, const sigset_t& endSignals) {
  server.Start();
  const timespec poll = {0, 100 * 1000 * 1000};
  while (!server.finished()) {
    if (sigtimedwait(&endSignals, nullptr, &poll) > 0) break;
  }
  server.Stop();
  server.Join();
  // Without a window to keep open, a server that could not serve ends with
  // a failure status after its "error" message.
  return server.failed() ? 1 : 0;
}

// A server that fails shows "error" and keeps its window and tray icon
// until the user ends the program.
int RunDesktop(int argc, char** argv, workgroup::WorkgroupServer& server, const sigset_t& endSignals) {
  QApplication app(argc, argv);
  // Boxes come and go; only the shutdown ends the program.
  app.setQuitOnLastWindowClosed(false);
  platform::InstallQtMessageBoxPresenter();
  workgroup::KintrahubWindow window;
  platform::TrayShell shell(
      &window, platform::TrayShell::MakeIcon(QColor(0x2e, 0x7d, 0x32), QLatin1Char('K')),
      {platform::QtText("工作组服务"), platform::QtText("关闭"), platform::QtText("关于 Kintrahub(&A)..."),
       platform::QtText("关于 Kintrahub"), platform::QtText("Kintrahub 1.0 版")},
      [] { QCoreApplication::exit(0); });
  server.Start();
  shell.Start();
  platform::RunTrayLoop(endSignals);
  server.Stop();
  platform::ServeEventsUntil([&server] { return server.finished(); });
  server.Join();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (platform::AnswerHelpOrVersion(
          argc, argv, "kintrahub",
          std::string("usage: kintrahub [--http [ADDR:]PORT] [ORB options]\n"
                      "The workgroup server: keeps the farm's work groups and their render nodes, and\n"
                      "publishes itself under the name \"WorkGroup\" in the name registry. Give it a\n"
                      "fixed -ORBendPoint so that the reference it publishes survives restarts.\n"
                      "On a desktop it lives in the tray; it ends on SIGINT, SIGTERM, or the tray\n"
                      "menu's \"关闭\". Until the name registry answers it says so and keeps\n"
                      "trying; it publishes itself again whenever the registry restarts.\n"
                      "Exit status: 0 after an orderly end, 1 when the ORB could not serve, 2 for\n"
                      "an argument that is not an ORB option or a LEDGO_PORT that is not a port.\n"
                      "--http [ADDR:]PORT serves the farm's status page at / and its JSON at\n"
                      "/status.json, on 127.0.0.1 unless ADDR is given: plain HTTP, read-only, with\n"
                      "no login, also when the farm speaks TLS (see README, \"The operator's view\").\n\n") +
              platform::kCommonEnvironmentHelp + "\n" + platform::kOrbOptionsHelp)) {
    return 0;
  }
  platform::StatusOr<std::string> http = TakeHttpOption(&argc, argv);
  if (!http) return platform::RefuseToStart("kintrahub", http.status().reason());
  std::optional<workgroup::HttpAddress> httpAddress;
  if (!http->empty()) {
    platform::StatusOr<workgroup::HttpAddress> parsed = workgroup::ParseHttpAddress(*http);
    if (!parsed) return platform::RefuseToStart("kintrahub", parsed.status().reason());
    httpAddress = *parsed;
  }
  if (platform::Status args = platform::CheckOrbArguments(argc, argv); !args) {
    return platform::RefuseToStart("kintrahub", args.reason());
  }
  if (auto port = registry::RegistryPortFromEnvironment(); !port) {
    return platform::RefuseToStart("kintrahub", port.status().reason());
  }
  platform::EnsureRuntimeFolder();
  platform::InstallTranslation();
  // Only one thread takes the end signals; the ORB's threads inherit the
  // mask and the ORB is shut down from there, never inside a handler.
  const sigset_t endSignals = platform::BlockEndSignals();

  // The server copies the arguments before Qt takes its own out of them.
  auto board = std::make_shared<workgroup::StatusBoard>();
  workgroup::WorkgroupServer server(argc, argv, board);
  workgroup::StatusHttp page(board);
  if (httpAddress) {
    if (platform::Status listening = page.Start(*httpAddress); !listening) {
      return platform::RefuseToStart("kintrahub", listening.reason());
    }
    platform::WriteMessageToStderr("kintrahub: the status page is at http://" + httpAddress->host + ":" +
                                   std::to_string(httpAddress->port) + "/");
  }
  if (platform::DesktopAvailable()) return RunDesktop(argc, argv, server, endSignals);
  return RunDaemon(server, endSignals);
}
