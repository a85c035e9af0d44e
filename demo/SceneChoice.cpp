#include "demo/SceneChoice.h"

#include "demo/Components.h"
#include "demo/DemoScenes.h"
#include "platform/Folders.h"
#include "scene/Maker.h"

namespace demo {

bool BuildScene(int scene, std::string* error) {
  // Lives for the handler only, as in the window.
  platform::com::ComPtr<jobs::IMaker> made = NewMaker(error);
  if (!made) return false;
  Maker& maker = *made->object();
  DemoResult result;
  if (scene == 1) {
    result = BuildDemoScene1(maker, platform::ExecutableFolder() / "bumpmap_.png");
  } else if (scene == 2) {
    result = BuildDemoScene2(maker);
  } else {
    *error = "no demonstration scene " + std::to_string(scene);
    return false;
  }
  if (!result.ok()) {
    *error = "building scene " + std::to_string(scene) + " failed at " + result.failedCall;
    return false;
  }
  return true;
}

void DefaultSize(int scene, int* width, int* height) {
  *width = scene == 1 ? 1024 : 640;
  *height = scene == 1 ? 768 : 480;
}

}  // namespace demo
