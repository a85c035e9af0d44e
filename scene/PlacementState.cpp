#include "scene/PlacementState.h"

#include "scene/Format.h"
#include "scene/Property.h"

namespace scene {
namespace {

void SetIdentity(double (&m)[4][4]) {
  for (int h = 0; h < 4; ++h) {
    for (int v = 0; v < 4; ++v) m[h][v] = h == v ? 1.0 : 0.0;
  }
}

}  // namespace

PlacementState::PlacementState() {
  SetIdentity(matrix_);
  ResetForNewScene();
}

void PlacementState::ResetForNewScene() {
  last_translate_ = last_rotate_ = last_scale_ = kUnset;
  texture_ = kUnset;
  matrix_text_ = kUnset;
  photons_ = kUnset;
  for (auto& s : slots_) s = kUnset;
}

void PlacementState::CleanTransition() {
  last_translate_ = last_rotate_ = last_scale_ = kUnset;
  texture_.clear();
  matrix_text_ = kUnset;
  photons_.clear();
  for (auto& s : slots_) s = kUnset;
  SetIdentity(matrix_);
}

bool PlacementState::SetTransform(TransformKind kind, std::int32_t index, double a, double b, double c) {
  const char* keyword = kind == TransformKind::kTranslate ? "translate"
                        : kind == TransformKind::kRotate  ? "rotate"
                                                          : "scale ";
  VectorProperty p{keyword};
  p.Set(a, b, c);
  std::string text = p.Text();
  std::string& last = kind == TransformKind::kTranslate ? last_translate_
                      : kind == TransformKind::kRotate  ? last_rotate_
                                                        : last_scale_;
  last = text;
  if (index < 1 || index > 4) return false;
  slots_[index - 1] = std::move(text);
  return true;
}

bool PlacementState::SetMatrixValue(std::int32_t h, std::int32_t v, double value) {
  if (h < 0 || h > 3 || v < 0 || v > 3) return false;
  matrix_[h][v] = value;
  if (h == 3 && v == 3) matrix_text_ = MatrixStatement();
  return true;
}

std::string PlacementState::MatrixStatement() const {
  // Row-major affine transform: rows 0 to 2 hold the linear part, row 3 the
  // translation; column 3 (the projective column) has no place in the
  // renderer's statement.
  std::string acc = " ";
  for (int h = 0; h < 4; ++h) {
    for (int v = 0; v < 3; ++v) {
      acc += Format("%30.17f ", matrix_[h][v]);
      if (v < 2) {
        acc += " , ";
      } else {
        acc += h < 3 ? ",\n" : " \n";
      }
    }
  }
  return Format("%s < %s > \n", "matrix ", acc);
}

PlacementSlots PlacementState::Slots() const {
  return {slots_[0], slots_[1], slots_[2], texture_, matrix_text_, photons_};
}

}  // namespace scene
