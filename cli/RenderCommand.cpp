#include "cli/RenderCommand.h"

#include <cstdlib>

#include "demo/HeadlessRun.h"
#include "jobs/view/ImageFormat.h"

namespace cli {

bool ParseRenderCommand(const std::vector<std::string>& args, RenderCommand* command, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("-ORB", 0) == 0) {
      ++i;
      continue;
    }
    if (arg == "--out" || arg == "--timeout") {
      if (i + 1 >= args.size()) {
        *error = arg + " needs a value";
        return false;
      }
      const std::string& value = args[++i];
      if (arg == "--out") {
        command->out = value;
        continue;
      }
      char* end = nullptr;
      const long seconds = std::strtol(value.c_str(), &end, 10);
      if (*end != '\0' || seconds < 0 || seconds > demo::kMaxTimeoutSeconds) {
        *error = "--timeout must be 0 (none) to " + std::to_string(demo::kMaxTimeoutSeconds) + " seconds";
        return false;
      }
      command->timeoutSeconds = static_cast<int>(seconds);
    } else if (arg == "--quiet") {
      command->quiet = true;
    } else if (arg.rfind("--", 0) == 0) {
      *error = "unknown argument " + arg;
      return false;
    } else {
      command->sceneArgs.push_back(arg);
    }
  }
  if (command->sceneArgs.empty()) {
    *error = "render needs a scene: SCENE.pov or FILE.ini";
    return false;
  }
  if (!command->out.empty() && !jobs::FormatForPath(command->out)) {
    *error = "--out must end in .jpg, .png, .bmp or .tga";
    return false;
  }
  return true;
}

}  // namespace cli
