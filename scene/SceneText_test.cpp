// Pins the exact scene text the maker writes for every kind of object and
// for the placement state.
#include <gtest/gtest.h>

#include <locale>

#include "scene/Maker.h"
#include "scene/SceneTestSupport.h"

using namespace scenetest;

namespace {

std::string SolidBlock(const std::string& id, const std::vector<std::string>& slots = kInitSlots) {
  return " \n object { \n " + id + " \n" + Slots(slots) + " \n}";
}

// A camera with every setting, then one with only a location.
void AddCameras(Maker& m, std::string& want) {
  ASSERT_EQ(m.CreateCamera("cam"), S_OK);
  EXPECT_EQ(m.SetCameraType("cam", "orthographic"), S_OK);
  EXPECT_EQ(m.SetCameraType("cam", "Perspective"), S_OK);  // wrong case: no change
  EXPECT_EQ(m.SetCameraLocation("cam", 1, 2, 3), S_OK);
  EXPECT_EQ(m.SetCameraRight("cam", 4, 5, 6), S_OK);
  EXPECT_EQ(m.SetCameraUp("cam", 0, 1, 0.5), S_OK);
  EXPECT_EQ(m.SetCameraDirection("cam", 0, 1.5, 0), S_OK);
  EXPECT_EQ(m.SetCameraSky("cam", 0, 0, 1), S_OK);
  EXPECT_EQ(m.SetCameraLookAt("cam", -1, -2, -3.25), S_OK);
  EXPECT_EQ(m.SetCameraAngle("cam", 45), S_OK);
  EXPECT_EQ(m.SetCameraAperture("cam", 0.125), S_OK);
  EXPECT_EQ(m.AddtoScene("cam"), S_OK);
  want += " \n #declare cam =camera { \n " + Word(" ", "orthographic") + " " + Vec("location", 1, 3, 2) + " " +
          Vec("right", 4, 6, 5) + " " + Vec("up", 0, 0.5, 1) + " " + Vec("direction", 0, 0, 1.5) + " " +
          Vec("sky", 0, 1, 0) + " " + Vec("look_at", -1, -3.25, -2) + " " + Num("angle", 45) + " " +
          Num("aperture", 0.125) + " \n}";
  want += " \n camera { \n cam " + Slots(kInitSlots) + " \n}";

  // Only a location: the other eight positions are single blanks.
  m.CreateCamera("cam2");
  m.SetCameraLocation("cam2", 0, -8, 3.6);
  m.AddtoScene("cam2");
  want += " \n #declare cam2 =camera { \n   " + Vec("location", 0, 3.6, -8) + "               \n}";
  want += " \n camera { \n cam2 " + Slots(kInitSlots) + " \n}";
}

void AddRoundSolids(Maker& m, std::string& want) {
  m.CreateSphere("ball");
  EXPECT_EQ(m.SetSphereCenter("ball", 1, 2, 3), S_OK);
  EXPECT_EQ(m.SetSphereRadius("ball", 0.75), S_OK);
  m.AddtoScene("ball");
  want += " \n #declare ball =sphere { \n " + Vec(" ", 1, 3, 2) + " \n" + Num(" ", 0.75) + " \n}\n";
  want += SolidBlock("ball");

  m.CreateCylinder("cyl");
  m.SetCylinderBasePoint("cyl", 0, 0, 0.01);
  m.SetCylinderCapPoint("cyl", 0, 0, 2.5);
  m.SetCylinderRadius("cyl", 1);
  EXPECT_EQ(m.SetCylinderIsOpen("cyl", 0), S_OK);
  m.AddtoScene("cyl");
  want += " \n #declare cyl =cylinder { \n " + Vec(" ", 0, 0.01, 0) + " \n " + Vec(" ", 0, 2.5, 0) + "\n " +
          Num(" ", 1) + " \nopen \n}\n";
  want += SolidBlock("cyl");

  m.CreateCone("co");
  m.SetConeBasePoint("co", 1, 2, 3);
  m.SetConeCapPoint("co", 4, 5, 6);
  m.SetConeBasePointRadius("co", 2);
  m.SetConeCapPointRadius("co", 0.5);
  m.SetConeIsOpen("co", 0);
  m.SetConeIsOpen("co", 1);  // any value but 0 closes it again
  m.AddtoScene("co");
  want += " \n #declare co =cone { \n " + Vec(" ", 1, 3, 2) + " \n " + Num(" ", 2) + " \n " + Vec(" ", 4, 6, 5) +
          " \n " + Num(" ", 0.5) + " \n  \n}\n";
  want += SolidBlock("co");
}

void AddFlatSolids(Maker& m, std::string& want) {
  m.CreatePlane("pl");
  m.SetPlaneNormal("pl", 0, 0, 1);
  m.SetPlaneDistance("pl", -2);
  m.AddtoScene("pl");
  want += " \n #declare pl =plane { \n " + Vec("", 0, 1, 0) + " \n " + Num("", -2) + " \n }\n";
  want += SolidBlock("pl");

  m.CreateBox("bx");
  EXPECT_EQ(m.SetBoxCorner("bx", -1, -2, -3, 1, 2, 3), S_OK);
  m.AddtoScene("bx");
  want += " \n #declare bx =box { \n " + Vec(" ", -1, -3, -2) + " \n " + Vec(" ", 1, 3, 2) + " \n }\n";
  want += SolidBlock("bx");
}

// Sweep: two spheres, radius in the stream's short form, count after the
// spline type; a one-sphere sweep ends its only sphere with a blank.
void AddSweeps(Maker& m, std::string& want) {
  m.CreateSpheresweep("sw");
  EXPECT_EQ(m.SetSpheresweepSweeptype("sw", 3), S_OK);
  m.SetSpheresweepCenterAndRadius("sw", 0, 0, 0, 0.5);
  m.SetSpheresweepCenterAndRadius("sw", 1, 2, 3, 1.25);
  m.SetSpheresweepTolerance("sw", 0.001);
  m.AddtoScene("sw");
  want += " \n #declare sw =sphere_sweep { \n cubic_spline 2, \n  " + Vec(" ", 0, 0, 0) + " 0.5 ,\n" +
          Vec(" ", 1, 3, 2) + " 1.25  \n \n " + Num("tolerance ", 0.001) + " \n}\n";
  want += SolidBlock("sw");
  m.CreateSpheresweep("sw1");
  m.SetSpheresweepSweeptype("sw1", 2);
  m.SetSpheresweepSweeptype("sw1", 1);  // back to linear
  m.SetSpheresweepCenterAndRadius("sw1", 0, 0, 0, 2);
  m.AddtoScene("sw1");
  want += " \n #declare sw1 =sphere_sweep { \n linear_spline 1, \n  " + Vec(" ", 0, 0, 0) + " 2  \n \n " +
          Num("tolerance ", 1e-6) + " \n}\n";
  want += SolidBlock("sw1");
}

void AddPolygons(Maker& m, std::string& want) {
  m.CreatePolygon("pg");
  EXPECT_EQ(m.InsertPointToPolygon("pg", 0, 0), S_OK);
  EXPECT_EQ(m.InsertPointToPolygon("pg", 1, 0.5), S_OK);
  m.AddtoScene("pg");
  want += " \n #declare pg =polygon  { \n 2 \n  " + PP(" ", 0, 0) + "\n" + PP(" ", 1, 0.5) + "\n \n}";
  want += " \n object { \n pg " + Slots(kInitSlots) + " \n}";
  m.CreatePolygon("empty");
  m.AddtoScene("empty");
  want += " \n #declare empty =polygon  { \n 0 \n   \n}";
  want += " \n object { \n empty " + Slots(kInitSlots) + " \n}";
}

TEST(SceneText, CameraAndSolids) {
  Maker m;
  ASSERT_EQ(m.Init(), S_OK);
  std::string want;
  ASSERT_NO_FATAL_FAILURE(AddCameras(m, want));
  AddRoundSolids(m, want);
  AddFlatSolids(m, want);
  AddSweeps(m, want);
  AddPolygons(m, want);
  ASSERT_EQ(m.Finish(), S_OK);
  EXPECT_EQ(SceneText(), want + DefaultGlobals());
}

// Pushes two flat triangles into "mesh": without texture coordinates, then
// with them and a texture of its own. Their text goes to `triangles`.
void PushFlatTriangles(Maker& m, const std::string& tRef, std::string& want, std::string& triangles) {
  // Flat triangle without texture coordinates.
  ASSERT_EQ(m.CreateTriangleInMesh("mesh", 0), S_OK);
  EXPECT_EQ(m.SetTriangleCornerInMesh("mesh", 1, 0, 0, 0), S_OK);
  EXPECT_EQ(m.SetTriangleCornerInMesh("mesh", 2, 1, 0, 0), S_OK);
  EXPECT_EQ(m.SetTriangleCornerInMesh("mesh", 3, 0, 1, 2), S_OK);
  EXPECT_EQ(m.SetTriangleCornerInMesh("mesh", 4, 9, 9, 9), S_FALSE);
  EXPECT_EQ(m.SetTriangleNormalInMesh("mesh", 1, 0, 0, 1), S_FALSE);  // flat: no normals
  ASSERT_EQ(m.PushTriangleInMesh("mesh"), S_OK);
  std::string tri1 = "triangle \n { \n " + Vec(" ", 0, 0, 0) + " ," + Vec(" ", 1, 0, 0) + ", " + Vec(" ", 0, 2, 1) +
                     "  " + "" + "\n } \n";
  // The mesh has no current triangle now.
  EXPECT_EQ(m.SetTriangleCornerInMesh("mesh", 1, 0, 0, 0), S_FALSE);
  EXPECT_EQ(m.PushTriangleInMesh("mesh"), S_FALSE);

  // Flat triangle with texture coordinates and its own texture.
  m.CreateTriangleInMesh("mesh", 0);
  m.SetTriangleCornerInMesh("mesh", 1, -3, 3, 4);
  m.SetTriangleCornerInMesh("mesh", 2, -3, 3, 0);
  m.SetTriangleCornerInMesh("mesh", 3, 5, 3, 0);
  EXPECT_EQ(m.SetTriangleUVInMesh("mesh", 1, 0, 1), S_OK);
  EXPECT_EQ(m.SetTriangleUVInMesh("mesh", 2, 0, 0), S_OK);
  EXPECT_EQ(m.SetTriangleUVInMesh("mesh", 3, 1, 0), S_OK);
  EXPECT_EQ(m.SetTextureToTriangleInMesh("mesh", "T"), S_OK);  // already declared
  want += "\n";
  EXPECT_EQ(m.SetTextureToTriangleInMesh("mesh", "mesh"), S_FALSE);
  m.PushTriangleInMesh("mesh");
  std::string tri2 = "triangle \n { \n " + Vec(" ", -3, 4, 3) + " ," + Vec(" ", -3, 0, 3) + ", " + Vec(" ", 5, 0, 3) +
                     " \n uv_vectors " + PP(" ", 0, 1) + " , " + PP(" ", 0, 0) + " , " + PP(" ", 1, 0) + "  " + tRef +
                     "\n} \n";
  triangles += tri1 + "\n" + tri2 + "\n";
}

// Pushes two triangles with normals into "mesh": with texture coordinates,
// then without. Their text goes to `triangles`.
void PushSmoothTriangles(Maker& m, std::string& triangles) {
  // Triangle with normals, with texture coordinates.
  ASSERT_EQ(m.CreateTriangleInMesh("mesh", 1), S_OK);
  m.SetTriangleCornerInMesh("mesh", 1, 0, 0, 0);
  m.SetTriangleCornerInMesh("mesh", 2, 1, 0, 0);
  m.SetTriangleCornerInMesh("mesh", 3, 0, 1, 0);
  EXPECT_EQ(m.SetTriangleNormalInMesh("mesh", 1, 0, 0, 1), S_OK);
  EXPECT_EQ(m.SetTriangleNormalInMesh("mesh", 2, 0, 1, 1), S_OK);
  EXPECT_EQ(m.SetTriangleNormalInMesh("mesh", 3, 1, 0, 1), S_OK);
  EXPECT_EQ(m.SetTriangleNormalInMesh("mesh", 0, 1, 0, 1), S_FALSE);
  m.SetTriangleUVInMesh("mesh", 1, 0, 0);
  m.SetTriangleUVInMesh("mesh", 2, 1, 0);
  m.SetTriangleUVInMesh("mesh", 3, 0, 1);
  m.PushTriangleInMesh("mesh");
  std::string tri3 = "smooth_triangle \n { \n " + Vec(" ", 0, 0, 0) + " ," + Vec(" ", 0, 1, 0) + ", " +
                     Vec(" ", 1, 0, 0) + " ," + Vec(" ", 0, 1, 1) + ", " + Vec(" ", 0, 0, 1) + " ," +
                     Vec(" ", 1, 1, 0) + " \n  uv_vectors " + PP(" ", 0, 0) + " , " + PP(" ", 1, 0) + " , " +
                     PP(" ", 0, 1) + "  " + " \n} \n";

  // Triangle with normals, no texture coordinates.
  m.CreateTriangleInMesh("mesh", 1);
  m.SetTriangleCornerInMesh("mesh", 1, 0, 0, 0);
  m.SetTriangleCornerInMesh("mesh", 2, 1, 0, 0);
  m.SetTriangleCornerInMesh("mesh", 3, 0, 1, 0);
  m.SetTriangleNormalInMesh("mesh", 1, 0, 0, 1);
  m.SetTriangleNormalInMesh("mesh", 2, 0, 0, 1);
  m.SetTriangleNormalInMesh("mesh", 3, 0, 0, 1);
  m.PushTriangleInMesh("mesh");
  std::string n = Vec(" ", 0, 1, 0);
  std::string tri4 = "smooth_triangle \n { \n " + Vec(" ", 0, 0, 0) + " ," + n + ", " + Vec(" ", 1, 0, 0) + " ," + n +
                     ", " + Vec(" ", 0, 0, 1) + " ," + n + " \n   \n} \n";
  triangles += tri3 + "\n" + tri4 + "\n";
}

TEST(SceneText, MeshWithBothTriangleTypes) {
  Maker m;
  ASSERT_EQ(m.Init(), S_OK);
  std::string want;
  m.CreateTextures("T");
  m.PigmentInTextureBegin("T");
  m.PigmentInTextureSetRGB("T", 1, 0, 0, 0);
  m.PigmentInTextureEnd("T");
  const std::string tDecl = " \n #declare T =texture { \n   \n pigment { \n " + ColF("rgb ", 1, 0, 0, 0) + " \n} \n}";
  const std::string tRef = " \n texture { \n T   \n}";

  m.CreateMesh("mesh");
  ASSERT_EQ(m.SetTextureToMesh("T", "mesh"), S_OK);  // declared at once
  want += tDecl;
  std::string triangles;
  ASSERT_NO_FATAL_FAILURE(PushFlatTriangles(m, tRef, want, triangles));
  ASSERT_NO_FATAL_FAILURE(PushSmoothTriangles(m, triangles));

  EXPECT_EQ(m.CreateTriangleInMesh("mesh", 2), S_FALSE);
  m.AddtoScene("mesh");
  want += " \n #declare mesh =mesh { \n  " + triangles + tRef + " \n}";
  want += " \n object { \n mesh " + Slots(kInitSlots) + " \n}";
  m.Finish();
  EXPECT_EQ(SceneText(), want + DefaultGlobals());
}

TEST(SceneText, Lights) {
  Maker m;
  ASSERT_EQ(m.Init(), S_OK);
  std::string want;
  const std::string line = Slots(kInitSlots);

  m.CreatePointLight("pt");
  m.SetPointLightLocation("pt", 500, 0, 500);
  m.SetPointLightRGB("pt", 1.3, 1.2, 1.1);
  m.AddtoScene("pt");
  want += " \n #declare pt =light_source  { \n " + Vec(" ", 500, 500, 0) + " " + Vec("rgb ", 1.3, 1.2, 1.1) + " \n}";
  want += " \n light_source { \n pt " + Slots(kInitSlots, true) + " \n}";

  m.CreateParallelLights("par");
  m.SetParallelLightsLocation("par", 1, 2, 3);
  m.SetParallelLightsRGB("par", 1, 0.5, 0);
  m.SetParallelLightsPointAt("par", 0, 0, -1);
  m.AddtoScene("par");
  want += " \n #declare par =light_source { \n " + Vec(" ", 1, 3, 2) + " \n " + Vec("rgb ", 1, 0.5, 0) +
          " \n parallel  \n " + Vec("point_at ", 0, -1, 0) + " \n}\n";
  want += " \n light_source { \n par \n" + line + " \n}";

  m.CreateCylindricalLights("cl");
  m.SetCylindricalLightsLocation("cl", 1, 2, 3);
  m.SetCylindricalLightsRGB("cl", 0.1, 0.2, 0.3);
  m.SetCylindricalLightsPointAt("cl", 4, 5, 6);
  m.SetCylindricalLightsRadius("cl", 3);
  m.SetCylindricalLightsFalloff("cl", 5);
  m.SetCylindricalLightsTightness("cl", 10);
  m.AddtoScene("cl");
  want += " \n #declare cl =light_source { \n " + Vec(" ", 1, 3, 2) + " \n " + Vec("rgb ", 0.1, 0.2, 0.3) +
          " \n cylinder  \n " + Num("radius ", 3) + " \n " + Num("falloff ", 5) + " \n " + Num("tightness ", 10) +
          " \n" + Vec("point_at ", 4, 6, 5) + " \n}\n";
  want += " \n light_source { \n cl \n" + line + " \n}";

  // Spotlight without an area light: a blank in its place.
  m.CreateSpotlight("s0");
  m.SetSpotlightLocation("s0", 1, 2, 3);
  m.SetSpotlightRGB("s0", 1, 0.5, 0);
  m.AddtoScene("s0");
  want += " \n #declare s0 =light_source { \n " + Vec(" ", 1, 3, 2) + " \n " + Vec("rgb ", 1, 0.5, 0) +
          " \n spotlight \n   \n   \n   \n  \n \n}\n";
  want += " \n light_source { \n s0 \n" + line + " \n}";

  // Jitter alone switches the area light on; the rest prints blanks.
  m.CreateSpotlight("s1");
  EXPECT_EQ(m.SetSpotlightAreaLightJitterOn("s1"), S_OK);
  m.AddtoScene("s1");
  want += " \n #declare s1 =light_source { \n   \n   \n spotlight \n   \n   \n   \n" +
          std::string(" \n  area_light  \n   ,\n   , \n   ,\n    \n   \n jitter  \n   \n  \n ") + " \n \n}\n";
  want += " \n light_source { \n s1 \n" + line + " \n}";

  // Spotlight with everything.
  m.CreateSpotlight("sp");
  m.SetSpotlightLocation("sp", 0, 100, 50);
  m.SetSpotlightRGB("sp", 1, 1, 1);
  m.SetSpotlightPointAt("sp", 0, -5, 0);
  m.SetSpotlightRadius("sp", 6);
  m.SetSpotlightFalloff("sp", 22);
  m.SetSpotlightTightness("sp", 1);
  EXPECT_EQ(m.SetSpotlightAreaLightAXIS1("sp", 6, 0, 1), S_OK);
  EXPECT_EQ(m.SetSpotlightAreaLightAXIS2("sp", 0, 2, 6), S_OK);
  EXPECT_EQ(m.SetSpotlightAreaLightAXIS1Size("sp", 9), S_OK);
  EXPECT_EQ(m.SetSpotlightAreaLightAXIS2Size("sp", -4), S_OK);
  EXPECT_EQ(m.SetSpotlightAreaLightAdaptive("sp", 1), S_OK);
  EXPECT_EQ(m.SetSpotlightAreaLightJitterOn("sp"), S_OK);
  EXPECT_EQ(m.SetSpotlightAreaLightCircularOn("sp"), S_OK);
  EXPECT_EQ(m.SetSpotlightAreaLightOrientOn("sp"), S_OK);
  m.AddtoScene("sp");
  std::string area = " \n  area_light  \n " + Vec(" ", 6, 1, 0) + " ,\n " + Vec(" ", 0, 6, 2) + " , \n " + Cnt(" ", 9) +
                     " ,\n " + Cnt(" ", -4) + "  \n " + Num("adaptive  ", 1) + " \n jitter  \n circular \n orient\n ";
  want += " \n #declare sp =light_source { \n " + Vec(" ", 0, 50, 100) + " \n " + Vec("rgb ", 1, 1, 1) +
          " \n spotlight \n " + Num("radius ", 6) + " \n " + Num("falloff ", 22) + " \n " + Num("tightness ", 1) +
          " \n" + area + " \n" + Vec("point_at ", 0, 0, -5) + "\n}\n";
  want += " \n light_source { \n sp \n" + line + " \n}";

  m.Finish();
  EXPECT_EQ(SceneText(), want + DefaultGlobals());
}

// A texture with every part but the interior.
void AddFullTexture(Maker& m, std::string& want) {
  m.CreateTextures("full");
  m.PigmentInTextureBegin("full");
  m.PigmentInTextureSetRGB("full", 0.5, 0.3, 0.1, 0.25);
  m.PigmentInTextureEnd("full");
  m.NormalInTextureBegin("full");
  EXPECT_EQ(m.NormalSetBumpsizeInTexture("full", 0.5), S_OK);
  m.NormalInTextureEnd("full");
  m.FinishInTextureBegin("full");
  m.FinishInTextureSetAmbient("full", 0.1, 0.2, 0.3);
  m.FinishInTextureSetDiffuse("full", 0.7);
  m.FinishInTextureSetBrilliance("full", 2);
  m.FinishInTextureSetPhong("full", 0.9);
  m.FinishInTextureSetPhong_size("full", 80);
  m.FinishInTextureSetSpecular("full", 0.6);
  m.FinishInTextureSetRoughness("full", 0.005);
  m.FinishInTextureSetMetallic("full", 1);
  m.FinishInTextureSetReflection("full", 0.5, 0.4, 0.3);
  m.FinishInTextureSetReflectionMin("full", 0.1);
  m.FinishInTextureSetReflectionMax("full", 0.8);
  m.FinishInTextureSetReflectionFresnel("full", 1);
  m.FinishInTextureSetReflectionFalloff("full", 2);
  m.FinishInTextureSetReflectionExponent("full", 0.5);
  m.FinishInTextureSetReflectionMetallic("full", 0.25);
  m.FinishInTextureSetCrand("full", 0.01);
  m.FinishInTextureEnd("full");
  ASSERT_EQ(m.SetTextureToObject("full"), S_OK);
  std::string pigment = " \n pigment { \n " + ColF("rgb ", 0.5, 0.3, 0.1, 0.25) + " \n}";
  std::string normal = " \n normal  { \n bump_map  { \n \" \"  \n  " + Num("bump_size ", 0.5) + " \n}\n}";
  std::string reflection = " \n reflection { \n " + Num(" ", 0.1) + " \n " + Num(" ", 0.8) + " \n " +
                           Word("fresnel ", "on") + " \n " + Num("falloff ", 2) + " \n " + Num("exponent ", 0.5) +
                           " \n " + Num("metallic ", 0.25) + " \n}\n";
  std::string finish = " \n finish  { \n " + Vec("ambient rgb ", 0.1, 0.2, 0.3) + " \n " + Num("diffuse ", 0.7) +
                       " \n " + Num("brilliance ", 2) + " \n " + Num("phong ", 0.9) + " \n " + Num("phong_size ", 80) +
                       " \n " + Num("specular ", 0.6) + " \n " + Num("roughness ", 0.005) + " \n " +
                       Num("metallic ", 1) + " \n " + Vec("reflection rgb ", 0.5, 0.4, 0.3) + " \n " + reflection +
                       " \n " + Num("crand ", 0.01) + "  \n conserve_energy \n}\n";
  want += " \n #declare full =texture { \n  " + pigment + normal + finish + " \n}";
}

// A finish with only ambient, ended twice; fresnel with 2 prints "off".
void AddFinishEndedTwice(Maker& m, std::string& want) {
  m.CreateTextures("twice");
  m.FinishInTextureBegin("twice");
  m.FinishInTextureSetAmbient("twice", 0, 0, 0);
  m.FinishInTextureEnd("twice");
  m.FinishInTextureEnd("twice");
  m.SetTextureToObject("twice");
  std::string lean = " \n finish  { \n " + Vec("ambient rgb ", 0, 0, 0) +
                     " \n   \n   \n   \n   \n   \n   \n   \n   \n   \n    \n conserve_energy \n}\n";
  want += " \n #declare twice =texture { \n  " + lean + lean + " \n}";
}

// A pigment and an interior make a material.
void AddGlassMaterial(Maker& m, std::string& want) {
  m.CreateTextures("glass");
  m.PigmentInTextureBegin("glass");
  m.PigmentInTextureSetRGB("glass", 1, 1, 1, 1);
  m.PigmentInTextureEnd("glass");
  m.InteriorInTextureBegin("glass");
  m.InteriorInTextureSetIOR("glass", 1.5);
  m.InteriorInTextureSetCaustics("glass", 0.25);
  m.InteriorInTextureSetDispersion("glass", 1.01);
  m.InteriorInTextureSetFadeDistance("glass", 0.9);
  m.InteriorInTextureSetFadePower("glass", 1001);
  m.InteriorInTextureSetFadeColor("glass", 0.5);
  m.InteriorInTextureEnd("glass");
  m.SetTextureToObject("glass");
  std::string interior = " \n interior { \n " + Num("ior ", 1.5) + " \n " + Num("caustics ", 0.25) + " \n " +
                         Num("dispersion ", 1.01) + " \n " + Num("fade_distance ", 0.9) + " \n " +
                         Num("fade_power ", 1001) + " \n " + Num("fade_color ", 0.5) + " \n}";
  want += " \n #declare glass = material {texture { \n   \n pigment { \n " + ColF("rgb ", 1, 1, 1, 1) + " \n} \n} " +
          interior + "\n}\n";
}

TEST(SceneText, TexturesAndMaterials) {
  Maker m;
  ASSERT_EQ(m.Init(), S_OK);
  std::string want;
  ASSERT_NO_FATAL_FAILURE(AddFullTexture(m, want));
  AddFinishEndedTwice(m, want);
  AddGlassMaterial(m, want);

  // Placed objects carry the reference: "material" for a material.
  m.CreateSphere("s");
  m.AddtoScene("s");
  want += " \n #declare s =sphere { \n   \n  \n}\n";
  want += SolidBlock("s", {" ", " ", " ", " \n material { \n glass   \n}", " ", " "});
  m.SetTextureToObject("full");  // second request: declared already
  want += "\n";
  m.AddtoScene("s");
  want += "\n" + SolidBlock("s", {" ", " ", " ", " \n texture { \n full   \n}", " ", " "});

  m.Finish();
  EXPECT_EQ(SceneText(), want + DefaultGlobals());
}

TEST(SceneText, PhotonsAndGlobalSettings) {
  Maker m;
  ASSERT_EQ(m.Init(), S_OK);
  m.CreatePhotons("ph");
  EXPECT_EQ(m.SetPhotonsReflection("ph", 2), S_OK);
  EXPECT_EQ(m.SetPhotonsRefraction("ph", 1), S_OK);
  EXPECT_EQ(m.SetPhotonsInterior("ph", 1.5), S_OK);
  EXPECT_EQ(m.SetPhotonsToObject("ph"), S_OK);
  EXPECT_EQ(m.AddtoScene("ph"), S_OK);  // not placed on its own
  m.CreateBox("b");
  m.AddtoScene("b");
  std::string photons = " \n  photons \n   { target \n " + Word("reflection ", "off") + " \n " +
                        Word("refraction ", "on") + " \n   \n  \n}\n";
  std::string want = " \n #declare b =box { \n   \n   \n }\n" + SolidBlock("b", {" ", " ", " ", " ", " ", photons});

  EXPECT_EQ(m.GlobalSetPhotonsCount(20000), S_OK);
  EXPECT_EQ(m.GlobalSetGamma(2.2), S_OK);
  EXPECT_EQ(m.Finish(), S_OK);
  want += " \n  global_settings { \n " + Num("assumed_gamma ", 2.2) + " \n " + " \n  photons { \n  \n " +
          Num("count ", 20000) + "\n  \n}\n" + "  \n}";
  EXPECT_EQ(SceneText(), want);

  // All three photon settings.
  m.Init();
  m.GlobalSetPhotonsSpacing(0.02);
  m.GlobalSetPhotonsCount(100);
  m.GlobalSetPhotonsJitter(0.4);
  m.Finish();
  EXPECT_EQ(SceneText(), " \n  global_settings { \n " + Num("assumed_gamma ", 1) + " \n " + " \n  photons { \n " +
                             Num("spacing ", 0.02) + "\n " + Num("count ", 100) + "\n " + Num("jitter ", 0.4) +
                             "\n}\n" + "  \n}");
}

TEST(SceneText, PlacementSlotsMatrixAndDeclarationOnce) {
  Maker m;
  ASSERT_EQ(m.Init(), S_OK);
  m.CreateTextures("t");
  m.PigmentInTextureBegin("t");
  m.PigmentInTextureSetRGB("t", 0, 1, 0, 0);
  m.PigmentInTextureEnd("t");
  m.CreatePhotons("ph");
  m.SetPhotonsCollect("ph", 0);
  m.CreateSphere("s");
  m.SetSphereRadius("s", 1);

  EXPECT_EQ(m.CleanTransition(), S_OK);
  EXPECT_EQ(m.SetTranslate(1, 1, 2, 3), S_OK);
  EXPECT_EQ(m.SetRotate(2, 10, 20, 30), S_OK);
  EXPECT_EQ(m.SetScale(3, 2, 4, 8), S_OK);
  EXPECT_EQ(m.SetTranslate(4, 9, 9, 9), S_OK);  // slot 4 is kept but never written
  EXPECT_EQ(m.SetTextureToObject("t"), S_OK);
  for (int h = 0; h < 4; ++h) {
    for (int v = 0; v < 4; ++v) {
      if (h == 3 && v == 3) continue;
      EXPECT_EQ(m.SetMatrixOnebyOne(h, v, 4 * h + v + 0.5), S_OK);
    }
  }
  EXPECT_EQ(m.SetMatrixOnebyOne(3, 3, 1), S_OK);
  EXPECT_EQ(m.SetMatrixOnebyOne(4, 0, 7), S_FALSE);
  EXPECT_EQ(m.SetMatrixOnebyOne(0, -1, 7), S_FALSE);
  EXPECT_EQ(m.SetPhotonsToObject("ph"), S_OK);

  std::string acc = " ";
  for (int h = 0; h < 4; ++h) {
    for (int v = 0; v < 3; ++v) {
      acc += F(4 * h + v + 0.5) + " " + (v < 2 ? " , " : h < 3 ? ",\n" : " \n");
    }
  }
  std::string matrix = "matrix  < " + acc + " > \n";
  std::string photons = " \n  photons \n   { target \n   \n   \n " + Word("collect ", "off") + " \n  \n}\n";
  std::string block = SolidBlock("s", {Vec("translate", 1, 3, 2), Vec("rotate", 10, 30, 20), Vec("scale ", 2, 8, 4),
                                       " \n texture { \n t   \n}", matrix, photons});

  std::string want = " \n #declare t =texture { \n   \n pigment { \n " + ColF("rgb ", 0, 1, 0, 0) + " \n} \n}";
  m.AddtoScene("s");
  want += " \n #declare s =sphere { \n   \n" + Num(" ", 1) + " \n}\n" + block;
  m.AddtoScene("s");  // declared once, placed twice
  want += "\n" + block;
  EXPECT_EQ(m.SetTranslate(5, 7, 7, 7), S_FALSE);  // no slot changes
  EXPECT_EQ(m.SetScale(0, 7, 7, 7), S_FALSE);
  m.AddtoScene("s");
  want += "\n" + block;

  // After CleanTransition: blank slots and matrix, empty texture and photons.
  m.CleanTransition();
  m.AddtoScene("s");
  want += "\n" + SolidBlock("s", {" ", " ", " ", "", " ", ""});

  // A camera never carries the texture or photons, but does the transforms.
  m.SetTranslate(2, 0, 0, 1);
  m.SetTextureToObject("t");
  want += "\n";
  m.SetPhotonsToObject("ph");
  m.CreateCamera("c");
  m.AddtoScene("c");
  want += " \n #declare c =camera { \n                   \n}";
  want += " \n camera { \n c " + Slots({" ", Vec("translate", 0, 1, 0), " ", " ", " ", " "}) + " \n}";

  m.Finish();
  EXPECT_EQ(SceneText(), want + DefaultGlobals());
}

// A host that sets a global C++ locale with a decimal comma and digit
// grouping must still get numbers the renderer can read.
class CommaDecimals : public std::numpunct<char> {
 protected:
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(SceneText, NumbersIgnoreTheHostLocale) {
  const std::locale before = std::locale::global(std::locale(std::locale::classic(), new CommaDecimals));
  Maker m;
  m.Init();
  m.CreateSpheresweep("sw");
  m.SetSpheresweepCenterAndRadius("sw", 1.5, 2, 1234.5, 0.25);
  m.AddtoScene("sw");
  m.CreateSpotlight("sp");
  m.SetSpotlightAreaLightAXIS1Size("sp", 12345);
  m.AddtoScene("sp");
  m.Finish();
  std::locale::global(before);

  std::string want = " \n #declare sw =sphere_sweep { \n linear_spline  1, \n  " + Vec(" ", 1.5, 1234.5, 2) +
                     " 0.25  \n \n " + Num("tolerance ", 1e-6) + " \n}\n" + SolidBlock("sw");
  want += " \n #declare sp =light_source { \n   \n   \n spotlight \n   \n   \n   \n" +
          std::string(" \n  area_light  \n   ,\n   , \n ") + Cnt(" ", 12345) + " ,\n " + " " + "  \n " + " " + " \n " +
          " " + "  \n " + " " + " \n " + " " + "\n " + " \n \n}\n";
  want += " \n light_source { \n sp \n" + Slots(kInitSlots) + " \n}";
  EXPECT_EQ(SceneText(), want + DefaultGlobals());
}

}  // namespace
