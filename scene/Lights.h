#pragma once
#include <cstdint>
#include <string>

#include "scene/Property.h"
#include "scene/SceneObject.h"

namespace scene {

// Scene objects belong to one Maker: its caller's thread only.
class Light : public SceneObject {
 public:
  explicit Light(std::string id) : SceneObject("light_source", std::move(id)) {}
  std::string ReferenceText(const PlacementSlots& slots) const override;

  VectorProperty location{" "};
  VectorProperty color{"rgb "};
};

class PointLight : public Light {
 public:
  using Light::Light;
  std::string ReferenceText(const PlacementSlots& slots) const override;

 protected:
  std::string BuildDeclaration() const override;
};

class ParallelLight : public Light {
 public:
  using Light::Light;
  VectorProperty point_at{"point_at "};

 protected:
  std::string BuildDeclaration() const override;
};

class CylindricalLight : public Light {
 public:
  using Light::Light;
  VectorProperty point_at{"point_at "};
  NumberProperty radius{"radius "};
  NumberProperty falloff{"falloff "};
  NumberProperty tightness{"tightness "};

 protected:
  std::string BuildDeclaration() const override;
};

// The area light of a spotlight. Every setter switches it on; until then it
// prints a single blank.
class AreaLight {
 public:
  void SetAxis1(double a, double b, double c);
  void SetAxis2(double a, double b, double c);
  void SetSize1(std::int32_t n);
  void SetSize2(std::int32_t n);
  void SetAdaptive(double value);
  void JitterOn();
  void CircularOn();
  void OrientOn();
  bool enabled() const { return enabled_; }
  std::string Text() const;

 private:
  bool enabled_ = false;
  VectorProperty axis1_{" "};
  VectorProperty axis2_{" "};
  CountProperty size1_{" "};
  CountProperty size2_{" "};
  NumberProperty adaptive_{"adaptive  "};
  std::string jitter_ = " ";
  std::string circular_ = " ";
  std::string orient_ = " ";
};

class Spotlight : public Light {
 public:
  using Light::Light;
  VectorProperty point_at{"point_at "};
  NumberProperty radius{"radius "};
  NumberProperty falloff{"falloff "};
  NumberProperty tightness{"tightness "};
  AreaLight area_light;

 protected:
  std::string BuildDeclaration() const override;
};

}  // namespace scene
