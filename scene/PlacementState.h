#pragma once
#include <cstdint>
#include <string>

#include "scene/SceneObject.h"

namespace scene {

enum class TransformKind { kTranslate, kRotate, kScale };

// The current state every placement picks up: four transform slots (the
// first three are used), the current texture, the matrix statement and the
// current photons.
//
// Owned by one Maker: its caller's thread only.
class PlacementState {
 public:
  PlacementState();

  // The state of a new scene: every text a single blank. The matrix values
  // are kept.
  void ResetForNewScene();
  // Between objects: blank transforms and matrix, no texture or photons,
  // identity matrix values.
  void CleanTransition();

  // Builds the transform text (values in print order). It always becomes the
  // "last" text of its kind; for index 1 to 4 it also fills that slot.
  // False when the index is outside 1..4.
  bool SetTransform(TransformKind kind, std::int32_t index, double a, double b, double c);

  // Stores a matrix value; setting (3, 3) rebuilds the matrix statement.
  // False, with nothing stored, when h or v is outside 0..3.
  bool SetMatrixValue(std::int32_t h, std::int32_t v, double value);

  void set_texture(std::string reference) { texture_ = std::move(reference); }
  void set_photons(std::string reference) { photons_ = std::move(reference); }

  // Slots 1 to 3, texture, matrix text, photons.
  PlacementSlots Slots() const;

  const std::string& last_translate() const { return last_translate_; }
  const std::string& last_rotate() const { return last_rotate_; }
  const std::string& last_scale() const { return last_scale_; }
  const std::string& slot(int index) const { return slots_[index - 1]; }
  const std::string& matrix_text() const { return matrix_text_; }

 private:
  std::string MatrixStatement() const;

  std::string last_translate_;
  std::string last_rotate_;
  std::string last_scale_;
  std::string texture_;
  std::string matrix_text_;
  std::string photons_;
  std::string slots_[4];
  double matrix_[4][4];
};

}  // namespace scene
