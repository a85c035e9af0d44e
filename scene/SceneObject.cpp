#include "scene/SceneObject.h"

#include "scene/Format.h"

namespace scene {

std::string FillSlots(const char* line, const PlacementSlots& s) {
  return Format(line, s[0], s[1], s[2], s[3], s[4], s[5]);
}

std::string SceneObject::DeclarationText() {
  if (declared_) return "\n";
  declaration_ = BuildDeclaration();
  declared_ = true;
  return declaration_;
}

}  // namespace scene
