#pragma once
#include <array>
#include <string>

namespace scene {

// The six texts a placement hands to an object's reference, in this order:
// transform slots 1 to 3, current texture, matrix text, current photons.
using PlacementSlots = std::array<std::string, 6>;

// The line inside every placement wrapper; point lights use their own.
inline constexpr const char* kSixSlotLine = " %s \n %s \n %s \n %s \n %s \n %s \n";

// Fills a six-slot line with the placement texts.
std::string FillSlots(const char* line, const PlacementSlots& slots);

// Base of everything the registry holds. The declaration is produced once
// per scene: the first request builds and caches it, every later request
// yields "\n", so an object placed several times is declared only once.
//
// Scene objects belong to one Maker: its caller's thread only.
class SceneObject {
 public:
  SceneObject(std::string kind, std::string id) : kind_(std::move(kind)), id_(std::move(id)) {}
  virtual ~SceneObject() = default;
  SceneObject(const SceneObject&) = delete;
  SceneObject& operator=(const SceneObject&) = delete;

  // "camera", "light_source", "object", "Mesh", "Texture", "photons",
  // "global_settings".
  const std::string& kind() const { return kind_; }
  const std::string& id() const { return id_; }
  bool declared() const { return declared_; }

  // Whether AddtoScene writes this object. Textures, photons and the global
  // settings have no placement of their own.
  virtual bool placeable() const { return true; }

  std::string DeclarationText();

  // The reference text, rebuilt on each request; objects that are placed
  // fill their wrapper with the six placement slots.
  virtual std::string ReferenceText(const PlacementSlots& slots) const = 0;

 protected:
  virtual std::string BuildDeclaration() const = 0;

 private:
  std::string kind_;
  std::string id_;
  bool declared_ = false;
  std::string declaration_;
};

}  // namespace scene
