// Registry rules, texture-part failures, image copies, folders and bad input
// of the scene maker; and a scene holding every kind of object that POV-Ray
// must accept.
#include "scene/Maker.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <memory>
#include <regex>
#include <set>

#include "platform/MessageBox.h"
#include "scene/SceneTestSupport.h"

using namespace scenetest;
namespace fs = std::filesystem;

namespace {

// Collects the message boxes shown while it lives.
class BoxCapture {
 public:
  BoxCapture() {
    previous_ = platform::SetMessageBoxPresenter(
        [this](const std::string& text, const std::string&) { texts.push_back(text); });
  }
  ~BoxCapture() { platform::SetMessageBoxPresenter(previous_); }
  std::vector<std::string> texts;

 private:
  platform::MessageBoxPresenter previous_;
};

std::set<std::string> FilesIn(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    names.insert(it->path().filename().string());
  }
  return names;
}

void WriteFile(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary);
  out << bytes;
}

// The image names the scene text quotes, in order of appearance.
std::vector<std::string> QuotedImageNames(const std::string& scene) {
  std::vector<std::string> names;
  std::regex quoted("\"([0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\.[a-z]*)\"");
  for (std::sregex_iterator it(scene.begin(), scene.end(), quoted), end; it != end; ++it) {
    names.push_back((*it)[1]);
  }
  return names;
}

TEST(MakerRegistry, CreatorsKeepTheFirstObjectAndSettersCheckIdAndKind) {
  Maker m;
  ASSERT_EQ(m.Init(), S_OK);
  EXPECT_EQ(m.CreateSphere("a"), S_OK);
  EXPECT_EQ(m.SetSphereRadius("a", 2), S_OK);
  EXPECT_EQ(m.CreateSphere("a"), S_OK);  // keeps the radius
  EXPECT_EQ(m.CreateCamera("a"), S_OK);  // does not replace the sphere
  EXPECT_EQ(m.SetCameraLocation("a", 1, 2, 3), S_FALSE);
  EXPECT_EQ(m.SetSphereRadius("missing", 1), S_FALSE);
  EXPECT_EQ(m.AddtoScene("missing"), S_OK);

  // Setters of another kind are refused and change nothing.
  m.CreatePointLight("pl");
  m.CreateSpotlight("sp");
  m.CreateTextures("t");
  m.CreateMesh("mesh");
  m.CreatePhotons("ph");
  EXPECT_EQ(m.SetPhotonsInterior("a", 1.5), S_FALSE);
  EXPECT_EQ(m.SetSpotlightAreaLightAXIS1("pl", 1, 0, 0), S_FALSE);
  EXPECT_EQ(m.SetPointLightLocation("sp", 1, 0, 0), S_FALSE);
  EXPECT_EQ(m.SetPlaneDistance("a", 5), S_FALSE);
  EXPECT_EQ(m.SetSpheresweepTolerance("a", 5), S_FALSE);
  EXPECT_EQ(m.SetCylinderRadius("a", 5), S_FALSE);
  EXPECT_EQ(m.PigmentInTextureBegin("a"), S_FALSE);
  EXPECT_EQ(m.SetTextureToObject("a"), S_FALSE);
  EXPECT_EQ(m.SetTextureToMesh("a", "mesh"), S_FALSE);
  EXPECT_EQ(m.SetTextureToMesh("t", "a"), S_FALSE);
  EXPECT_EQ(m.CreateTriangleInMesh("a", 0), S_FALSE);
  EXPECT_EQ(m.InsertPointToPolygon("a", 0, 0), S_FALSE);
  EXPECT_EQ(m.SetPhotonsReflection("t", 1), S_FALSE);
  EXPECT_EQ(m.SetPhotonsToObject("missing"), S_FALSE);

  // Textures and photons blocks are not placed.
  EXPECT_EQ(m.AddtoScene("t"), S_OK);
  EXPECT_EQ(m.AddtoScene("ph"), S_OK);
  EXPECT_EQ(m.AddtoScene("a"), S_OK);
  ASSERT_EQ(m.Finish(), S_OK);
  EXPECT_EQ(SceneText(), " \n #declare a =sphere { \n   \n" + Num(" ", 2) + " \n}\n" + " \n object { \n a \n" +
                             Slots(kInitSlots) + " \n}" + DefaultGlobals());
}

