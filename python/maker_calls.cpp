// Makes one scene through the C++ Maker with a call of every kind of
// parameter list and prints each answer on a line of its own; the scene is
// in bin/Render. maker_test.py makes the same calls from Python and compares
// the answers and the scene text.
#include <cstdio>
#include <string>
#include <vector>

#include "scene/Maker.h"

namespace {

// The camera, the lights and the textures, then the sphere that wears them.
void MakeSetUpAndSphere(Maker& m, const std::string& image, std::vector<HRESULT>& r) {
  r.push_back(m.Init());
  r.push_back(m.CreateCamera("cam"));
  r.push_back(m.SetCameraLocation("cam", 0, -5, 1.5));
  r.push_back(m.SetCameraLookAt("cam", 0, 0, 0.5));
  r.push_back(m.SetCameraAngle("cam", 40));
  r.push_back(m.SetCameraType("cam", "perspective"));
  r.push_back(m.SetCameraType("cam", nullptr));
  r.push_back(m.AddtoScene("cam"));
  r.push_back(m.CreatePointLight("lamp"));
  r.push_back(m.SetPointLightLocation("lamp", 3, -4, 6));
  r.push_back(m.SetPointLightRGB("lamp", 1, 0.9, 0.8));
  r.push_back(m.AddtoScene("lamp"));
  r.push_back(m.CreateSpotlight("spot"));
  r.push_back(m.SetSpotlightAreaLightAXIS1Size("spot", 3));
  r.push_back(m.SetSpotlightAreaLightJitterOn("spot"));
  r.push_back(m.AddtoScene("spot"));
  r.push_back(m.CreateTextures("tex"));
  r.push_back(m.PigmentInTextureBegin("tex"));
  r.push_back(m.PigmentInTextureSetRGB("tex", 0.2, 0.4, 0.9, 0.1));
  r.push_back(m.PigmentInTextureEnd("tex"));
  r.push_back(m.FinishInTextureBegin("tex"));
  r.push_back(m.FinishInTextureSetPhong("tex", 0.6));
  r.push_back(m.FinishInTextureSetReflectionFresnel("tex", 1));
  r.push_back(m.FinishInTextureEnd("tex"));
  r.push_back(m.CreateTextures("wall"));
  r.push_back(m.PigmentInTextureBegin("wall"));
  r.push_back(m.PigmentInTextureSetImage("wall", image.c_str(), 0, 0));
  r.push_back(m.PigmentInTextureEnd("wall"));
  r.push_back(m.SetTextureToObject("tex"));
  r.push_back(m.CreatePhotons("ph"));
  r.push_back(m.SetPhotonsReflection("ph", 1));
  r.push_back(m.SetPhotonsToObject("ph"));
  r.push_back(m.SetTranslate(1, 0.5, 0, 0));
  r.push_back(m.SetTranslate(5, 9, 9, 9));
  r.push_back(m.SetRotate(2, 0, 0, 45));
  r.push_back(m.SetScale(3, 1, 2, 1));
  r.push_back(m.SetMatrixOnebyOne(3, 0, 0.25));
  r.push_back(m.SetMatrixOnebyOne(3, 3, 1));
  r.push_back(m.SetMatrixOnebyOne(4, 0, 1));
  r.push_back(m.CreateSphere("ball"));
  r.push_back(m.SetSphereCenter("ball", 0, 0, 1));
  r.push_back(m.SetSphereRadius("ball", 1));
  r.push_back(m.SetSphereRadius("missing", 1));
  r.push_back(m.AddtoScene("ball"));
}

// The other solids and the global settings.
void MakeSolids(Maker& m, std::vector<HRESULT>& r) {
  r.push_back(m.CleanTransition());
  r.push_back(m.SetTextureToObject("wall"));
  r.push_back(m.CreateMesh("tri"));
  r.push_back(m.CreateTriangleInMesh("tri", 0));
  r.push_back(m.SetTriangleCornerInMesh("tri", 1, 0, 0, 0));
  r.push_back(m.SetTriangleCornerInMesh("tri", 2, 1, 0, 0));
  r.push_back(m.SetTriangleCornerInMesh("tri", 3, 0, 1, 0));
  r.push_back(m.SetTriangleUVInMesh("tri", 1, 0.5, 0.25));
  r.push_back(m.PushTriangleInMesh("tri"));
  r.push_back(m.SetTextureToMesh("tex", "tri"));
  r.push_back(m.AddtoScene("tri"));
  r.push_back(m.CreatePolygon("poly"));
  r.push_back(m.InsertPointToPolygon("poly", 0, 0));
  r.push_back(m.InsertPointToPolygon("poly", 1, 0));
  r.push_back(m.InsertPointToPolygon("poly", 0, 1));
  r.push_back(m.AddtoScene("poly"));
  r.push_back(m.CreateBox("box"));
  r.push_back(m.SetBoxCorner("box", -1, -1, -1, 1, 1, 0));
  r.push_back(m.AddtoScene("box"));
  r.push_back(m.CreateSpheresweep("sw"));
  r.push_back(m.SetSpheresweepCenterAndRadius("sw", 0, 0, 0, 0.2));
  r.push_back(m.SetSpheresweepCenterAndRadius("sw", 1, 1, 1, 0.2));
  r.push_back(m.AddtoScene("sw"));
  r.push_back(m.GlobalSetPhotonsCount(20000));
  r.push_back(m.GlobalSetGamma(2.2));
  r.push_back(m.Finish());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: maker_calls IMAGE\n");
    return 2;
  }
  Maker m;
  std::vector<HRESULT> r;
  MakeSetUpAndSphere(m, argv[1], r);
  MakeSolids(m, r);
  for (HRESULT hr : r) std::printf("%d\n", hr);
  return 0;
}
