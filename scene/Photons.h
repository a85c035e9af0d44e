#pragma once
#include "scene/Property.h"
#include "scene/SceneObject.h"

namespace scene {

// A photons block that placements pick up as their current photons.
//
// Scene objects belong to one Maker: its caller's thread only.
class Photons : public SceneObject {
 public:
  explicit Photons(std::string id) : SceneObject("photons", std::move(id)) {}
  bool placeable() const override { return false; }

  WordProperty reflection{"reflection "};
  WordProperty refraction{"refraction "};
  WordProperty collect{"collect "};

  std::string ReferenceText(const PlacementSlots& slots) const override;
  std::string ReferenceText() const { return ReferenceText(PlacementSlots{}); }

 protected:
  // Never declared on its own: the block is written into placements.
  std::string BuildDeclaration() const override { return ""; }
};

}  // namespace scene
