#pragma once
// The creatable class of libzephrin.so and its interface, for hosts that
// create it by name ("Zephrin.Render"); the methods are zephrin::Render's.
#include "platform/Com.h"

namespace zephrin {

class Render;
using IRender = com::IObjectOf<Render>;

inline const com::CLSID CLSID_Render = com::MakeGuid("{C54C8945-CD31-4941-A3D5-E00E2E1E75D6}");
inline const com::IID IID_IRender = com::MakeGuid("{1228CDB6-AD8A-4919-B6D4-5045EBE3092C}");

}  // namespace zephrin
