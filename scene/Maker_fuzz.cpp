// Random call sequences on the scene maker with random arguments: ids
// that name nothing or the wrong kind, texts with quotes, %, blanks and
// binary bytes, null texts, huge, negative and non-finite numbers, image
// files that are missing or are folders. No sequence may crash, and none
// may leave anything in the library's folder besides Render/ and
// RenderOut/.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <list>
#include <set>

#include "scene/Maker.h"

namespace {
namespace fs = std::filesystem;

struct Files {
  fs::path bin, picture, folder;
};

const Files& Setup() {
  static const Files files = [] {
    // Beside the run's other scratch files ($TMPDIR).
    std::string pattern = (std::filesystem::temp_directory_path() / "maker-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    const char* bin = std::getenv("FARM_BIN_DIR");
    Files f{bin != nullptr ? fs::path(bin) : fs::path(), fs::path(pattern) / "wood \"q\" 100%.png",
            fs::path(pattern) / "folder.png"};
    std::ofstream(f.picture, std::ios::binary) << "not really a picture";
    fs::create_directories(f.folder);
    return f;
  }();
  return files;
}

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    names.insert(it->path().filename().string());
  }
  return names;
}

// Arguments drawn from the input. Texts stay alive until the next input.
class Args {
 public:
  explicit Args(FuzzedDataProvider& in) : in_(in) {}

  const char* Id() {
    static const char* const kIds[] = {"cam", "ball", "tex", "mesh", "light", "spot", "poly", "ph", "box", "cyl"};
    switch (in_.ConsumeIntegralInRange<int>(0, 7)) {
      case 0: return nullptr;
      case 1: return Keep(in_.ConsumeRandomLengthString(24));
      case 2: return "a\"b%d%s%n\\";
      default: return kIds[in_.ConsumeIntegralInRange<size_t>(0, std::size(kIds) - 1)];
    }
  }

  const char* CameraType() {
    switch (in_.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: return nullptr;
      case 1: return "perspective";
      case 2: return "orthographic";
      default: return Keep(in_.ConsumeRandomLengthString(16));
    }
  }

  const char* FileName() {
    switch (in_.ConsumeIntegralInRange<int>(0, 4)) {
      case 0: return nullptr;
      case 1: return Keep(Setup().picture.string());
      case 2: return Keep(Setup().folder.string());
      case 3: return "/nonexistent/x.jpg";
      default: return Keep(Setup().picture.parent_path().string() + "/" + in_.ConsumeRandomLengthString(12) + ".tga");
    }
  }

  double Number() {
    static const double kSpecial[] = {0.0,
                                      -0.0,
                                      1.0,
                                      -1.0,
                                      1e308,
                                      -1e308,
                                      5e-324,
                                      1e17,
                                      123456789.123456789,
                                      std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity()};
    if (in_.ConsumeBool()) return kSpecial[in_.ConsumeIntegralInRange<size_t>(0, std::size(kSpecial) - 1)];
    double v;
    const auto raw = in_.ConsumeIntegral<std::uint64_t>();
    std::memcpy(&v, &raw, sizeof v);
    return v;
  }

  std::int32_t Int() {
    static const std::int32_t kSpecial[] = {INT_MIN, INT_MAX, -1, 0, 1, 2, 3, 4, 5};
    if (in_.ConsumeBool()) return kSpecial[in_.ConsumeIntegralInRange<size_t>(0, std::size(kSpecial) - 1)];
    return in_.ConsumeIntegral<std::int32_t>();
  }

 private:
  const char* Keep(std::string s) {
    s.erase(std::find(s.begin(), s.end(), '\0'), s.end());
    kept_.push_back(std::move(s));
    return kept_.back().c_str();
  }

  FuzzedDataProvider& in_;
  std::list<std::string> kept_;
};

