#include "scene/GlobalSettings.h"

#include "scene/Format.h"

namespace scene {

GlobalSettings::GlobalSettings() : SceneObject("global_settings", kGlobalSettingsId) { gamma.Set(1.0); }

void GlobalSettings::SetPhotonsSpacing(double value) {
  spacing_.Set(value);
  photons_enabled_ = true;
}

void GlobalSettings::SetPhotonsCount(double value) {
  count_.Set(value);
  photons_enabled_ = true;
}

void GlobalSettings::SetPhotonsJitter(double value) {
  jitter_.Set(value);
  photons_enabled_ = true;
}

std::string GlobalSettings::Text() const {
  std::string photons = kUnset;
  if (photons_enabled_) {
    photons = Format(" \n  photons { \n %s\n %s\n %s\n}\n", spacing_.Text(), count_.Text(), jitter_.Text());
  }
  return Format(" \n  global_settings { \n %s \n %s  \n}", gamma.Text(), photons);
}

}  // namespace scene