TEST(MakerTextureParts, FailuresShowTheMethodNameAndKeepTheText) {
  BoxCapture boxes;
  Maker m;
  ASSERT_EQ(m.Init(), S_OK);
  m.CreateTextures("t");

  // No current part at all.
  EXPECT_EQ(m.FinishInTextureSetAmbient("t", 1, 1, 1), S_OK);
  EXPECT_EQ(m.PigmentInTextureSetRGB("t", 1, 1, 1, 0), S_FALSE);
  EXPECT_EQ(m.PigmentInTextureEnd("t"), S_FALSE);

  // A pigment is current: every finish, interior and normal setter fails.
  m.PigmentInTextureBegin("t");
  std::vector<std::pair<const char*, std::function<HRESULT()>>> calls = {
      {"NormalSetBumpsizeInTexture", [&] { return m.NormalSetBumpsizeInTexture("t", 1); }},
      {"FinishInTextureSetDiffuse", [&] { return m.FinishInTextureSetDiffuse("t", 1); }},
      {"FinishInTextureSetBrilliance", [&] { return m.FinishInTextureSetBrilliance("t", 1); }},
      {"FinishInTextureSetPhong", [&] { return m.FinishInTextureSetPhong("t", 1); }},
      {"FinishInTextureSetPhong_size", [&] { return m.FinishInTextureSetPhong_size("t", 1); }},
      {"FinishInTextureSetSpecular", [&] { return m.FinishInTextureSetSpecular("t", 1); }},
      {"FinishInTextureSetRoughness", [&] { return m.FinishInTextureSetRoughness("t", 1); }},
      {"FinishInTextureSetMetallic", [&] { return m.FinishInTextureSetMetallic("t", 1); }},
      {"FinishInTextureSetReflection", [&] { return m.FinishInTextureSetReflection("t", 1, 1, 1); }},
      {"FinishInTextureSetCrand", [&] { return m.FinishInTextureSetCrand("t", 1); }},
      {"InteriorInTextureSetIOR", [&] { return m.InteriorInTextureSetIOR("t", 1); }},
      {"InteriorInTextureSetCaustics", [&] { return m.InteriorInTextureSetCaustics("t", 1); }},
      {"InteriorInTextureSetDispersion", [&] { return m.InteriorInTextureSetDispersion("t", 1); }},
      {"InteriorInTextureSetFadeDistance", [&] { return m.InteriorInTextureSetFadeDistance("t", 1); }},
      {"InteriorInTextureSetFadePower", [&] { return m.InteriorInTextureSetFadePower("t", 1); }},
      {"InteriorInTextureSetFadeColor", [&] { return m.InteriorInTextureSetFadeColor("t", 1); }},
      {"FinishInTextureSetReflectionMin", [&] { return m.FinishInTextureSetReflectionMin("t", 1); }},
      {"FinishInTextureSetReflectionMax", [&] { return m.FinishInTextureSetReflectionMax("t", 1); }},
      {"FinishInTextureSetReflectionFresnel", [&] { return m.FinishInTextureSetReflectionFresnel("t", 1); }},
      {"FinishInTextureSetReflectionFalloff", [&] { return m.FinishInTextureSetReflectionFalloff("t", 1); }},
      {"FinishInTextureSetReflectionExponent", [&] { return m.FinishInTextureSetReflectionExponent("t", 1); }},
      {"FinishInTextureSetReflectionMetallic", [&] { return m.FinishInTextureSetReflectionMetallic("t", 1); }},
  };
  std::vector<std::string> want = {"FinishInTextureSetAmbient error"};
  for (auto& [name, call] : calls) {
    EXPECT_EQ(call(), S_OK) << name;
    want.push_back(std::string(name) + " error");
  }
  // The image methods copy first, then fail on the part.
  TmpFolder src;
  WriteFile(src.path() / "img.png", "not really a png");
  m.FinishInTextureBegin("t");
  EXPECT_EQ(m.PigmentInTextureSetImage("t", (src.path() / "img.png").c_str(), 0, 1), S_OK);
  want.push_back("PigmentInTextureSetImage error");
  EXPECT_EQ(m.NormalSetImageInTexture("t", (src.path() / "img.png").c_str()), S_OK);
  want.push_back("NormalSetImageInTexture error");
  EXPECT_EQ(m.PigmentInTextureSetRGB("t", 1, 1, 1, 0), S_FALSE);  // refused without a box
  // Unknown textures are refused without a box.
  EXPECT_EQ(m.FinishInTextureSetDiffuse("missing", 1), S_FALSE);
  EXPECT_EQ(m.PigmentInTextureSetImage("missing", (src.path() / "img.png").c_str(), 0, 1), S_FALSE);
  EXPECT_EQ(boxes.texts, want);

  // Only the finish begun last and ended counts: the unfinished pigment was
  // dropped by the finish's Begin.
  m.FinishInTextureSetDiffuse("t", 0.5);
  EXPECT_EQ(m.FinishInTextureEnd("t"), S_OK);
  EXPECT_EQ(m.SetTextureToObject("t"), S_OK);
  m.Finish();
  EXPECT_EQ(SceneText(), " \n #declare t =texture { \n   \n finish  { \n   \n " + Num("diffuse ", 0.5) +
                             " \n   \n   \n   \n   \n   \n   \n   \n   \n    \n conserve_energy \n}\n"
                             " \n}" +
                             DefaultGlobals());
}

