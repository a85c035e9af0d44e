#include "scene/Photons.h"

#include "scene/Format.h"

namespace scene {

std::string Photons::ReferenceText(const PlacementSlots&) const {
  return Format(" \n  photons \n   { target \n %s \n %s \n %s \n  \n}\n", reflection.Text(), refraction.Text(),
                collect.Text());
}

}  // namespace scene
