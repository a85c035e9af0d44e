// ledgo: the farm's name registry service: a tray program on a desktop,
// a daemon without one. It ends on SIGINT or SIGTERM, an orderly end that
// deletes the store file. Either way it exits with 1, after the box
// "端口被占用---退出程序", when its port is taken.
#include <ace/Init_ACE.h>
#include <signal.h>

#include <cstdio>
#include <iostream>

#include "platform/Desktop.h"
#include "platform/EndSignals.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/ProgramInfo.h"
#include "registry/LedgoDesktop.h"
#include "registry/Notice.h"
#include "registry/RegistryPort.h"
#include "registry/RegistryServer.h"
#include "registry/RegistryService.h"

int main(int argc, char** argv) {
  if (platform::AnswerHelpOrVersion(
          argc, argv, "ledgo",
          std::string("usage: ledgo\n"
                      "The name registry: answers the farm programs' look-ups over UDP on\n"
                      "LEDGO_PORT. It keeps its table in TMPDIR/~BS.bak while it runs; an orderly\n"
                      "end (SIGINT, SIGTERM, or its tray menu's \"关闭服务\") deletes that file.\n"
                      "It runs no ORB and takes no other arguments.\n\n") +
              platform::kCommonEnvironmentHelp)) {
    return 0;
  }
  // Only this thread takes the end signals; every thread started later
  // inherits the mask.
  const sigset_t endSignals = platform::BlockEndSignals();
  if (platform::DesktopAvailable()) return registry::RunLedgoDesktop(argc, argv, endSignals);

  ACE::init();
  registry::Notice sameIor("Same IOR", "");
  registry::RegistryService::Hooks hooks;
  hooks.log = [](const std::string& line) { std::cout << line << std::endl; };
  hooks.sameReference = [&sameIor] { sameIor.Show(); };
  registry::RegistryService service(platform::TempFolder() / "~BS.bak", hooks);
  registry::RegistryServer server(service);

  if (!server.Open(registry::RegistryPortFromEnvironment())) {
    platform::MessageBox("端口被占用---退出程序", "Error Reports");
    ACE::fini();
    return 1;
  }
  if (server.activate(THR_NEW_LWP | THR_JOINABLE, 1) == -1) {
    std::perror("ledgo: cannot start the service thread");
    ACE::fini();
    return 1;
  }

  // A STOP request ends the service loop but not the program, as with the
  // tray program: it stays until told to end.
  platform::WaitForEndSignal(endSignals);
  server.RequestStop();
  server.wait();
  service.DeleteStore();
  ACE::fini();
  return 0;
}