// Where the textures of the test below use the copies `names` (in order of
// appearance in `scene`): pigment with and without uv mapping, bump map,
// capital and jpeg extensions; the refused textures kept a plain pigment.
void ExpectImageReferences(const std::string& scene, const std::vector<std::string>& names) {
  const std::string& wall = names[0];
  EXPECT_NE(scene.find(" \n pigment { \n  uv_mapping image_map{\n png\n\"" + wall + "\"   " +
                       Num(" transmit all ", 0.5) + "\n }  \n}"),
            std::string::npos);
  EXPECT_NE(
      scene.find(" \n pigment { \n  image_map{\n png\n\"" + wall + "\"   " + Num(" transmit all ", 0.5) + "\n }  \n}"),
      std::string::npos);
  EXPECT_NE(scene.find(" \n normal  { \n bump_map  { \npng \"" + wall + "\"  \n    \n}\n}"), std::string::npos);
  EXPECT_NE(scene.find("uv_mapping image_map{\n \n\"" + names[3] + "\""), std::string::npos);
  EXPECT_NE(scene.find("uv_mapping image_map{\n jpeg\n\"" + names[4] + "\""), std::string::npos);
  // The refused textures kept a plain (unset) pigment.
  EXPECT_NE(scene.find(" \n #declare t6 =texture { \n   \n pigment { \n   \n} \n}"), std::string::npos);
}