using Call = HRESULT (*)(Maker&, Args&);
const Call kCalls[] = {
    [](Maker& m, [[maybe_unused]] Args& in) { return m.Init(); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreateCamera(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.Finish(); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.AddtoScene(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetCameraLocation(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetCameraRight(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetCameraUp(in.Id(), in.Number(), in.Number(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetCameraDirection(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetCameraSky(in.Id(), in.Number(), in.Number(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetCameraLookAt(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetCameraAngle(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetCameraAperture(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetCameraType(in.Id(), in.CameraType()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreateSphere(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetSphereCenter(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetSphereRadius(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CleanTransition(); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetTranslate(in.Int(), in.Number(), in.Number(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetMatrixOnebyOne(in.Int(), in.Int(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetRotate(in.Int(), in.Number(), in.Number(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetScale(in.Int(), in.Number(), in.Number(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreatePointLight(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetPointLightLocation(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetPointLightRGB(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreateMesh(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetTextureToMesh(in.Id(), in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreateTriangleInMesh(in.Id(), in.Int()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetTriangleCornerInMesh(in.Id(), in.Int(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetTriangleUVInMesh(in.Id(), in.Int(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetTriangleNormalInMesh(in.Id(), in.Int(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreateTextures(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.PigmentInTextureBegin(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.PigmentInTextureEnd(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.PigmentInTextureSetRGB(in.Id(), in.Number(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.PigmentInTextureSetImage(in.Id(), in.FileName(), in.Number(), in.Int());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.PushTriangleInMesh(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetTextureToTriangleInMesh(in.Id(), in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.NormalInTextureBegin(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.NormalInTextureEnd(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.NormalSetImageInTexture(in.Id(), in.FileName()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.NormalSetBumpsizeInTexture(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureBegin(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureEnd(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.FinishInTextureSetAmbient(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetDiffuse(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetBrilliance(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetPhong(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetPhong_size(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetSpecular(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetRoughness(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetMetallic(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.FinishInTextureSetReflection(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetCrand(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreatePolygon(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.InsertPointToPolygon(in.Id(), in.Number(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreatePhotons(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetPhotonsToObject(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.GlobalSetPhotonsSpacing(in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.GlobalSetPhotonsCount(in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.GlobalSetPhotonsJitter(in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetPhotonsInterior(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetPhotonsReflection(in.Id(), in.Int()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetPhotonsRefraction(in.Id(), in.Int()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetPhotonsCollect(in.Id(), in.Int()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.InteriorInTextureBegin(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.InteriorInTextureEnd(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.InteriorInTextureSetIOR(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.InteriorInTextureSetCaustics(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.InteriorInTextureSetDispersion(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.InteriorInTextureSetFadeDistance(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.InteriorInTextureSetFadePower(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.InteriorInTextureSetFadeColor(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetReflectionMin(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetReflectionMax(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetReflectionFresnel(in.Id(), in.Int()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetReflectionFalloff(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetReflectionExponent(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.FinishInTextureSetReflectionMetallic(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreateCylinder(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetCylinderBasePoint(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetCylinderCapPoint(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetCylinderRadius(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetCylinderIsOpen(in.Id(), in.Int()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreateCone(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetConeBasePoint(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetConeCapPoint(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetConeIsOpen(in.Id(), in.Int()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetConeBasePointRadius(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetConeCapPointRadius(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetTextureToObject(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreatePlane(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetPlaneNormal(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetPlaneDistance(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.GlobalSetGamma(in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreateSpotlight(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetSpotlightLocation(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetSpotlightRGB(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetSpotlightPointAt(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetSpotlightRadius(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetSpotlightFalloff(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetSpotlightTightness(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetSpotlightAreaLightAXIS1(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetSpotlightAreaLightAXIS2(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetSpotlightAreaLightAXIS1Size(in.Id(), in.Int()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetSpotlightAreaLightAXIS2Size(in.Id(), in.Int()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetSpotlightAreaLightAdaptive(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetSpotlightAreaLightJitterOn(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetSpotlightAreaLightCircularOn(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetSpotlightAreaLightOrientOn(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreateBox(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetBoxCorner(in.Id(), in.Number(), in.Number(), in.Number(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreateSpheresweep(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetSpheresweepSweeptype(in.Id(), in.Int()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetSpheresweepCenterAndRadius(in.Id(), in.Number(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetSpheresweepTolerance(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreateParallelLights(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetParallelLightsLocation(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetParallelLightsRGB(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetParallelLightsPointAt(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.CreateCylindricalLights(in.Id()); },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetCylindricalLightsLocation(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetCylindricalLightsRGB(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) {
      return m.SetCylindricalLightsPointAt(in.Id(), in.Number(), in.Number(), in.Number());
    },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetCylindricalLightsRadius(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetCylindricalLightsFalloff(in.Id(), in.Number()); },
    [](Maker& m, [[maybe_unused]] Args& in) { return m.SetCylindricalLightsTightness(in.Id(), in.Number()); },
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::set<std::string> before = Names(Setup().bin);
  FuzzedDataProvider in(data, size);
  Args args(in);
  {
    Maker maker;
    for (int i = 0; i < 48 && in.remaining_bytes() > 0; ++i) {
      const HRESULT hr = kCalls[in.ConsumeIntegralInRange<size_t>(0, std::size(kCalls) - 1)](maker, args);
      if (hr != S_OK && hr != S_FALSE) std::abort();
    }
  }
  std::set<std::string> after = Names(Setup().bin);
  after.erase("Render");
  after.erase("RenderOut");
  std::set<std::string> expected = before;
  expected.erase("Render");
  expected.erase("RenderOut");
  if (after != expected) std::abort();
  return 0;
}
