#include "demo/DemoScenes.h"

namespace {

// Runs one call and keeps the first result other than S_OK.
class Script {
 public:
  bool Step(const char* call, HRESULT hr) {
    if (hr != S_OK && result_.ok()) {
      result_.hr = hr;
      result_.failedCall = call;
    }
    return result_.ok();
  }
  DemoResult result() const { return result_; }

 private:
  DemoResult result_;
};

}  // namespace

#define CALL(expr) \
  if (!script.Step(#expr, m.expr)) return script.result()

DemoResult BuildDemoScene1(Maker& m, const std::filesystem::path& bumpmapPng) {
  Script script;
  const std::string bumpmap = bumpmapPng.string();

  CALL(Init());
  CALL(GlobalSetPhotonsSpacing(0.02));

  CALL(CreateCamera("cam1"));
  CALL(SetCameraType("cam1", "perspective"));
  CALL(SetCameraLocation("cam1", 0, -8, 3.6));
  CALL(SetCameraLookAt("cam1", 0, 0, 0.75));
  CALL(AddtoScene("cam1"));

  CALL(CreatePointLight("pointlight1"));
  CALL(SetPointLightLocation("pointlight1", 500, 0, 500));
  CALL(SetPointLightRGB("pointlight1", 1.3, 1.3, 1.3));
  CALL(AddtoScene("pointlight1"));

  CALL(CreateTextures("M_Glass"));
  CALL(PigmentInTextureBegin("M_Glass"));
  CALL(PigmentInTextureSetRGB("M_Glass", 1, 1, 1, 1));
  CALL(PigmentInTextureEnd("M_Glass"));
  CALL(FinishInTextureBegin("M_Glass"));
  CALL(FinishInTextureSetAmbient("M_Glass", 0, 0, 0));
  CALL(FinishInTextureSetDiffuse("M_Glass", 0.05));
  CALL(FinishInTextureSetSpecular("M_Glass", 0.6));
  CALL(FinishInTextureSetRoughness("M_Glass", 0.005));
  CALL(FinishInTextureSetReflection("M_Glass", 0.1, 0.1, 0.1));
  CALL(FinishInTextureEnd("M_Glass"));
  CALL(InteriorInTextureBegin("M_Glass"));
  CALL(InteriorInTextureSetIOR("M_Glass", 1.5));
  CALL(InteriorInTextureSetFadePower("M_Glass", 1001));
  CALL(InteriorInTextureSetFadeDistance("M_Glass", 0.9));
  CALL(InteriorInTextureSetFadeColor("M_Glass", 0.5));
  CALL(InteriorInTextureEnd("M_Glass"));

  CALL(CreatePhotons("photons1"));
  CALL(SetPhotonsRefraction("photons1", 1));
  CALL(SetPhotonsReflection("photons1", 1));
  CALL(AddtoScene("M_Glass"));  // a texture: writes nothing

  CALL(CreateSphere("sphere1"));
  CALL(SetSphereCenter("sphere1", 0, 0, 1));
  CALL(SetSphereRadius("sphere1", 1));
  CALL(CleanTransition());
  CALL(SetTranslate(1, 1, -1.3, 0));
  CALL(SetTextureToObject("M_Glass"));
  CALL(SetPhotonsToObject("photons1"));
  CALL(AddtoScene("sphere1"));

  CALL(CreateCylinder("cylinder1"));
  CALL(SetCylinderBasePoint("cylinder1", 0, 0, 0.01));
  CALL(SetCylinderCapPoint("cylinder1", 0, 0, 2.5));
  CALL(SetCylinderRadius("cylinder1", 1));
  CALL(CreateTextures("cylt1"));
  CALL(PigmentInTextureBegin("cylt1"));
  CALL(PigmentInTextureSetRGB("cylt1", 0.6, 0, 0, 0));
  CALL(PigmentInTextureEnd("cylt1"));
  CALL(FinishInTextureBegin("cylt1"));
  CALL(FinishInTextureSetSpecular("cylt1", 0.8));
  CALL(FinishInTextureSetRoughness("cylt1", 0.05));
  CALL(FinishInTextureSetMetallic("cylt1", 1));
  CALL(FinishInTextureSetReflection("cylt1", 0.1, 0.1, 0.1));
  CALL(FinishInTextureEnd("cylt1"));
  CALL(CleanTransition());
  CALL(SetTextureToObject("cylt1"));
  CALL(SetPhotonsToObject("photons1"));
  CALL(SetTranslate(1, -1.2, 0.8, 0));
  CALL(AddtoScene("cylinder1"));

  CALL(CreateTextures("T1"));
  CALL(PigmentInTextureBegin("T1"));
  CALL(PigmentInTextureSetImage("T1", bumpmap.c_str(), 0, 1));
  CALL(PigmentInTextureEnd("T1"));
  CALL(CreateTextures("T2"));
  CALL(PigmentInTextureBegin("T2"));
  CALL(PigmentInTextureSetRGB("T2", 0.5, 0.3, 0.1, 0));
  CALL(PigmentInTextureEnd("T2"));
  CALL(FinishInTextureBegin("T2"));
  CALL(FinishInTextureSetAmbient("T2", 0.2, 0.2, 0.2));
  CALL(FinishInTextureSetDiffuse("T2", 0.7));
  CALL(FinishInTextureSetReflection("T2", 0.5, 0.5, 0.5));
  CALL(FinishInTextureEnd("T2"));
  CALL(CleanTransition());

  CALL(CreateMesh("mesh1"));
  CALL(SetTextureToMesh("T2", "mesh1"));
  CALL(CreateTriangleInMesh("mesh1", 0));
  CALL(SetTriangleCornerInMesh("mesh1", 1, -3, -3, 0));
  CALL(SetTriangleCornerInMesh("mesh1", 2, -3, 3, 0));
  CALL(SetTriangleCornerInMesh("mesh1", 3, -3, 3, 4));
  CALL(PushTriangleInMesh("mesh1"));
  CALL(CreateTriangleInMesh("mesh1", 0));
  CALL(SetTriangleCornerInMesh("mesh1", 1, -3, -3, 0));
  CALL(SetTriangleCornerInMesh("mesh1", 2, -3, 3, 4));
  CALL(SetTriangleCornerInMesh("mesh1", 3, -3, -3, 4));
  CALL(PushTriangleInMesh("mesh1"));
  CALL(CreateTriangleInMesh("mesh1", 0));
  CALL(SetTriangleCornerInMesh("mesh1", 1, -3, 3, 4));
  CALL(SetTriangleCornerInMesh("mesh1", 2, -3, 3, 0));
  CALL(SetTriangleCornerInMesh("mesh1", 3, 5, 3, 0));
  CALL(SetTriangleUVInMesh("mesh1", 1, 0, 1));
  CALL(SetTriangleUVInMesh("mesh1", 2, 0, 0));
  CALL(SetTriangleUVInMesh("mesh1", 3, 1, 0));
  CALL(SetTextureToTriangleInMesh("mesh1", "T1"));
  CALL(PushTriangleInMesh("mesh1"));
  CALL(CreateTriangleInMesh("mesh1", 0));
  CALL(SetTriangleCornerInMesh("mesh1", 1, -3, 3, 4));
  CALL(SetTriangleCornerInMesh("mesh1", 2, 5, 3, 0));
  CALL(SetTriangleCornerInMesh("mesh1", 3, 5, 3, 4));
  CALL(SetTriangleUVInMesh("mesh1", 1, 0, 1));
  CALL(SetTriangleUVInMesh("mesh1", 2, 1, 0));
  CALL(SetTriangleUVInMesh("mesh1", 3, 1, 1));
  CALL(SetTextureToTriangleInMesh("mesh1", "T1"));
  CALL(PushTriangleInMesh("mesh1"));
  CALL(AddtoScene("mesh1"));

  CALL(CreateTextures("p2"));
  CALL(PigmentInTextureBegin("p2"));
  CALL(PigmentInTextureSetRGB("p2", 1, 0.8, 0.6, 0));
  CALL(PigmentInTextureEnd("p2"));
  CALL(FinishInTextureBegin("p2"));
  CALL(FinishInTextureSetReflection("p2", 0.5, 0.5, 0.5));
  CALL(FinishInTextureEnd("p2"));
  CALL(CreatePlane("plane1"));
  CALL(SetPlaneNormal("plane1", 0, 0, 1));
  CALL(SetPlaneDistance("plane1", 0));
  CALL(CleanTransition());
  CALL(SetTextureToObject("p2"));
  CALL(AddtoScene("plane1"));

  CALL(Finish());
  return script.result();
}

DemoResult BuildDemoScene2(Maker& m) {
  Script script;

  CALL(Init());
  CALL(GlobalSetGamma(1));

  CALL(CreateTextures("Text_Texture"));
  CALL(PigmentInTextureBegin("Text_Texture"));
  CALL(PigmentInTextureSetRGB("Text_Texture", 1, 0, 0, 0.81));
  CALL(PigmentInTextureEnd("Text_Texture"));
  CALL(FinishInTextureBegin("Text_Texture"));
  CALL(FinishInTextureSetPhong("Text_Texture", 2));
  CALL(FinishInTextureSetPhong_size("Text_Texture", 80));
  CALL(FinishInTextureSetAmbient("Text_Texture", 0.1, 0.1, 0.1));
  CALL(FinishInTextureSetDiffuse("Text_Texture", 1.5));
  CALL(FinishInTextureEnd("Text_Texture"));

  CALL(CreateCylinder("Letter_T"));
  CALL(SetCylinderBasePoint("Letter_T", 0, 0, -8));
  CALL(SetCylinderCapPoint("Letter_T", 0, 0, 18));
  CALL(SetCylinderRadius("Letter_T", 2));
  CALL(SetTextureToObject("Text_Texture"));
  CALL(SetTranslate(1, 0, 0, 9.5));
  CALL(AddtoScene("Letter_T"));

  CALL(CreateTextures("pt"));
  CALL(PigmentInTextureBegin("pt"));
  CALL(PigmentInTextureSetRGB("pt", 0.8, 0.8, 0.8, 0));
  CALL(PigmentInTextureEnd("pt"));
  CALL(FinishInTextureBegin("pt"));
  CALL(FinishInTextureSetAmbient("pt", 0, 0, 0));
  CALL(FinishInTextureSetDiffuse("pt", 0.8));
  CALL(FinishInTextureEnd("pt"));
  CALL(CreatePlane("plane1"));
  CALL(SetPlaneNormal("plane1", 0, 0, 1));
  CALL(SetPlaneDistance("plane1", 0));
  CALL(SetTextureToObject("pt"));
  CALL(AddtoScene("plane1"));

  CALL(CreateCamera("cam1"));
  CALL(SetCameraDirection("cam1", 0, 1.5, 0));
  CALL(SetCameraLocation("cam1", 0, -100, 30));
  CALL(SetCameraLookAt("cam1", 0, -2, 0));
  CALL(AddtoScene("cam1"));

  CALL(CreatePointLight("pl1"));
  CALL(SetPointLightLocation("pl1", 10, -90, 30));
  CALL(SetPointLightRGB("pl1", 0.3, 0.3, 0.3));
  CALL(AddtoScene("pl1"));

  CALL(CreateSpotlight("sp1"));
  CALL(SetSpotlightLocation("sp1", 0, 100, 50));
  CALL(SetSpotlightRGB("sp1", 1, 1, 1));
  CALL(SetSpotlightPointAt("sp1", 0, -5, 0));
  CALL(SetSpotlightRadius("sp1", 6));
  CALL(SetSpotlightFalloff("sp1", 22));
  CALL(SetSpotlightAreaLightAXIS1("sp1", 6, 0, 0));
  CALL(SetSpotlightAreaLightAXIS2("sp1", 0, 0, 6));
  CALL(SetSpotlightAreaLightAXIS1Size("sp1", 9));
  CALL(SetSpotlightAreaLightAXIS2Size("sp1", 9));
  CALL(SetSpotlightAreaLightAdaptive("sp1", 0));
  CALL(SetSpotlightAreaLightJitterOn("sp1"));
  CALL(AddtoScene("sp1"));

  CALL(Finish());
  return script.result();
}
