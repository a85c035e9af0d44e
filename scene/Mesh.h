#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scene/Property.h"
#include "scene/SceneObject.h"

namespace scene {

// One triangle of a mesh. Type 0 is flat (corners, optional texture
// coordinates); type 1 also carries a normal per corner.
//
// Scene objects belong to one Maker: its caller's thread only.
class Triangle {
 public:
  explicit Triangle(int type) : type_(type) {}
  int type() const { return type_; }

  // Index 1 to 3; any other index changes nothing and answers false.
  // Every accepted call raises the enabled flag.
  bool SetCorner(std::int32_t index, double a, double b, double c);
  bool SetUV(std::int32_t index, double u, double v);
  // Type 1 only.
  bool SetNormal(std::int32_t index, double a, double b, double c);
  void SetTexture(std::string reference);
  void Enable() { enabled_ = true; }

  // A blank until the triangle was touched.
  std::string Text() const;

 private:
  int type_;
  bool enabled_ = false;
  bool uv_ = false;
  VectorProperty corner_[3];
  VectorProperty normal_[3];
  PlanePointProperty uv_points_[3];
  std::string texture_;
};

class Mesh : public SceneObject {
 public:
  explicit Mesh(std::string id) : SceneObject("Mesh", std::move(id)) {}

  // Makes a new triangle of type 0 or 1 the current one; other types are
  // refused.
  bool CreateTriangle(std::int32_t type);
  // The triangle being built, or null when the current type has none.
  Triangle* current();
  // Appends the current triangle; false when there is none.
  bool PushTriangle();

  std::string texture;  // reference text of the whole mesh's texture

  std::string ReferenceText(const PlacementSlots& slots) const override;

 protected:
  std::string BuildDeclaration() const override;

 private:
  int current_type_ = 0;
  std::optional<Triangle> current_[2];
  std::vector<Triangle> triangles_;
};

}  // namespace scene
