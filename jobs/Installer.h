#pragma once
#include "platform/Com.h"

namespace lumora {

// The class "Lumora.Installer": creatable, with no behaviour of its own.
class Installer {};

// Its interface adds nothing to IUnknown.
struct IInstaller : com::IUnknown {
 protected:
  ~IInstaller() = default;
};

}  // namespace lumora
