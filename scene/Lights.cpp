#include "scene/Lights.h"

#include "scene/Format.h"

namespace scene {

std::string Light::ReferenceText(const PlacementSlots& slots) const {
  return Format(" \n light_source { \n %s \n%s \n}", id(), FillSlots(kSixSlotLine, slots));
}

std::string PointLight::ReferenceText(const PlacementSlots& slots) const {
  return Format(" \n light_source { \n %s %s \n}", id(), FillSlots(" %s \n %s \n %s \n %s \n %s \n  %s \n", slots));
}

std::string PointLight::BuildDeclaration() const {
  return Format(" \n #declare %s =light_source  { \n %s %s \n}", id(), location.Text(), color.Text());
}

std::string ParallelLight::BuildDeclaration() const {
  return Format(" \n #declare %s =light_source { \n %s \n %s \n %s \n %s \n}\n", id(), location.Text(), color.Text(),
                "parallel ", point_at.Text());
}

std::string CylindricalLight::BuildDeclaration() const {
  return Format(" \n #declare %s =light_source { \n %s \n %s \n %s \n %s \n %s \n %s \n%s \n}\n", id(), location.Text(),
                color.Text(), "cylinder ", radius.Text(), falloff.Text(), tightness.Text(), point_at.Text());
}

void AreaLight::SetAxis1(double a, double b, double c) {
  axis1_.Set(a, b, c);
  enabled_ = true;
}

void AreaLight::SetAxis2(double a, double b, double c) {
  axis2_.Set(a, b, c);
  enabled_ = true;
}

void AreaLight::SetSize1(std::int32_t n) {
  size1_.Set(n);
  enabled_ = true;
}

void AreaLight::SetSize2(std::int32_t n) {
  size2_.Set(n);
  enabled_ = true;
}

void AreaLight::SetAdaptive(double value) {
  adaptive_.Set(value);
  enabled_ = true;
}

void AreaLight::JitterOn() {
  jitter_ = "jitter";
  enabled_ = true;
}

void AreaLight::CircularOn() {
  circular_ = "circular";
  enabled_ = true;
}

void AreaLight::OrientOn() {
  orient_ = "orient";
  enabled_ = true;
}

std::string AreaLight::Text() const {
  if (!enabled_) return kUnset;
  return Format(" \n  area_light  \n %s ,\n %s , \n %s ,\n %s  \n %s \n %s  \n %s \n %s\n ", axis1_.Text(),
                axis2_.Text(), size1_.Text(), size2_.Text(), adaptive_.Text(), jitter_, circular_, orient_);
}

std::string Spotlight::BuildDeclaration() const {
  return Format(" \n #declare %s =light_source { \n %s \n %s \n %s \n %s \n %s \n %s \n%s \n%s\n}\n", id(),
                location.Text(), color.Text(), "spotlight", radius.Text(), falloff.Text(), tightness.Text(),
                area_light.Text(), point_at.Text());
}

}  // namespace scene
