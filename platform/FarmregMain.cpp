// farmreg: registers the classes of component libraries in the user's class
// registry, or removes them (-u), by calling the libraries' own
// DllRegisterServer / DllUnregisterServer.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ClassRegistry.h"
#include "platform/CreateObject.h"

namespace {

const char kUsage[] =
    "usage: farmreg [-u] LIBRARY...\n"
    "Registers the classes of each component library (liblumora.so, libzephrin.so) in the\n"
    "class registry, so that hosts create them by ProgID or CLSID; -u removes them again.\n"
    "Register a library again after moving it.\n"
    "\n"
    "The class registry is $XDG_CONFIG_HOME/renderfarm/classes.reg (else ~/.config/...).\n"
    "  --help     this text\n"
    "  --version  the version\n";

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false;
  std::vector<std::string> libraries;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("farmreg 1.0");
      return 0;
    }
    if (arg == "-u" || arg == "--unregister") {
      unregister = true;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "farmreg: unknown option %s\n%s", arg.c_str(), kUsage);
      return 2;
    } else {
      libraries.push_back(arg);
    }
  }
  if (libraries.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string registry = platform::com::ClassRegistry::DefaultPath().string();
  int status = 0;
  for (const std::string& library : libraries) {
    std::string error;
    const HRESULT hr = platform::com::RegisterLibrary(library, unregister, &error);
    if (platform::com::Failed(hr)) {
      std::fprintf(stderr, "farmreg: %s\n", error.c_str());
      status = 1;
    } else {
      std::printf("farmreg: %s %s in %s\n", unregister ? "unregistered" : "registered", library.c_str(),
                  registry.c_str());
    }
  }
  return status;
}
