#include "scene/Camera.h"

#include "scene/Format.h"

namespace scene {

void Camera::SetType(const std::string& t) {
  if (t == "perspective" || t == "orthographic") type.Set(t);
}

std::string Camera::BuildDeclaration() const {
  return Format(" \n #declare %s =camera { \n %s %s %s %s %s %s %s %s %s \n}", id(), type.Text(), location.Text(),
                right.Text(), up.Text(), direction.Text(), sky.Text(), look_at.Text(), angle.Text(), aperture.Text());
}

std::string Camera::ReferenceText(const PlacementSlots& slots) const {
  PlacementSlots s = slots;
  s[3] = kUnset;
  s[5] = kUnset;
  return Format(" \n camera { \n %s %s \n}", id(), FillSlots(kSixSlotLine, s));
}

}  // namespace scene
