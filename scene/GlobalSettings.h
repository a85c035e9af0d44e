#pragma once
#include "scene/Property.h"
#include "scene/SceneObject.h"

namespace scene {

// Registry key of the global settings entry.
inline constexpr const char* kGlobalSettingsId = "myGlobalSeting";

// The scene's global settings, written once by Finish.
//
// Scene objects belong to one Maker: its caller's thread only.
class GlobalSettings : public SceneObject {
 public:
  GlobalSettings();
  bool placeable() const override { return false; }

  NumberProperty gamma{"assumed_gamma "};  // 1.0 from the start

  // Each switches the photons settings on.
  void SetPhotonsSpacing(double value);
  void SetPhotonsCount(double value);
  void SetPhotonsJitter(double value);

  // The global_settings block.
  std::string Text() const;

  std::string ReferenceText(const PlacementSlots&) const override { return ""; }

 protected:
  std::string BuildDeclaration() const override { return Text(); }

 private:
  bool photons_enabled_ = false;
  NumberProperty spacing_{"spacing "};
  NumberProperty count_{"count "};
  NumberProperty jitter_{"jitter "};
};

}  // namespace scene