TEST(MakerImages, SameImageTwiceCapitalExtensionAndFinishLeavesSceneAndImages) {
  BoxCapture boxes;
  TmpFolder src;
  WriteFile(src.path() / "wall.png", "png bytes");
  WriteFile(src.path() / "photo.JPG", "JPG bytes");
  WriteFile(src.path() / "photo.jpg", "jpg bytes");
  fs::create_directories(src.path() / "dir.png");

  // Leftovers of an earlier scene: files go at Init, sub-folders stay.
  const fs::path render = BinDir() / "Render";
  const fs::path renderOut = BinDir() / "RenderOut";
  fs::create_directories(render / "keep");
  fs::create_directories(renderOut);
  WriteFile(render / "stale.txt", "x");
  WriteFile(renderOut / "old.png", "x");

  Maker m;
  ASSERT_EQ(m.Init(), S_OK);
  EXPECT_EQ(FilesIn(render), (std::set<std::string>{"Tessel.pov", "keep"}));
  EXPECT_EQ(FilesIn(renderOut), std::set<std::string>{});
  fs::remove_all(render / "keep");

  auto imageTexture = [&](const char* id, const fs::path& file, bool uv) {
    m.CreateTextures(id);
    m.PigmentInTextureBegin(id);
    HRESULT hr = m.PigmentInTextureSetImage(id, file.c_str(), 0.5, uv ? 1 : 0);
    m.PigmentInTextureEnd(id);
    m.SetTextureToObject(id);
    return hr;
  };
  EXPECT_EQ(imageTexture("t1", src.path() / "wall.png", true), S_OK);
  EXPECT_EQ(imageTexture("t2", src.path() / "wall.png", false), S_OK);
  m.CreateTextures("t3");
  m.NormalInTextureBegin("t3");
  EXPECT_EQ(m.NormalSetImageInTexture("t3", (src.path() / "wall.png").c_str()), S_OK);
  m.NormalInTextureEnd("t3");
  m.SetTextureToObject("t3");
  EXPECT_EQ(imageTexture("t4", src.path() / "photo.JPG", true), S_OK);
  EXPECT_EQ(imageTexture("t5", src.path() / "photo.jpg", true), S_OK);
  // A missing file or a folder is refused quietly and leaves the part as is.
  EXPECT_EQ(imageTexture("t6", src.path() / "missing.png", true), S_FALSE);
  EXPECT_EQ(imageTexture("t7", src.path() / "dir.png", true), S_FALSE);
  EXPECT_EQ(m.PigmentInTextureSetImage("t1", nullptr, 0, 0), S_FALSE);
  EXPECT_EQ(m.Finish(), S_OK);
  EXPECT_TRUE(boxes.texts.empty());

  const std::string scene = SceneText();
  std::vector<std::string> names = QuotedImageNames(scene);
  ASSERT_EQ(names.size(), 5u) << scene;
  EXPECT_EQ(names[0], names[1]);  // one copy for one source path
  EXPECT_EQ(names[0], names[2]);
  EXPECT_EQ(names[0].substr(36), ".png");
  EXPECT_EQ(names[3].substr(36), ".");     // capital extension: no type
  EXPECT_EQ(names[4].substr(36), ".jpg");  // jpeg, named .jpg
  EXPECT_NE(names[3].substr(0, 36), names[4].substr(0, 36));

  ExpectImageReferences(scene, names);
  std::string wall = names[0];

  // After Finish the source folder holds the scene and the images only.
  EXPECT_EQ(FilesIn(render), (std::set<std::string>{"Tessel.pov", names[0], names[3], names[4]}));
  EXPECT_EQ(FilesIn(renderOut), std::set<std::string>{});
  EXPECT_EQ(ReadFile(render / names[0]), "png bytes");
  EXPECT_EQ(ReadFile(render / names[3]), "JPG bytes");
  EXPECT_EQ(ReadFile(render / names[4]), "jpg bytes");

  // A new scene in the same Maker keeps the name for the same source path.
  ASSERT_EQ(m.Init(), S_OK);
  EXPECT_EQ(imageTexture("again", src.path() / "wall.png", false), S_OK);
  m.Finish();
  EXPECT_EQ(QuotedImageNames(SceneText()), std::vector<std::string>{wall});
  EXPECT_EQ(FilesIn(render), (std::set<std::string>{"Tessel.pov", wall}));
}

