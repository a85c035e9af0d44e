#pragma once
#include <memory>
#include <string>
#include <vector>

#include "scene/Property.h"
#include "scene/SceneObject.h"

namespace scene {

enum class PartKind { kPigment, kNormal, kFinish, kInterior };

// One part of a texture, opened by a …Begin call and appended by an …End call.
//
// Scene objects belong to one Maker: its caller's thread only.
class TexturePart {
 public:
  virtual ~TexturePart() = default;
  virtual PartKind kind() const = 0;
  virtual std::string Text() const = 0;
};

class PigmentPart : public TexturePart {
 public:
  PartKind kind() const override { return PartKind::kPigment; }
  // An image pigment replaces the plain colour in the text.
  void SetImage(std::string type, std::string file, double transmit, bool uvMapping);
  std::string Text() const override;

  ColorFilterProperty color{"rgb "};

 private:
  std::string image_type_;
  std::string image_file_ = " ";
  NumberProperty transmit_{" transmit all "};
  bool uv_ = false;
};

class NormalPart : public TexturePart {
 public:
  PartKind kind() const override { return PartKind::kNormal; }
  void SetImage(std::string type, std::string file);
  std::string Text() const override;

  NumberProperty bump_size{"bump_size "};

 private:
  std::string image_type_;
  std::string image_file_ = " ";
};

// The reflection block inside a finish; any of its setters switches it on.
struct ReflectionBlock {
  bool enabled = false;
  NumberProperty min{" "};
  NumberProperty max{" "};
  WordProperty fresnel{"fresnel "};
  NumberProperty falloff{"falloff "};
  NumberProperty exponent{"exponent "};
  NumberProperty metallic{"metallic "};
  std::string Text() const;
};

class FinishPart : public TexturePart {
 public:
  PartKind kind() const override { return PartKind::kFinish; }
  std::string Text() const override;

  VectorProperty ambient{"ambient rgb "};
  NumberProperty diffuse{"diffuse "};
  NumberProperty brilliance{"brilliance "};
  NumberProperty phong{"phong "};
  NumberProperty phong_size{"phong_size "};
  NumberProperty specular{"specular "};
  NumberProperty roughness{"roughness "};
  NumberProperty metallic{"metallic "};
  VectorProperty reflection_color{"reflection rgb "};
  ReflectionBlock reflection;
  NumberProperty crand{"crand "};
};

class InteriorPart : public TexturePart {
 public:
  PartKind kind() const override { return PartKind::kInterior; }
  std::string Text() const override;

  NumberProperty ior{"ior "};
  NumberProperty caustics{"caustics "};
  NumberProperty dispersion{"dispersion "};
  NumberProperty fade_distance{"fade_distance "};
  NumberProperty fade_power{"fade_power "};
  NumberProperty fade_color{"fade_color "};
};

// A texture, or a material once it holds an interior. Never placed itself:
// objects, meshes and triangles refer to it.
class Texture : public SceneObject {
 public:
  explicit Texture(std::string id) : SceneObject("Texture", std::move(id)) {}
  bool placeable() const override { return false; }

  // Opens a new part and makes it current; an unfinished current part is
  // dropped.
  void Begin(PartKind kind);
  // Appends the current part, whatever its kind; it stays current, so a
  // second call appends it again. False when no part is current.
  bool End();
  // The current part, or null.
  TexturePart* current() const { return current_.get(); }

  // " \n material { ... }" or " \n texture { ... }"; takes no slots.
  std::string ReferenceText(const PlacementSlots& slots) const override;
  std::string ReferenceText() const { return ReferenceText(PlacementSlots{}); }

 protected:
  std::string BuildDeclaration() const override;

 private:
  const TexturePart* LastInterior() const;

  std::vector<std::shared_ptr<TexturePart>> parts_;
  std::shared_ptr<TexturePart> current_;
};

}  // namespace scene
