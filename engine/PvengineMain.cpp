// pvengine: the render engine a node starts for one band. It takes the
// node's command line, renders the band with one povray run and hands every
// row to the row transfer library (libferrix.so beside this program) as
// povray finishes it. Its exit status is povray's.
//
// The renderer is povray-rows beside this program (our build of povray,
// which hands on exact rows itself) when it is there, else Debian's povray
// with the preview tap; PVENGINE_PREVIEW_TAP=1 asks for the latter anyway.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/EngineRun.h"
#include "platform/Folders.h"
#include "platform/ProgramInfo.h"

namespace {

engine::EngineSetup Setup() {
  engine::EngineSetup setup{platform::ExecutableFolder(), "povray", false};
  const char* tap = std::getenv("PVENGINE_PREVIEW_TAP");
  const std::filesystem::path rows = setup.folder / "povray-rows";
  if ((tap == nullptr || std::strcmp(tap, "1") != 0) && access(rows.c_str(), X_OK) == 0) {
    setup.renderer = rows.string();
    setup.exactRows = true;
    return setup;
  }
#ifdef PVENGINE_POVRAY
  if (access(PVENGINE_POVRAY, X_OK) == 0) setup.renderer = PVENGINE_POVRAY;
#endif
  return setup;
}

}  // namespace

int main(int argc, char** argv) {
  if (platform::AnswerHelpOrVersion(argc, argv, "pvengine",
                                    "usage: pvengine /Exit /Render SCENE.pov +scX +srY +ecX +erY +OFILE ...\n"
                                    "The render engine of a node: tessel starts it in its node folder for one band\n"
                                    "of a job, with POV-Ray's options; it renders the band with povray-rows beside\n"
                                    "it (else Debian's povray; PVENGINE_PREVIEW_TAP=1 asks for that anyway) and hands\n"
                                    "each finished row to libferrix.so beside it. It is not meant to be run by hand.\n"
                                    "Exit status: povray's.\n")) {
    return 0;
  }
  const int status = engine::RunEngine(std::vector<std::string>(argv + 1, argv + argc), Setup());
  // The library's ORB is left to the end of the process.
  std::fflush(nullptr);
  _exit(status);
}
