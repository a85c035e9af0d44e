#pragma once
#include <filesystem>
#include <string>

#include "scene/Maker.h"

// The two demonstration scenes, built call for call through a Maker. Each
// stops at the first call that does not answer S_OK and tells which.
//
// Plain data; the scenes are built on the caller's thread, like the Maker they use.
struct DemoResult {
  HRESULT hr = S_OK;
  std::string failedCall;  // empty when every call answered S_OK
  bool ok() const { return hr == S_OK; }
};

// Glass sphere with photons, red cylinder, a mesh wall with an image map and
// a floor. `bumpmapPng` is the picture for the wall (bumpmap_.png beside the
// program).
DemoResult BuildDemoScene1(Maker& maker, const std::filesystem::path& bumpmapPng);

// A red translucent pillar on a grey floor under an area spotlight.
DemoResult BuildDemoScene2(Maker& maker);
