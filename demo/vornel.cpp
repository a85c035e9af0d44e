// The demo client: a window with two example scenes rendered on the farm,
// or, with --scene, one render without anybody at the screen:
//
//   vornel [--scene 1|2 --out FILE [--width W --height H] [--timeout S] [--quiet]]
//
// ORB options (-ORB...) are left for the render job's ORB.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "demo/Form1.h"
#include "demo/HeadlessRun.h"
#include "platform/Desktop.h"
#include "platform/ProgramInfo.h"
#include "platform/Translation.h"
#include "registry/RegistryPort.h"

int main(int argc, char** argv) {
  if (platform::AnswerHelpOrVersion(
          argc, argv, "vornel",
          std::string("usage: vornel [--scene 1|2 --out FILE [--width W] [--height H] [--timeout S] [--quiet]]\n"
                      "       [ORB options]\n"
                      "The demo client. Without --scene: a window whose buttons build a demonstration\n"
                      "scene and render it on the farm. With --scene: renders that scene without a\n"
                      "window and saves the picture to FILE (.jpg, .png, .bmp or .tga); exit 0 when\n"
                      "saved, 2 for a bad command line (W and H are 1 to 65535, at most 268435456\n"
                      "pixels in all; FILE's folder must exist) or a LEDGO_PORT that is not a port, 3\n"
                      "when the farm could not render, 4 when the picture could not be saved, 5 after\n"
                      "S seconds without an end, 130 or 143 after Ctrl-C or SIGTERM (a cancelled job\n"
                      "tells its nodes to stop). While every node is busy with other jobs it waits for\n"
                      "one (\"waiting for a free node, N busy\"). While it renders\n"
                      "it shows its progress (a live line on a terminal, a line every 10 % otherwise)\n"
                      "and at the end what each node did; --quiet shows neither.\n"
                      "It creates Lumora.Maker and Lumora.RenderNet2 from the class registry\n"
                      "($XDG_CONFIG_HOME/renderfarm/classes.reg); register liblumora.so with farmreg.\n\n") +
              platform::kCommonEnvironmentHelp +
              "  XDG_CONFIG_HOME   where the class registry lies (default ~/.config)\n\n" +
              platform::kOrbOptionsHelp)) {
    return 0;
  }
  demo::HeadlessOptions options;
  bool headless = false;
  std::string error;
  if (!demo::ParseHeadless(argc, argv, &options, &headless, &error)) {
    std::fprintf(stderr, "vornel: %s\n", error.c_str());
    std::fprintf(stderr, "usage: vornel [--scene 1|2 --out FILE [--width W] [--height H] [--timeout S] [--quiet]]\n");
    return demo::kExitUsage;
  }
  if (headless) {
    if (platform::Status folder = demo::CheckOutputFolder(options.out); !folder) {
      return platform::RefuseToStart("vornel", folder.reason());
    }
  }
  if (auto port = registry::RegistryPortFromEnvironment(); !port) {
    return platform::RefuseToStart("vornel", port.status().reason());
  }
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool noDisplay = (display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0');
  if (noDisplay && std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  platform::EnsureRuntimeFolder();
  platform::InstallTranslation();
  QApplication app(argc, argv);
  if (headless) return demo::RunHeadless(options);

  Form1 form;
  form.show();
  return app.exec();
}
