#include "scene/Property.h"

#include "scene/Format.h"

namespace scene {

void VectorProperty::Set(double a, double b, double c) {
  v_[0] = a;
  v_[1] = b;
  v_[2] = c;
  set_ = true;
}

std::string VectorProperty::Text() const {
  if (!set_) return kUnset;
  return Format("%s < %30.17f ,%30.17f ,%30.17f > \n", keyword_, v_[0], v_[1], v_[2]);
}

void ColorFilterProperty::Set(double r, double g, double b, double f) {
  v_[0] = r;
  v_[1] = g;
  v_[2] = b;
  v_[3] = f;
  set_ = true;
}

std::string ColorFilterProperty::Text() const {
  if (!set_) return kUnset;
  return Format("%s < %30.17f ,%30.17f  ,%30.17f  ,%30.17f> \n", keyword_, v_[0], v_[1], v_[2], v_[3]);
}

void PlanePointProperty::Set(double a, double b) {
  v_[0] = a;
  v_[1] = b;
  set_ = true;
}

std::string PlanePointProperty::Text() const {
  if (!set_) return kUnset;
  return Format("%s < %30.17f ,%30.17f > \n", keyword_, v_[0], v_[1]);
}

void NumberProperty::Set(double value) {
  value_ = value;
  set_ = true;
}

std::string NumberProperty::Text() const {
  if (!set_) return kUnset;
  return Format("%s  %30.17f\n", keyword_, value_);
}

void CountProperty::Set(std::int32_t value) {
  value_ = value;
  set_ = true;
}

std::string CountProperty::Text() const {
  if (!set_) return kUnset;
  return Format("%s  %d\n", keyword_, value_);
}

void WordProperty::Set(std::string word) {
  word_ = std::move(word);
  set_ = true;
}

void WordProperty::SetOnOff(std::int32_t on_or_off) { Set(on_or_off == 1 ? "on" : "off"); }

std::string WordProperty::Text() const {
  if (!set_) return kUnset;
  return Format("%s  %s \n", keyword_, word_);
}

}  // namespace scene