// Points TMPDIR at a folder while it lives.
class TmpDirOverride {
 public:
  explicit TmpDirOverride(const fs::path& dir) {
    const char* old = std::getenv("TMPDIR");
    had_ = old != nullptr;
    if (had_) saved_ = old;
    setenv("TMPDIR", dir.c_str(), 1);
  }
  ~TmpDirOverride() {
    if (had_) {
      setenv("TMPDIR", saved_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

 private:
  bool had_ = false;
  std::string saved_;
};

TEST(MakerBadInput, BeforeInitTheTextGoesToTheDebugFile) {
  TmpFolder tmp;
  auto tmpdir = std::make_unique<TmpDirOverride>(tmp.path());
  TmpFolder src;
  WriteFile(src.path() / "img.png", "bytes");

  const fs::path render = BinDir() / "Render";
  fs::create_directories(render);
  WriteFile(render / "Tessel.pov", "earlier scene");
  const std::set<std::string> renderBefore = FilesIn(render);
  {
    // Before Init the text goes to the debug file and no image is copied.
    Maker m;
    EXPECT_EQ(m.CreateSphere("s"), S_OK);
    EXPECT_EQ(m.AddtoScene("s"), S_OK);
    m.CreateTextures("t");
    m.PigmentInTextureBegin("t");
    EXPECT_EQ(m.PigmentInTextureSetImage("t", (src.path() / "img.png").c_str(), 0, 0), S_FALSE);
    EXPECT_EQ(m.Finish(), S_OK);
    EXPECT_EQ(m.AddtoScene("s"), S_OK);  // after Finish: nothing more is written
  }
  EXPECT_EQ(ReadFile(tmp.path() / "qzt.pov"), " \n #declare s =sphere { \n   \n  \n}\n" +
                                                  std::string(" \n object { \n s \n") + Slots(kInitSlots) + " \n}" +
                                                  DefaultGlobals());
  EXPECT_EQ(FilesIn(render), renderBefore);
  EXPECT_EQ(ReadFile(render / "Tessel.pov"), "earlier scene");
  tmpdir.reset();
}

TEST(MakerBadInput, NullsLongIdsAndOutOfRange) {
  BoxCapture boxes;
  Maker m;
  ASSERT_EQ(m.Init(), S_OK);
  // Null texts are refused everywhere.
  const char* n = nullptr;
  m.CreateTextures("t");
  m.CreateMesh("mesh");
  EXPECT_EQ(m.CreateSphere(n), S_FALSE);
  EXPECT_EQ(m.AddtoScene(n), S_FALSE);
  EXPECT_EQ(m.SetSphereRadius(n, 1), S_FALSE);
  EXPECT_EQ(m.CreateCamera("c"), S_OK);
  EXPECT_EQ(m.SetCameraType("c", n), S_FALSE);
  EXPECT_EQ(m.SetTextureToMesh(n, "mesh"), S_FALSE);
  EXPECT_EQ(m.SetTextureToMesh("t", n), S_FALSE);
  EXPECT_EQ(m.SetTextureToTriangleInMesh(n, "t"), S_FALSE);
  EXPECT_EQ(m.SetTextureToTriangleInMesh("mesh", n), S_FALSE);
  EXPECT_EQ(m.PigmentInTextureSetImage("t", n, 0, 0), S_FALSE);
  EXPECT_EQ(m.NormalSetImageInTexture("t", n), S_FALSE);
  EXPECT_EQ(m.FinishInTextureSetAmbient(n, 0, 0, 0), S_FALSE);
  EXPECT_EQ(m.SetTextureToObject(n), S_FALSE);
  EXPECT_EQ(m.SetPhotonsToObject(n), S_FALSE);
  EXPECT_EQ(m.InsertPointToPolygon(n, 0, 0), S_FALSE);
  EXPECT_TRUE(boxes.texts.empty());

  // Out-of-range indexes.
  EXPECT_EQ(m.SetMatrixOnebyOne(INT_MIN, 0, 1), S_FALSE);
  EXPECT_EQ(m.SetMatrixOnebyOne(0, INT_MAX, 1), S_FALSE);
  EXPECT_EQ(m.SetTranslate(INT_MIN, 1, 1, 1), S_FALSE);
  EXPECT_EQ(m.CreateTriangleInMesh("mesh", -1), S_FALSE);
  EXPECT_EQ(m.SetTriangleUVInMesh("mesh", 1, 0, 0), S_FALSE);  // no triangle yet
  m.CreateTriangleInMesh("mesh", 0);
  EXPECT_EQ(m.SetTriangleCornerInMesh("mesh", INT_MIN, 0, 0, 0), S_FALSE);
  EXPECT_EQ(m.SetTriangleUVInMesh("mesh", INT_MAX, 0, 0), S_FALSE);

  // Very long ids and ids with format characters are written verbatim.
  const std::string longId(1 << 20, 'x');
  const std::string oddId = "a%s%d%%%30.17f\xE4\xBE\x8B";
  EXPECT_EQ(m.CreateSphere(longId.c_str()), S_OK);
  EXPECT_EQ(m.SetSphereRadius(longId.c_str(), 1), S_OK);
  EXPECT_EQ(m.CreateSphere(oddId.c_str()), S_OK);
  EXPECT_EQ(m.SetSphereRadius(oddId.c_str(), NAN), S_OK);
  m.CleanTransition();
  EXPECT_EQ(m.AddtoScene(longId.c_str()), S_OK);
  EXPECT_EQ(m.AddtoScene(oddId.c_str()), S_OK);

  // A global settings key taken by another object: the global calls are
  // refused and Finish still writes a global settings block.
  EXPECT_EQ(m.CreateSphere("myGlobalSeting"), S_OK);
  EXPECT_EQ(m.GlobalSetGamma(2), S_FALSE);
  EXPECT_EQ(m.Finish(), S_OK);
  const std::string scene = SceneText();
  EXPECT_NE(scene.find(" \n #declare " + longId + " =sphere { \n   \n" + Num(" ", 1) + " \n}\n" + " \n object { \n " +
                       longId + " \n"),
            std::string::npos);
  EXPECT_NE(scene.find(" \n #declare " + oddId + " =sphere { \n "), std::string::npos);
  EXPECT_NE(scene.find(" \n object { \n " + oddId + " \n" + Slots({" ", " ", " ", "", " ", ""}) + " \n}"),
            std::string::npos);
  EXPECT_EQ(scene.substr(scene.size() - DefaultGlobals().size()), DefaultGlobals());
}

// Pieces of the scene below, one kind of element each.
void AddEveryLight(Maker& m) {
  m.CreatePointLight("pl");
  m.SetPointLightLocation("pl", 5, -10, 10);
  m.SetPointLightRGB("pl", 0.5, 0.5, 0.5);
  m.AddtoScene("pl");
  m.CreateParallelLights("par");
  m.SetParallelLightsLocation("par", 0, -10, 10);
  m.SetParallelLightsRGB("par", 0.2, 0.2, 0.2);
  m.SetParallelLightsPointAt("par", 0, 0, 0);
  m.AddtoScene("par");
  m.CreateCylindricalLights("cyl");
  m.SetCylindricalLightsLocation("cyl", 0, 0, 10);
  m.SetCylindricalLightsRGB("cyl", 0.3, 0.3, 0.3);
  m.SetCylindricalLightsPointAt("cyl", 0, 0, 0);
  m.SetCylindricalLightsRadius("cyl", 3);
  m.SetCylindricalLightsFalloff("cyl", 5);
  m.SetCylindricalLightsTightness("cyl", 10);
  m.AddtoScene("cyl");
  m.CreateSpotlight("spot");
  m.SetSpotlightLocation("spot", -5, -5, 10);
  m.SetSpotlightRGB("spot", 1, 1, 1);
  m.SetSpotlightPointAt("spot", 0, 0, 0);
  m.SetSpotlightRadius("spot", 10);
  m.SetSpotlightFalloff("spot", 20);
  m.SetSpotlightTightness("spot", 1);
  m.SetSpotlightAreaLightAXIS1("spot", 1, 0, 0);
  m.SetSpotlightAreaLightAXIS2("spot", 0, 1, 0);
  m.SetSpotlightAreaLightAXIS1Size("spot", 2);
  m.SetSpotlightAreaLightAXIS2Size("spot", 2);
  m.SetSpotlightAreaLightAdaptive("spot", 0);
  m.SetSpotlightAreaLightJitterOn("spot");
  m.SetSpotlightAreaLightCircularOn("spot");
  m.SetSpotlightAreaLightOrientOn("spot");
  m.AddtoScene("spot");
}

void AddEveryTexture(Maker& m, const std::string& tile) {
  m.CreateTextures("img");
  m.PigmentInTextureBegin("img");
  ASSERT_EQ(m.PigmentInTextureSetImage("img", tile.c_str(), 0, 0), S_OK);
  m.PigmentInTextureEnd("img");
  m.NormalInTextureBegin("img");
  ASSERT_EQ(m.NormalSetImageInTexture("img", tile.c_str()), S_OK);
  m.NormalSetBumpsizeInTexture("img", 0.5);
  m.NormalInTextureEnd("img");
  m.FinishInTextureBegin("img");
  m.FinishInTextureSetAmbient("img", 0.1, 0.1, 0.1);
  m.FinishInTextureSetDiffuse("img", 0.7);
  m.FinishInTextureSetBrilliance("img", 1);
  m.FinishInTextureSetPhong("img", 0.5);
  m.FinishInTextureSetPhong_size("img", 40);
  m.FinishInTextureSetSpecular("img", 0.2);
  m.FinishInTextureSetRoughness("img", 0.05);
  m.FinishInTextureSetMetallic("img", 0.5);
  m.FinishInTextureSetCrand("img", 0.01);
  m.FinishInTextureEnd("img");
  m.CreateTextures("glass");
  m.PigmentInTextureBegin("glass");
  m.PigmentInTextureSetRGB("glass", 1, 1, 1, 0.9);
  m.PigmentInTextureEnd("glass");
  m.FinishInTextureBegin("glass");
  m.FinishInTextureSetReflectionMin("glass", 0.1);
  m.FinishInTextureSetReflectionMax("glass", 0.8);
  m.FinishInTextureSetReflectionFresnel("glass", 1);
  m.FinishInTextureSetReflectionFalloff("glass", 2);
  m.FinishInTextureSetReflectionExponent("glass", 1);
  m.FinishInTextureSetReflectionMetallic("glass", 0);
  m.FinishInTextureEnd("glass");
  m.InteriorInTextureBegin("glass");
  m.InteriorInTextureSetIOR("glass", 1.5);
  m.InteriorInTextureSetCaustics("glass", 0.5);
  m.InteriorInTextureSetDispersion("glass", 1.01);
  m.InteriorInTextureSetFadeDistance("glass", 1);
  m.InteriorInTextureSetFadePower("glass", 2);
  m.InteriorInTextureSetFadeColor("glass", 0.5);
  m.InteriorInTextureEnd("glass");
  m.CreateTextures("uvtex");
  m.PigmentInTextureBegin("uvtex");
  m.PigmentInTextureSetImage("uvtex", tile.c_str(), 0, 1);
  m.PigmentInTextureEnd("uvtex");
  m.CreatePhotons("ph");
  m.SetPhotonsReflection("ph", 1);
  m.SetPhotonsRefraction("ph", 1);
  m.SetPhotonsCollect("ph", 0);
}

void AddSolids(Maker& m) {
  m.CreateSphere("ball");
  m.SetSphereCenter("ball", -3, 0, 1);
  m.SetSphereRadius("ball", 1);
  m.CleanTransition();
  m.SetTextureToObject("glass");
  m.SetPhotonsToObject("ph");
  m.AddtoScene("ball");
  m.CleanTransition();
  m.SetTextureToObject("img");
  m.CreateCylinder("cy");
  m.SetCylinderBasePoint("cy", 0, 0, 0);
  m.SetCylinderCapPoint("cy", 0, 0, 2);
  m.SetCylinderRadius("cy", 0.5);
  m.SetCylinderIsOpen("cy", 0);
  m.AddtoScene("cy");
  m.CreateCone("co");
  m.SetConeBasePoint("co", 2, 0, 0);
  m.SetConeCapPoint("co", 2, 0, 2);
  m.SetConeBasePointRadius("co", 1);
  m.SetConeCapPointRadius("co", 0.2);
  m.SetConeIsOpen("co", 1);
  m.AddtoScene("co");
  m.CreateBox("bx");
  m.SetBoxCorner("bx", 3, -1, 0, 4, 0, 1);
  m.SetRotate(1, 0, 0, 15);
  m.SetScale(2, 1, 1, 1.5);
  m.SetTranslate(3, 0, 0.5, 0);
  m.AddtoScene("bx");
}

void AddSweepAndPolygon(Maker& m) {
  m.CleanTransition();
  m.SetTextureToObject("img");
  m.CreateSpheresweep("sw");
  m.SetSpheresweepSweeptype("sw", 3);
  m.SetSpheresweepCenterAndRadius("sw", -4, 2, 0, 0.3);
  m.SetSpheresweepCenterAndRadius("sw", -3, 2, 1, 0.3);
  m.SetSpheresweepCenterAndRadius("sw", -2, 2, 0, 0.3);
  m.SetSpheresweepCenterAndRadius("sw", -1, 2, 1, 0.3);
  m.AddtoScene("sw");
  m.CreatePolygon("pg");
  m.InsertPointToPolygon("pg", 0, 0);
  m.InsertPointToPolygon("pg", 1, 0);
  m.InsertPointToPolygon("pg", 1, 1);
  m.InsertPointToPolygon("pg", 0, 0);
  m.SetRotate(1, 90, 0, 0);
  m.SetTranslate(2, 1, -2, 2);
  m.AddtoScene("pg");
}

// A mesh placed through a matrix, with every kind of triangle.
void AddMesh(Maker& m) {
  m.CleanTransition();
  for (int h = 0; h < 4; ++h) {
    for (int v = 0; v < 4; ++v) m.SetMatrixOnebyOne(h, v, h == v ? 1 : (h == 3 && v == 0 ? 0.5 : 0));
  }
  m.CreateMesh("wall");
  m.SetTextureToMesh("img", "wall");
  m.CreateTriangleInMesh("wall", 0);
  m.SetTriangleCornerInMesh("wall", 1, -1, 3, 0);
  m.SetTriangleCornerInMesh("wall", 2, 1, 3, 0);
  m.SetTriangleCornerInMesh("wall", 3, 0, 3, 2);
  m.PushTriangleInMesh("wall");
  m.CreateTriangleInMesh("wall", 0);
  m.SetTriangleCornerInMesh("wall", 1, 1, 3, 0);
  m.SetTriangleCornerInMesh("wall", 2, 3, 3, 0);
  m.SetTriangleCornerInMesh("wall", 3, 2, 3, 2);
  m.SetTriangleUVInMesh("wall", 1, 0, 0);
  m.SetTriangleUVInMesh("wall", 2, 1, 0);
  m.SetTriangleUVInMesh("wall", 3, 0.5, 1);
  m.SetTextureToTriangleInMesh("wall", "uvtex");
  m.PushTriangleInMesh("wall");
  m.CreateTriangleInMesh("wall", 1);
  m.SetTriangleCornerInMesh("wall", 1, -3, 3, 0);
  m.SetTriangleCornerInMesh("wall", 2, -1, 3, 0);
  m.SetTriangleCornerInMesh("wall", 3, -2, 3, 2);
  m.SetTriangleNormalInMesh("wall", 1, -1, -1, 0);
  m.SetTriangleNormalInMesh("wall", 2, 1, -1, 0);
  m.SetTriangleNormalInMesh("wall", 3, 0, -1, 1);
  m.PushTriangleInMesh("wall");
  m.CreateTriangleInMesh("wall", 1);
  m.SetTriangleCornerInMesh("wall", 1, 3, 3, 0);
  m.SetTriangleCornerInMesh("wall", 2, 5, 3, 0);
  m.SetTriangleCornerInMesh("wall", 3, 4, 3, 2);
  m.SetTriangleNormalInMesh("wall", 1, -1, -1, 0);
  m.SetTriangleNormalInMesh("wall", 2, 1, -1, 0);
  m.SetTriangleNormalInMesh("wall", 3, 0, -1, 1);
  m.SetTriangleUVInMesh("wall", 1, 0, 0);
  m.SetTriangleUVInMesh("wall", 2, 1, 0);
  m.SetTriangleUVInMesh("wall", 3, 0.5, 1);
  m.PushTriangleInMesh("wall");
  m.AddtoScene("wall");
}

void AddGround(Maker& m) {
  m.CleanTransition();
  m.SetTextureToObject("img");
  m.CreatePlane("ground");
  m.SetPlaneNormal("ground", 0, 0, 1);
  m.SetPlaneDistance("ground", 0);
  m.AddtoScene("ground");
}

TEST(MakerScene, EveryKindOfObjectRendersInPovray) {
  TmpFolder src;
  // A 2x2 binary PPM for the image map and the bump map.
  WriteFile(src.path() / "tile.ppm",
            std::string("P6\n2 2\n255\n") + std::string("\xff\x00\x00\x00\xff\x00\x00\x00\xff\xff\xff\xff", 12));
  const std::string tile = (src.path() / "tile.ppm").string();

  Maker m;
  ASSERT_EQ(m.Init(), S_OK);
  m.GlobalSetPhotonsCount(2000);
  m.CreateCamera("cam");
  m.SetCameraType("cam", "perspective");
  m.SetCameraLocation("cam", 0, -12, 5);
  m.SetCameraLookAt("cam", 0, 0, 1);
  m.SetCameraAngle("cam", 60);
  m.AddtoScene("cam");

  AddEveryLight(m);
  ASSERT_NO_FATAL_FAILURE(AddEveryTexture(m, tile));
  AddSolids(m);
  AddSweepAndPolygon(m);
  AddMesh(m);
  AddGround(m);
  ASSERT_EQ(m.Finish(), S_OK);

  TmpFolder out;
  RenderResult r = RenderScene(BinDir() / "Render", out.path(), 48, 36);
  EXPECT_EQ(r.status, 0) << r.log;
  EXPECT_EQ(r.log.find("Parse Error"), std::string::npos) << r.log;
  std::string why;
  EXPECT_TRUE(HasSeveralColours(r.picture, 48, 36, &why)) << why << "\n" << r.log;
}

}  // namespace
