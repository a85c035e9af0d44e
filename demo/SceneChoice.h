#pragma once
#include <string>

namespace demo {

// Builds demonstration scene 1 or 2 into the work folder of liblumora
// through a Maker of its own; bumpmap_.png comes from the program's folder.
// False, with a one-line reason, when the scene number is unknown or a
// Maker call fails.
bool BuildScene(int scene, std::string* error);

// The picture size the demo renders a scene at (1024 x 768, 640 x 480).
void DefaultSize(int scene, int* width, int* height);

}  // namespace demo
