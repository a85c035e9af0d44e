#include "scene/Solids.h"

#include "scene/Format.h"

namespace scene {

std::string Solid::ReferenceText(const PlacementSlots& slots) const {
  return Format(" \n object { \n %s \n%s \n}", id(), FillSlots(kSixSlotLine, slots));
}

std::string OpenWord(std::int32_t open_or_not) { return open_or_not == 0 ? "open" : " "; }

std::string Sphere::BuildDeclaration() const {
  return Format(" \n #declare %s =sphere { \n %s \n%s \n}\n", id(), center.Text(), radius.Text());
}

std::string Cylinder::BuildDeclaration() const {
  return Format(" \n #declare %s =cylinder { \n %s \n %s\n %s \n%s \n}\n", id(), base.Text(), cap.Text(), radius.Text(),
                open);
}

std::string Cone::BuildDeclaration() const {
  return Format(" \n #declare %s =cone { \n %s \n %s \n %s \n %s \n%s \n}\n", id(), base.Text(), base_radius.Text(),
                cap.Text(), cap_radius.Text(), open);
}

std::string Plane::BuildDeclaration() const {
  return Format(" \n #declare %s =plane { \n %s \n %s \n }\n", id(), normal.Text(), distance.Text());
}

std::string Box::BuildDeclaration() const {
  return Format(" \n #declare %s =box { \n %s \n %s \n }\n", id(), corner1.Text(), corner2.Text());
}

SphereSweep::SphereSweep(std::string id) : Solid(std::move(id)) { tolerance.Set(1e-6); }

void SphereSweep::SetSweepType(std::int32_t value) {
  switch (value) {
    case 2: sweepType = "b_spline"; break;
    case 3: sweepType = "cubic_spline"; break;
    default: sweepType = "linear_spline"; break;
  }
}

void SphereSweep::AddSphere(double a, double b, double c, double radius) {
  Point p{VectorProperty(" "), radius};
  p.center.Set(a, b, c);
  points_.push_back(std::move(p));
}

std::string SphereSweep::BuildDeclaration() const {
  std::string list = " ";
  for (std::size_t i = 0; i < points_.size(); ++i) {
    const char* separator = i + 1 < points_.size() ? "," : " ";
    list += Format("%s %s %s\n", points_[i].center.Text(), points_[i].radius, separator);
  }
  // The renderer needs the number of spheres right after the spline type.
  return Format(" \n #declare %s =sphere_sweep { \n %s %d, \n %s \n %s \n}\n", id(), sweepType,
                static_cast<int>(points_.size()), list, tolerance.Text());
}

void Polygon::AddPoint(double x, double y) {
  points_.emplace_back(" ");
  points_.back().Set(x, y);
}

std::string Polygon::ReferenceText(const PlacementSlots& slots) const {
  return Format(" \n object { \n %s %s \n}", id(), FillSlots(kSixSlotLine, slots));
}

std::string Polygon::BuildDeclaration() const {
  std::string list = " ";
  for (const auto& p : points_) list += p.Text() + "\n";
  return Format(" \n #declare %s =polygon  { \n %d \n %s \n}", id(), static_cast<int>(points_.size()), list);
}

}  // namespace scene
