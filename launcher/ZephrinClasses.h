#pragma once
// The creatable class of libzephrin.so and its interface, for hosts that
// create it by name ("Zephrin.Render"); the methods are launcher::Render's.
#include "platform/Com.h"

namespace launcher {

class Render;
using IRender = platform::com::IObjectOf<Render>;

inline const platform::com::CLSID CLSID_Render = platform::com::MakeGuid("{C54C8945-CD31-4941-A3D5-E00E2E1E75D6}");
inline const platform::com::IID IID_IRender = platform::com::MakeGuid("{1228CDB6-AD8A-4919-B6D4-5045EBE3092C}");

}  // namespace launcher
