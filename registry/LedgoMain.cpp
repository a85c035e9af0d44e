// ledgo: the farm's name registry service: a tray program on a desktop,
// a daemon without one. It ends on SIGINT or SIGTERM, an orderly end that
// deletes the store file. Either way it exits with 1, after the box
// "端口被占用---退出程序" and a line naming the port, when its port is taken,
// and with 2, before anything starts, for an argument, a bad LEDGO_PORT or
// a bad LEDGO_ALLOW.
#include <ace/Init_ACE.h>
#include <signal.h>

#include <cstdio>
#include <iostream>

#include "platform/Desktop.h"
#include "platform/EndSignals.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/ProgramInfo.h"
#include "platform/Translation.h"
#include "registry/AllowList.h"
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
                      "It runs no ORB and takes no other arguments.\n"
                      "Exit status: 0 after an orderly end, 1 when its port is taken, 2 for an\n"
                      "argument, a LEDGO_PORT that is not a port number or a malformed LEDGO_ALLOW.\n"
                      "LEDGO_ALLOW=10.0.0.0/24,127.0.0.1/32 takes registrations and removals only\n"
                      "from those IPv4 networks (look-ups stay open); others are logged and get no\n"
                      "answer.\n\n") +
              platform::kCommonEnvironmentHelp)) {
    return 0;
  }
  if (argc > 1) return platform::RefuseToStart("ledgo", std::string("unknown argument \"") + argv[1] + "\"");
  const platform::StatusOr<std::uint16_t> port = registry::RegistryPortFromEnvironment();
  if (!port) return platform::RefuseToStart("ledgo", port.status().reason());
  const platform::StatusOr<std::optional<registry::AllowList>> allow = registry::AllowListFromEnvironment();
  if (!allow) return platform::RefuseToStart("ledgo", allow.status().reason());
  // Only this thread takes the end signals; every thread started later
  // inherits the mask.
  const sigset_t endSignals = platform::BlockEndSignals();
  platform::EnsureRuntimeFolder();
  platform::InstallTranslation();
  if (platform::DesktopAvailable()) return registry::RunLedgoDesktop(argc, argv, *port, *allow, endSignals);

  ACE::init();
  registry::Notice sameIor("Same IOR", "");
  registry::RegistryService::Hooks hooks;
  hooks.log = [](const std::string& line) { std::cout << line << std::endl; };
  hooks.sameReference = [&sameIor] { sameIor.Show(); };
  registry::RegistryService service(platform::TempFolder() / "~BS.bak", hooks);
  if (*allow) service.SetAllowList(**allow);
  registry::RegistryServer server(service);

  if (!server.Open(*port)) {
    platform::MessageBox("端口被占用---退出程序", "Error Reports");
    std::cerr << "ledgo: " << registry::PortTakenAdvice(*port) << std::endl;
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
