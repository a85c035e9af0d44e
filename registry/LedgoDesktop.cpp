#include "registry/LedgoDesktop.h"

#include <ace/Init_ACE.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/QtMessageBox.h"
#include "platform/Translation.h"
#include "platform/TrayLoop.h"
#include "platform/TrayShell.h"
#include "registry/LedgoWindow.h"
#include "registry/Notice.h"
#include "registry/RegistryPort.h"
#include "registry/RegistryServer.h"
#include "registry/RegistryService.h"

namespace registry {
namespace {

void DumpLog(const LedgoWindow& window) {
  const char* dump = std::getenv("LEDGO_LOG_DUMP");
  if (dump == nullptr || *dump == '\0') return;
  QFile file(QString::fromLocal8Bit(dump));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  QTextStream out(&file);
  for (const QString& line : window.LogLines()) out << line << '\n';
}

}  // namespace

int RunLedgoDesktop(int argc, char** argv, std::uint16_t port, const std::optional<AllowList>& allow,
                    const sigset_t& endSignals) {
  QApplication app(argc, argv);
  // Boxes come and go; only the shutdown ends the program.
  app.setQuitOnLastWindowClosed(false);
  platform::InstallQtMessageBoxPresenter();
  ACE::init();

  std::unique_ptr<platform::TrayShell> shell;
  LedgoWindow window([&shell] { shell->HideToTray(); });
  shell = std::make_unique<platform::TrayShell>(
      &window, platform::TrayShell::MakeIcon(QColor(0xc6, 0x28, 0x28), QLatin1Char('L')),
      platform::TrayShell::Texts{platform::QtText("Ledgo服务"), platform::QtText("关闭服务"),
                                 platform::QtText("关于 Ledgo(&A)..."), platform::QtText("关于 Ledgo"),
                                 platform::QtText("Ledgo 1.0 版")},
      [] { QCoreApplication::exit(0); });

  Notice sameIor("Same IOR", "");
  RegistryService::Hooks hooks;
  hooks.log = [&window](const std::string& line) {
    std::cout << line << std::endl;
    window.AppendLog(line);
  };
  hooks.sameReference = [&sameIor] { sameIor.Show(); };
  RegistryService service(platform::TempFolder() / "~BS.bak", hooks);
  if (allow) service.SetAllowList(*allow);
  RegistryServer server(service);

  if (!server.Open(port)) {
    platform::MessageBox("端口被占用---退出程序", "Error Reports");
    std::cerr << "ledgo: " << PortTakenAdvice(port) << std::endl;
    ACE::fini();
    return 1;
  }
  if (server.activate(THR_NEW_LWP | THR_JOINABLE, 1) == -1) {
    std::perror("ledgo: cannot start the service thread");
    ACE::fini();
    return 1;
  }
  shell->Start();
  // The start-up box does not hold the service up: it is not modal.
  auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Ledgo"),
                              platform::QtText("这是开发版本version 1.0"), QMessageBox::Ok);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowIcon(window.windowIcon());
  box->show();

  platform::RunTrayLoop(endSignals);
  server.RequestStop();
  platform::ServeEventsUntil([&server] { return server.thr_count() == 0; });
  server.wait();
  service.DeleteStore();
  ACE::fini();
  DumpLog(window);
  shell.reset();
  return 0;
}

}  // namespace registry
