#pragma once
// The demo client makes its scene maker and render jobs as a host of the
// component library does: by ProgID, from the class registry.
#include <string>

#include "jobs/host/LumoraClasses.h"

namespace demo {

// Creates "Lumora.Maker" / "Lumora.RenderNet2". Null on failure, with a
// sentence in *error that says what went wrong and, for a class that is not
// registered, what to run.
platform::com::ComPtr<jobs::IMaker> NewMaker(std::string* error);
platform::com::ComPtr<jobs::IRenderNet2> NewRenderNet2(std::string* error);

}  // namespace demo
