#include "scene/Mesh.h"

#include "scene/Format.h"

namespace scene {
namespace {

bool ValidIndex(std::int32_t index) { return index >= 1 && index <= 3; }

}  // namespace

bool Triangle::SetCorner(std::int32_t index, double a, double b, double c) {
  if (!ValidIndex(index)) return false;
  corner_[index - 1].Set(a, b, c);
  enabled_ = true;
  return true;
}

bool Triangle::SetUV(std::int32_t index, double u, double v) {
  if (!ValidIndex(index)) return false;
  uv_points_[index - 1].Set(u, v);
  uv_ = true;
  enabled_ = true;
  return true;
}

bool Triangle::SetNormal(std::int32_t index, double a, double b, double c) {
  if (type_ != 1 || !ValidIndex(index)) return false;
  normal_[index - 1].Set(a, b, c);
  enabled_ = true;
  return true;
}

void Triangle::SetTexture(std::string reference) {
  texture_ = std::move(reference);
  enabled_ = true;
}

std::string Triangle::Text() const {
  if (!enabled_) return kUnset;
  const auto& c = corner_;
  const auto& t = uv_points_;
  if (type_ == 0) {
    if (!uv_) {
      return Format("triangle \n { \n %s ,%s, %s  %s\n } \n", c[0].Text(), c[1].Text(), c[2].Text(), texture_);
    }
    return Format("triangle \n { \n %s ,%s, %s \n uv_vectors %s , %s , %s  %s\n} \n", c[0].Text(), c[1].Text(),
                  c[2].Text(), t[0].Text(), t[1].Text(), t[2].Text(), texture_);
  }
  // The renderer takes a triangle with normals as smooth_triangle, each
  // corner followed by its normal; texture coordinates only when given.
  const auto& n = normal_;
  if (!uv_) {
    return Format("smooth_triangle \n { \n %s ,%s, %s ,%s, %s ,%s \n  %s \n} \n", c[0].Text(), n[0].Text(), c[1].Text(),
                  n[1].Text(), c[2].Text(), n[2].Text(), texture_);
  }
  return Format("smooth_triangle \n { \n %s ,%s, %s ,%s, %s ,%s \n  uv_vectors %s , %s , %s  %s \n} \n", c[0].Text(),
                n[0].Text(), c[1].Text(), n[1].Text(), c[2].Text(), n[2].Text(), t[0].Text(), t[1].Text(), t[2].Text(),
                texture_);
}

bool Mesh::CreateTriangle(std::int32_t type) {
  if (type != 0 && type != 1) return false;
  current_type_ = type;
  current_[type].emplace(type);
  return true;
}

Triangle* Mesh::current() {
  auto& slot = current_[current_type_];
  return slot ? &*slot : nullptr;
}

bool Mesh::PushTriangle() {
  auto& slot = current_[current_type_];
  if (!slot) return false;
  slot->Enable();
  triangles_.push_back(std::move(*slot));
  slot.reset();
  return true;
}

std::string Mesh::ReferenceText(const PlacementSlots& slots) const {
  return Format(" \n object { \n %s %s \n}", id(), FillSlots(kSixSlotLine, slots));
}

std::string Mesh::BuildDeclaration() const {
  std::string list = " ";
  for (const auto& t : triangles_) list += t.Text() + "\n";
  return Format(" \n #declare %s =mesh { \n %s \n}", id(), list + texture);
}

}  // namespace scene
