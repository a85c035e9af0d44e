#pragma once
#include <cstdint>
#include <string>

namespace scene {

// Scene objects keep their values in small properties. Each knows its keyword
// and whether it was set; an unset property prints as a single blank so that
// the object's text keeps its shape. Parts of a scene object: the Maker's
// caller's thread only.
inline const std::string kUnset = " ";

// "%s < %30.17f ,%30.17f ,%30.17f > \n"
class VectorProperty {
 public:
  explicit VectorProperty(std::string keyword = " ") : keyword_(std::move(keyword)) {}
  // Values in print order; callers swap the host's y and z before this.
  void Set(double a, double b, double c);
  bool set() const { return set_; }
  std::string Text() const;

 private:
  std::string keyword_;
  bool set_ = false;
  double v_[3] = {0, 0, 0};
};

// A colour with its filter/transmit value:
// "%s < %30.17f ,%30.17f  ,%30.17f  ,%30.17f> \n"
class ColorFilterProperty {
 public:
  explicit ColorFilterProperty(std::string keyword) : keyword_(std::move(keyword)) {}
  void Set(double r, double g, double b, double f);
  bool set() const { return set_; }
  std::string Text() const;

 private:
  std::string keyword_;
  bool set_ = false;
  double v_[4] = {0, 0, 0, 0};
};

// Two values: polygon points and texture coordinates.
// "%s < %30.17f ,%30.17f > \n"
class PlanePointProperty {
 public:
  explicit PlanePointProperty(std::string keyword = " ") : keyword_(std::move(keyword)) {}
  void Set(double a, double b);
  bool set() const { return set_; }
  std::string Text() const;

 private:
  std::string keyword_;
  bool set_ = false;
  double v_[2] = {0, 0};
};

// "%s  %30.17f\n"
class NumberProperty {
 public:
  explicit NumberProperty(std::string keyword = " ") : keyword_(std::move(keyword)) {}
  void Set(double value);
  bool set() const { return set_; }
  std::string Text() const;

 private:
  std::string keyword_;
  bool set_ = false;
  double value_ = 0;
};

// "%s  %d\n"
class CountProperty {
 public:
  explicit CountProperty(std::string keyword = " ") : keyword_(std::move(keyword)) {}
  void Set(std::int32_t value);
  bool set() const { return set_; }
  std::string Text() const;

 private:
  std::string keyword_;
  bool set_ = false;
  std::int32_t value_ = 0;
};

// "%s  %s \n"
class WordProperty {
 public:
  explicit WordProperty(std::string keyword = " ") : keyword_(std::move(keyword)) {}
  void Set(std::string word);
  // Sets "on" for 1 and "off" for any other value.
  void SetOnOff(std::int32_t on_or_off);
  bool set() const { return set_; }
  std::string Text() const;

 private:
  std::string keyword_;
  bool set_ = false;
  std::string word_;
};

}  // namespace scene
