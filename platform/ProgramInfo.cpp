#include "platform/ProgramInfo.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace platform {

const char kCommonEnvironmentHelp[] =
    "Environment:\n"
    "  LEDGO_HOST        host of the name registry (default 127.0.0.1)\n"
    "  LEDGO_PORT        UDP port of the name registry (default 20002)\n"
    "  TMPDIR            temporary folder (default /tmp)\n"
    "  DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM\n"
    "                    with a display (and a platform other than \"offscreen\") the\n"
    "                    program shows its windows; without one it runs headless\n";

const char kOrbOptionsHelp[] =
    "Every other argument goes to the ORB (omniORB) unchanged, for example\n"
    "  -ORBendPoint giop:tcp:HOST:PORT   where to listen (an empty PORT picks a free one)\n"
    "  -ORBInitRef WorkGroup=IOR:...     find the workgroup server without the name registry\n"
    "  -ORBtraceLevel N                  ORB diagnostics on stderr\n"
    "See the omniORB user's guide for the full list of -ORB options.\n"
    "With LUMORA_TLS_CA=ca.pem and LUMORA_TLS_KEY=NAME.pem (scripts/farm-ca) in the\n"
    "environment the ORB speaks only TLS (a giop:tcp endpoint is served as giop:ssl)\n"
    "and checks every peer's certificate and its role.\n";

bool AnswerHelpOrVersion(int argc, char** argv, const std::string& name, const std::string& usage) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(usage.c_str(), stdout);
      std::fflush(stdout);
      return true;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %s\n", name.c_str(), kFarmVersion);
      std::fflush(stdout);
      return true;
    }
  }
  return false;
}

}  // namespace platform

namespace platform {

Status CheckOrbArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("-ORB", 0) != 0 || arg.size() == 4) {
      return Status::Error("unknown argument \"" + arg + "\"; this program takes only ORB options (-ORBname value)");
    }
    if (i + 1 >= argc) return Status::Error("the ORB option " + arg + " needs a value");
    ++i;
  }
  return Status::Ok();
}

int RefuseToStart(const std::string& name, const std::string& reason) {
  std::fprintf(stderr, "%s: %s\n%s: see %s --help\n", name.c_str(), reason.c_str(), name.c_str(), name.c_str());
  std::fflush(stderr);
  return kExitBadUsage;
}

}  // namespace platform
