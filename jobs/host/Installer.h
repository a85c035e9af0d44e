#pragma once
#include "platform/Com.h"

namespace jobs {

// The class "Lumora.Installer": creatable, with no behaviour of its own
// (so any thread may hold it).
class Installer {};

// Its interface adds nothing to IUnknown.
struct IInstaller : platform::com::IUnknown {
 protected:
  ~IInstaller() = default;
};

}  // namespace jobs
