// pvengine: the render engine a node starts for one band. It takes the
// node's command line, renders the band with one povray run and hands every
// row to the row transfer library (libferrix.so beside this program) as
// povray finishes it. Its exit status is povray's.
#include <unistd.h>

#include <cstdio>

#include "engine/EngineRun.h"
#include "platform/Folders.h"

namespace {

std::string Renderer() {
#ifdef PVENGINE_POVRAY
  if (access(PVENGINE_POVRAY, X_OK) == 0) return PVENGINE_POVRAY;
#endif
  return "povray";
}

}  // namespace

int main(int argc, char** argv) {
  const int status = engine::RunEngine(std::vector<std::string>(argv + 1, argv + argc),
                                       {platform::ExecutableFolder(), Renderer()});
  // The library's ORB is left to the end of the process.
  std::fflush(nullptr);
  _exit(status);
}
