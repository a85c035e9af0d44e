#pragma once
#include "scene/Property.h"
#include "scene/SceneObject.h"

namespace scene {

// Scene objects belong to one Maker: its caller's thread only.
class Camera : public SceneObject {
 public:
  explicit Camera(std::string id) : SceneObject("camera", std::move(id)) {}

  // Only "perspective" and "orthographic" (exact case) change the type.
  void SetType(const std::string& type);

  WordProperty type{" "};
  VectorProperty location{"location"};
  VectorProperty right{"right"};
  VectorProperty up{"up"};
  VectorProperty direction{"direction"};
  VectorProperty sky{"sky"};
  VectorProperty look_at{"look_at"};
  NumberProperty angle{"angle"};
  NumberProperty aperture{"aperture"};

  // A camera block cannot hold a texture or photons, so those two slots are
  // left blank; transforms and the matrix apply as to any object.
  std::string ReferenceText(const PlacementSlots& slots) const override;

 protected:
  std::string BuildDeclaration() const override;
};

}  // namespace scene
