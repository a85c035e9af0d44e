// lumora: the farm's command line for people with POV-Ray scenes of their
// own.
//
//   lumora render SCENE.pov [FILE.ini ...] [switches or INI options ...] [--out FILE]
//                 [--timeout S] [--quiet]
//
// ORB options (-ORB...) are left for the render job's ORB.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/AnimationRun.h"
#include "cli/RenderCommand.h"
#include "cli/StatusCommand.h"
#include "demo/HeadlessJob.h"
#include "jobs/host/RenderNet2.h"
#include "jobs/view/ImageFormat.h"
#include "platform/Desktop.h"
#include "platform/ProgramInfo.h"
#include "platform/Translation.h"
#include "registry/RegistryPort.h"

namespace {

constexpr char kUsage[] =
    "usage: lumora render SCENE.pov [FILE.ini[section] ...] [+/-SWITCH ...] [OPTION=VALUE ...]\n"
    "                     [--out FILE] [--timeout S] [--quiet] [ORB options]\n"
    "       lumora status [--json] [ORB options]\n";

std::string Help() {
  return std::string(kUsage) +
         "Renders your own POV-Ray scene on the farm, as `povray` would render it here.\n"
         "The scene's folder (its whole tree, at most 512 MB, LUMORA_SCENE_MAX_MB) and every\n"
         "+L library folder are sent to the nodes; POV-Ray's own include files and fonts\n"
         "come from each node. Options not given take povray's defaults from\n"
         "/etc/povray/3.7/povray.ini (800 x 600). FILE.ini may name the scene itself\n"
         "(Input_File_Name), so `lumora render scene.ini` works.\n"
         "Accepted: +W +H, +A[threshold] +AM +R +J[amount] +AG (and Antialias_*),\n"
         "+Q, Display_Gamma, File_Gamma, Declare=NAME=VALUE, +K clock, +L library folders,\n"
         "+MB bounding, +UR +UO +UL +UV, +MV, +HI, +HR, +O / Output_File_Name; screen and\n"
         "console options (+D +V +P +WT ...) are accepted and have no effect.\n"
         "Refused, naming the option: shell-out commands that are not empty\n"
         "(Pre_Scene_Command, ...), stream, histogram and INI files, rows or columns other\n"
         "than the whole picture, alpha (+UA), more than 8 bits or HDR output,\n"
         "a size of 0, and any option not known here.\n"
         "An animation (+KFI +KFF, Initial_Frame/Final_Frame, with +KI +KF +KC and +SF +EF)\n"
         "renders frame by frame on the nodes that announce frames; each frame is saved as\n"
         "povray names it (OUT07.png when the final frame is 10) once it is whole. +C\n"
         "renders only frames without a file. A frame that fails three times (once when\n"
         "the scene itself fails) is left out, the others go on, and the exit status is 3,\n"
         "naming each failed frame and why.\n"
         "The picture goes to --out FILE (.jpg, .png, .bmp or .tga), else where povray\n"
         "would write it (+O, else SCENE.png). Only nodes that render own scenes take\n"
         "part. Exit 0 when saved, 2 for a bad command line or a refused scene or option,\n"
         "3 when the farm could not render (a scene that does not parse: after one\n"
         "attempt, with povray's message), 4 when the picture could not be saved, 5\n"
         "after S seconds without an end. While it renders it shows its progress and at\n"
         "the end what each node did; --quiet shows neither.\n\n"
         "`lumora status` prints what every node of the farm does (one line per node:\n"
         "idle, busy with which band and how far, or unreachable), the jobs in flight\n"
         "with their progress and time left, the jobs waiting and the last jobs;\n"
         "--json prints the work group server's JSON (as its /status.json). Exit 0, 2 for\n"
         "a bad command line, 3 when the workgroup server cannot be reached (saying why).\n\n" +
         platform::kCommonEnvironmentHelp + "\n" + platform::kOrbOptionsHelp;
}

int Usage(const std::string& error) {
  std::fprintf(stderr, "lumora: %s\n%s", error.c_str(), kUsage);
  return demo::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (platform::AnswerHelpOrVersion(argc, argv, "lumora", Help())) return 0;
  if (argc >= 2 && std::string(argv[1]) == "status") {
    cli::StatusCommand status;
    std::string error;
    if (!cli::ParseStatusCommand(std::vector<std::string>(argv + 2, argv + argc), &status, &error)) {
      return Usage(error);
    }
    if (auto port = registry::RegistryPortFromEnvironment(); !port) {
      return platform::RefuseToStart("lumora", port.status().reason());
    }
    return cli::RunStatus(status, argc, argv);
  }
  if (argc < 2 || std::string(argv[1]) != "render") return Usage("the commands are render and status");
  cli::RenderCommand command;
  std::string error;
  if (!cli::ParseRenderCommand(std::vector<std::string>(argv + 2, argv + argc), &command, &error)) {
    return Usage(error);
  }
  if (auto port = registry::RegistryPortFromEnvironment(); !port) {
    return platform::RefuseToStart("lumora", port.status().reason());
  }
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool noDisplay = (display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0');
  if (noDisplay && std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  platform::EnsureRuntimeFolder();
  platform::InstallTranslation();
  QApplication app(argc, argv);

  RenderNet2 render;
  // Everything is checked before any node is engaged.
  if (render.SetScene(command.sceneArgs) != S_OK) {
    const char* reason = "";
    render.GetJobReason(&reason);
    std::fprintf(stderr, "lumora: %s\n", reason);
    return demo::kExitUsage;
  }
  std::string out = command.out;
  int32_t width = 0;
  int32_t height = 0;
  std::string povrayOut;
  render.GetSceneOutput(&povrayOut, &width, &height);
  if (out.empty()) {
    out = povrayOut;
    if (!jobs::FormatForPath(out)) return Usage("+O " + out + ": the picture must end in .jpg, .png, .bmp or .tga");
  }
  if (platform::Status folder = demo::CheckOutputFolder(out); !folder) {
    return platform::RefuseToStart("lumora", folder.reason());
  }
  // An animation (or +C) goes to the frame path; the still path never sees one.
  platform::StatusOr<farm::RenderOptions> options = farm::ReadRenderArguments(command.sceneArgs);
  if (!options) return platform::RefuseToStart("lumora", options.status().reason());
  platform::StatusOr<farm::FrameRange> frames = farm::AnimationFrames(*options);
  if (!frames) return Usage(frames.status().reason());
  if (frames->animation() || options->continueTrace) {
    return cli::RunAnimation(*options, *frames, out, command, std::vector<std::string>(argv, argv + argc));
  }
  const int exit = demo::RunHeadlessJob(render, {"lumora", out, command.timeoutSeconds, command.quiet});
  if (exit == demo::kExitOk) std::printf("lumora: rendered at %d x %d, saved to %s\n", width, height, out.c_str());
  return exit;
}
