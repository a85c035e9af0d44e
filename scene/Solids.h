#pragma once
#include <cstdint>
#include <vector>

#include "scene/Property.h"
#include "scene/SceneObject.h"

namespace scene {

// A solid shape: declared once, placed as "object { id ... }".
//
// Scene objects belong to one Maker: its caller's thread only.
class Solid : public SceneObject {
 public:
  explicit Solid(std::string id) : SceneObject("object", std::move(id)) {}
  std::string ReferenceText(const PlacementSlots& slots) const override;
};

// "open" for 0, a blank for anything else (a closed shape).
std::string OpenWord(std::int32_t open_or_not);

class Sphere : public Solid {
 public:
  using Solid::Solid;
  VectorProperty center;
  NumberProperty radius;

 protected:
  std::string BuildDeclaration() const override;
};

class Cylinder : public Solid {
 public:
  using Solid::Solid;
  VectorProperty base;
  VectorProperty cap;
  NumberProperty radius;
  std::string open = " ";

 protected:
  std::string BuildDeclaration() const override;
};

class Cone : public Solid {
 public:
  using Solid::Solid;
  VectorProperty base;
  VectorProperty cap;
  NumberProperty base_radius;
  NumberProperty cap_radius;
  std::string open = " ";

 protected:
  std::string BuildDeclaration() const override;
};

class Plane : public Solid {
 public:
  using Solid::Solid;
  VectorProperty normal{""};
  NumberProperty distance{""};

 protected:
  std::string BuildDeclaration() const override;
};

class Box : public Solid {
 public:
  using Solid::Solid;
  VectorProperty corner1;
  VectorProperty corner2;

 protected:
  std::string BuildDeclaration() const override;
};

class SphereSweep : public Solid {
 public:
  explicit SphereSweep(std::string id);

  // 2 gives "b_spline", 3 "cubic_spline", anything else "linear_spline".
  void SetSweepType(std::int32_t value);
  // Appends a sphere; the centre in print order.
  void AddSphere(double a, double b, double c, double radius);

  std::string sweepType = "linear_spline ";
  NumberProperty tolerance{"tolerance "};

 protected:
  std::string BuildDeclaration() const override;

 private:
  struct Point {
    VectorProperty center;
    double radius;
  };
  std::vector<Point> points_;
};

class Polygon : public Solid {
 public:
  using Solid::Solid;
  void AddPoint(double x, double y);
  std::string ReferenceText(const PlacementSlots& slots) const override;

 protected:
  std::string BuildDeclaration() const override;

 private:
  std::vector<PlanePointProperty> points_;
};

}  // namespace scene
