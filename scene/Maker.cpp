#include "scene/Maker.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "scene/Camera.h"
#include "scene/GlobalSettings.h"
#include "scene/ImageStore.h"
#include "scene/Lights.h"
#include "scene/Mesh.h"
#include "scene/Photons.h"
#include "scene/PlacementState.h"
#include "scene/SceneFile.h"
#include "scene/Solids.h"
#include "scene/Texture.h"
#include "scene/WorkFolder.h"

using namespace scene;

namespace {

// Methods never let an exception reach the host: whatever goes wrong inside
// (memory, the file system) becomes a refusal.
template <class F>
HRESULT Guard(F f) noexcept {
  try {
    return f();
  } catch (...) {
    return S_FALSE;
  }
}

void ReportPartError(const char* method) { platform::MessageBox(std::string(method) + " error"); }

}  // namespace

class Maker::Impl {
 public:
  Impl() { file.Open(platform::TempFolder() / "qzt.pov"); }

  SceneObject* FindAny(const char* id) {
    if (id == nullptr) return nullptr;
    auto it = registry.find(id);
    return it == registry.end() ? nullptr : it->second.get();
  }

  template <class T>
  T* Find(const char* id) {
    return dynamic_cast<T*>(FindAny(id));
  }

  template <class T>
  HRESULT Create(const char* id) {
    if (id == nullptr) return S_FALSE;
    auto [it, fresh] = registry.try_emplace(id);
    if (fresh) it->second = std::make_unique<T>(id);
    return S_OK;
  }

  // Applies `f` to the object of kind T named `id`. `f` returns nothing, or
  // false to refuse the value.
  template <class T, class F>
  HRESULT Set(const char* id, F f) {
    T* obj = Find<T>(id);
    if (obj == nullptr) return S_FALSE;
    if constexpr (std::is_same_v<decltype(f(*obj)), bool>) {
      return f(*obj) ? S_OK : S_FALSE;
    } else {
      f(*obj);
      return S_OK;
    }
  }

  // A setter on the current part of a texture; a missing or other part is
  // reported with the method's message box.
  template <class Part, class F>
  HRESULT SetPart(const char* id, const char* method, F f) {
    Texture* t = Find<Texture>(id);
    if (t == nullptr) return S_FALSE;
    Part* part = dynamic_cast<Part*>(t->current());
    if (part == nullptr) {
      ReportPartError(method);
      return S_OK;
    }
    f(*part);
    return S_OK;
  }

  HRESULT Begin(const char* id, PartKind kind) {
    return Set<Texture>(id, [&](Texture& t) { t.Begin(kind); });
  }

  HRESULT End(const char* id) {
    return Set<Texture>(id, [&](Texture& t) { return t.End(); });
  }

  // The mesh's triangle being built.
  Triangle* CurrentTriangle(const char* meshid) {
    Mesh* mesh = Find<Mesh>(meshid);
    return mesh == nullptr ? nullptr : mesh->current();
  }

  // Writes the texture's declaration (once) and returns its reference.
  std::string UseTexture(Texture& t) {
    file.Write(t.DeclarationText());
    return t.ReferenceText();
  }

  // Null when the key is taken by an object of another kind.
  GlobalSettings* Globals() {
    auto [it, fresh] = registry.try_emplace(kGlobalSettingsId);
    if (fresh) it->second = std::make_unique<GlobalSettings>();
    return dynamic_cast<GlobalSettings*>(it->second.get());
  }

  template <class F>
  HRESULT SetGlobal(F f) {
    GlobalSettings* g = Globals();
    if (g == nullptr) return S_FALSE;
    f(*g);
    return S_OK;
  }

  // Images go into the source folder only, which exists after Init.
  std::optional<ImageCopy> CopyImage(const char* filename) {
    if (filename == nullptr || sourceFolder.empty()) return std::nullopt;
    return images.Copy(filename, sourceFolder);
  }

  HRESULT Transform(TransformKind kind, std::int32_t index, double x, double y, double z) {
    return state.SetTransform(kind, index, x, z, y) ? S_OK : S_FALSE;
  }

  std::map<std::string, std::unique_ptr<SceneObject>> registry;
  PlacementState state;
  ImageStore images;
  std::filesystem::path sourceFolder;  // empty until Init finds the work folder
  SceneFile file;
};

Maker::Maker() : impl_(std::make_unique<Impl>()) {}
Maker::~Maker() = default;

HRESULT Maker::Init() {
  return Guard([&] {
    Impl& m = *impl_;
    m.state.ResetForNewScene();
    WorkFolder work = WorkFolder::OfLibrary();
    if (work.root().empty()) {
      // Never fall back to the current directory.
      m.file.Close();
      m.sourceFolder.clear();
    } else {
      work.Prepare();
      m.sourceFolder = work.source();
      m.file.Open(work.scene_file());
    }
    m.registry.clear();
    return S_OK;
  });
}

HRESULT Maker::CreateCamera(const char* id) {
  return Guard([&] { return impl_->Create<Camera>(id); });
}

HRESULT Maker::Finish() {
  return Guard([&] {
    GlobalSettings* g = impl_->Globals();
    impl_->file.Write(g != nullptr ? g->Text() : GlobalSettings().Text());
    impl_->file.Close();
    return S_OK;
  });
}

HRESULT Maker::AddtoScene(const char* id) {
  return Guard([&] {
    if (id == nullptr) return S_FALSE;
    SceneObject* obj = impl_->FindAny(id);
    if (obj == nullptr || !obj->placeable()) return S_OK;
    impl_->file.Write(obj->DeclarationText());
    impl_->file.Write(obj->ReferenceText(impl_->state.Slots()));
    return S_OK;
  });
}

#define CAMERA_VECTOR(Method, member)                                                                \
  HRESULT Maker::Method(const char* id, double x, double y, double z) {                              \
    return Guard([&] { return impl_->Set<Camera>(id, [&](Camera& c) { c.member.Set(x, z, y); }); }); \
  }
CAMERA_VECTOR(SetCameraLocation, location)
CAMERA_VECTOR(SetCameraRight, right)
CAMERA_VECTOR(SetCameraUp, up)
CAMERA_VECTOR(SetCameraDirection, direction)
CAMERA_VECTOR(SetCameraSky, sky)
CAMERA_VECTOR(SetCameraLookAt, look_at)
#undef CAMERA_VECTOR

HRESULT Maker::SetCameraAngle(const char* id, double angle) {
  return Guard([&] { return impl_->Set<Camera>(id, [&](Camera& c) { c.angle.Set(angle); }); });
}

HRESULT Maker::SetCameraAperture(const char* id, double aperture) {
  return Guard([&] { return impl_->Set<Camera>(id, [&](Camera& c) { c.aperture.Set(aperture); }); });
}

HRESULT Maker::SetCameraType(const char* id, const char* cameratype) {
  return Guard([&] {
    if (cameratype == nullptr) return S_FALSE;
    return impl_->Set<Camera>(id, [&](Camera& c) { c.SetType(cameratype); });
  });
}

HRESULT Maker::CreateSphere(const char* id) {
  return Guard([&] { return impl_->Create<Sphere>(id); });
}

HRESULT Maker::SetSphereCenter(const char* id, double x, double y, double z) {
  return Guard([&] { return impl_->Set<Sphere>(id, [&](Sphere& s) { s.center.Set(x, z, y); }); });
}

HRESULT Maker::SetSphereRadius(const char* id, double r) {
  return Guard([&] { return impl_->Set<Sphere>(id, [&](Sphere& s) { s.radius.Set(r); }); });
}

HRESULT Maker::CleanTransition() {
  return Guard([&] {
    impl_->state.CleanTransition();
    return S_OK;
  });
}

HRESULT Maker::SetTranslate(std::int32_t index, double x, double y, double z) {
  return Guard([&] { return impl_->Transform(TransformKind::kTranslate, index, x, y, z); });
}

HRESULT Maker::SetMatrixOnebyOne(std::int32_t h, std::int32_t v, double value) {
  return Guard([&] { return impl_->state.SetMatrixValue(h, v, value) ? S_OK : S_FALSE; });
}

HRESULT Maker::SetRotate(std::int32_t index, double x, double y, double z) {
  return Guard([&] { return impl_->Transform(TransformKind::kRotate, index, x, y, z); });
}

HRESULT Maker::SetScale(std::int32_t index, double x, double y, double z) {
  return Guard([&] { return impl_->Transform(TransformKind::kScale, index, x, y, z); });
}

HRESULT Maker::CreatePointLight(const char* id) {
  return Guard([&] { return impl_->Create<PointLight>(id); });
}

HRESULT Maker::SetPointLightLocation(const char* id, double x, double y, double z) {
  return Guard([&] { return impl_->Set<PointLight>(id, [&](PointLight& l) { l.location.Set(x, z, y); }); });
}

HRESULT Maker::SetPointLightRGB(const char* id, double r, double g, double b) {
  return Guard([&] { return impl_->Set<PointLight>(id, [&](PointLight& l) { l.color.Set(r, g, b); }); });
}

HRESULT Maker::CreateMesh(const char* id) {
  return Guard([&] { return impl_->Create<Mesh>(id); });
}

HRESULT Maker::SetTextureToMesh(const char* Textureid, const char* meshid) {
  return Guard([&] {
    Texture* t = impl_->Find<Texture>(Textureid);
    Mesh* mesh = impl_->Find<Mesh>(meshid);
    if (t == nullptr || mesh == nullptr) return S_FALSE;
    mesh->texture = impl_->UseTexture(*t);
    return S_OK;
  });
}

HRESULT Maker::CreateTriangleInMesh(const char* meshid, std::int32_t triangletype) {
  return Guard([&] { return impl_->Set<Mesh>(meshid, [&](Mesh& m) { return m.CreateTriangle(triangletype); }); });
}

HRESULT Maker::SetTriangleCornerInMesh(const char* meshid, std::int32_t index, double x, double y, double z) {
  return Guard([&] {
    Triangle* t = impl_->CurrentTriangle(meshid);
    return t != nullptr && t->SetCorner(index, x, z, y) ? S_OK : S_FALSE;
  });
}

HRESULT Maker::SetTriangleUVInMesh(const char* meshid, std::int32_t index, double u, double v) {
  return Guard([&] {
    Triangle* t = impl_->CurrentTriangle(meshid);
    return t != nullptr && t->SetUV(index, u, v) ? S_OK : S_FALSE;
  });
}

HRESULT Maker::SetTriangleNormalInMesh(const char* meshid, std::int32_t index, double x, double y, double z) {
  return Guard([&] {
    Triangle* t = impl_->CurrentTriangle(meshid);
    return t != nullptr && t->SetNormal(index, x, z, y) ? S_OK : S_FALSE;
  });
}

HRESULT Maker::CreateTextures(const char* id) {
  return Guard([&] { return impl_->Create<Texture>(id); });
}

HRESULT Maker::PigmentInTextureBegin(const char* Textureid) {
  return Guard([&] { return impl_->Begin(Textureid, PartKind::kPigment); });
}

HRESULT Maker::PigmentInTextureEnd(const char* Textureid) {
  return Guard([&] { return impl_->End(Textureid); });
}

HRESULT Maker::PigmentInTextureSetRGB(const char* Textureid, double r, double g, double b, double transparent) {
  return Guard([&] {
    Texture* t = impl_->Find<Texture>(Textureid);
    if (t == nullptr) return S_FALSE;
    auto* pigment = dynamic_cast<PigmentPart*>(t->current());
    if (pigment == nullptr) return S_FALSE;
    pigment->color.Set(r, g, b, transparent);
    return S_OK;
  });
}

HRESULT Maker::PigmentInTextureSetImage(const char* Textureid, const char* filename, double transparent,
                                        std::int32_t hasUV) {
  const char* method = __func__;
  return Guard([&] {
    Texture* t = impl_->Find<Texture>(Textureid);
    if (t == nullptr) return S_FALSE;
    auto copy = impl_->CopyImage(filename);
    if (!copy) return S_FALSE;
    return impl_->SetPart<PigmentPart>(
        Textureid, method, [&](PigmentPart& p) { p.SetImage(copy->type, copy->name, transparent, hasUV != 0); });
  });
}

HRESULT Maker::PushTriangleInMesh(const char* meshid) {
  return Guard([&] { return impl_->Set<Mesh>(meshid, [&](Mesh& m) { return m.PushTriangle(); }); });
}

HRESULT Maker::SetTextureToTriangleInMesh(const char* meshid, const char* Textureid) {
  return Guard([&] {
    Triangle* tri = impl_->CurrentTriangle(meshid);
    Texture* t = impl_->Find<Texture>(Textureid);
    if (tri == nullptr || t == nullptr) return S_FALSE;
    tri->SetTexture(impl_->UseTexture(*t));
    return S_OK;
  });
}

HRESULT Maker::NormalInTextureBegin(const char* Textureid) {
  return Guard([&] { return impl_->Begin(Textureid, PartKind::kNormal); });
}

HRESULT Maker::NormalInTextureEnd(const char* Textureid) {
  return Guard([&] { return impl_->End(Textureid); });
}

HRESULT Maker::NormalSetImageInTexture(const char* Textureid, const char* filename) {
  const char* method = __func__;
  return Guard([&] {
    Texture* t = impl_->Find<Texture>(Textureid);
    if (t == nullptr) return S_FALSE;
    auto copy = impl_->CopyImage(filename);
    if (!copy) return S_FALSE;
    return impl_->SetPart<NormalPart>(Textureid, method, [&](NormalPart& p) { p.SetImage(copy->type, copy->name); });
  });
}

HRESULT Maker::NormalSetBumpsizeInTexture(const char* Textureid, double bumpsize) {
  const char* method = __func__;
  return Guard(
      [&] { return impl_->SetPart<NormalPart>(Textureid, method, [&](NormalPart& p) { p.bump_size.Set(bumpsize); }); });
}

HRESULT Maker::FinishInTextureBegin(const char* Textureid) {
  return Guard([&] { return impl_->Begin(Textureid, PartKind::kFinish); });
}

HRESULT Maker::FinishInTextureEnd(const char* Textureid) {
  return Guard([&] { return impl_->End(Textureid); });
}

HRESULT Maker::FinishInTextureSetAmbient(const char* Textureid, double r, double g, double b) {
  const char* method = __func__;
  return Guard(
      [&] { return impl_->SetPart<FinishPart>(Textureid, method, [&](FinishPart& f) { f.ambient.Set(r, g, b); }); });
}

#define FINISH_NUMBER(Method, member)                                                                                \
  HRESULT Maker::Method(const char* Textureid, double value) {                                                       \
    const char* method = __func__;                                                                                   \
    return Guard(                                                                                                    \
        [&] { return impl_->SetPart<FinishPart>(Textureid, method, [&](FinishPart& f) { f.member.Set(value); }); }); \
  }
FINISH_NUMBER(FinishInTextureSetDiffuse, diffuse)
FINISH_NUMBER(FinishInTextureSetBrilliance, brilliance)
FINISH_NUMBER(FinishInTextureSetPhong, phong)
FINISH_NUMBER(FinishInTextureSetPhong_size, phong_size)
FINISH_NUMBER(FinishInTextureSetSpecular, specular)
FINISH_NUMBER(FinishInTextureSetRoughness, roughness)
FINISH_NUMBER(FinishInTextureSetMetallic, metallic)
FINISH_NUMBER(FinishInTextureSetCrand, crand)
#undef FINISH_NUMBER

HRESULT Maker::FinishInTextureSetReflection(const char* Textureid, double r, double g, double b) {
  const char* method = __func__;
  return Guard([&] {
    return impl_->SetPart<FinishPart>(Textureid, method, [&](FinishPart& f) { f.reflection_color.Set(r, g, b); });
  });
}

HRESULT Maker::CreatePolygon(const char* id) {
  return Guard([&] { return impl_->Create<Polygon>(id); });
}

HRESULT Maker::InsertPointToPolygon(const char* polygonid, double x, double y) {
  return Guard([&] { return impl_->Set<Polygon>(polygonid, [&](Polygon& p) { p.AddPoint(x, y); }); });
}

HRESULT Maker::CreatePhotons(const char* id) {
  return Guard([&] { return impl_->Create<Photons>(id); });
}

HRESULT Maker::SetPhotonsToObject(const char* id) {
  return Guard([&] {
    SceneObject* obj = impl_->FindAny(id);
    if (obj == nullptr) return S_FALSE;
    // Any kind is taken; an object that is placed gives its wrapper with
    // its slots left open.
    PlacementSlots open;
    open.fill("%s");
    impl_->state.set_photons(obj->ReferenceText(open));
    return S_OK;
  });
}

HRESULT Maker::GlobalSetPhotonsSpacing(double sp) {
  return Guard([&] { return impl_->SetGlobal([&](GlobalSettings& g) { g.SetPhotonsSpacing(sp); }); });
}

HRESULT Maker::GlobalSetPhotonsCount(double count) {
  return Guard([&] { return impl_->SetGlobal([&](GlobalSettings& g) { g.SetPhotonsCount(count); }); });
}

HRESULT Maker::GlobalSetPhotonsJitter(double jitter) {
  return Guard([&] { return impl_->SetGlobal([&](GlobalSettings& g) { g.SetPhotonsJitter(jitter); }); });
}

HRESULT Maker::SetPhotonsInterior(const char* id, double) {
  return Guard([&] { return impl_->Set<Photons>(id, [](Photons&) {}); });
}

HRESULT Maker::SetPhotonsReflection(const char* id, std::int32_t OnorOff) {
  return Guard([&] { return impl_->Set<Photons>(id, [&](Photons& p) { p.reflection.SetOnOff(OnorOff); }); });
}

HRESULT Maker::SetPhotonsRefraction(const char* id, std::int32_t OnorOff) {
  return Guard([&] { return impl_->Set<Photons>(id, [&](Photons& p) { p.refraction.SetOnOff(OnorOff); }); });
}

HRESULT Maker::SetPhotonsCollect(const char* id, std::int32_t OnorOff) {
  return Guard([&] { return impl_->Set<Photons>(id, [&](Photons& p) { p.collect.SetOnOff(OnorOff); }); });
}

HRESULT Maker::InteriorInTextureBegin(const char* Textureid) {
  return Guard([&] { return impl_->Begin(Textureid, PartKind::kInterior); });
}

HRESULT Maker::InteriorInTextureEnd(const char* Textureid) {
  return Guard([&] { return impl_->End(Textureid); });
}

#define INTERIOR_NUMBER(Method, member)                                                                      \
  HRESULT Maker::Method(const char* Textureid, double value) {                                               \
    const char* method = __func__;                                                                           \
    return Guard([&] {                                                                                       \
      return impl_->SetPart<InteriorPart>(Textureid, method, [&](InteriorPart& i) { i.member.Set(value); }); \
    });                                                                                                      \
  }
INTERIOR_NUMBER(InteriorInTextureSetIOR, ior)
INTERIOR_NUMBER(InteriorInTextureSetCaustics, caustics)
INTERIOR_NUMBER(InteriorInTextureSetDispersion, dispersion)
INTERIOR_NUMBER(InteriorInTextureSetFadeDistance, fade_distance)
INTERIOR_NUMBER(InteriorInTextureSetFadePower, fade_power)
INTERIOR_NUMBER(InteriorInTextureSetFadeColor, fade_color)
#undef INTERIOR_NUMBER

#define REFLECTION_NUMBER(Method, member)                                       \
  HRESULT Maker::Method(const char* Textureid, double value) {                  \
    const char* method = __func__;                                              \
    return Guard([&] {                                                          \
      return impl_->SetPart<FinishPart>(Textureid, method, [&](FinishPart& f) { \
        f.reflection.member.Set(value);                                         \
        f.reflection.enabled = true;                                            \
      });                                                                       \
    });                                                                         \
  }
REFLECTION_NUMBER(FinishInTextureSetReflectionMin, min)
REFLECTION_NUMBER(FinishInTextureSetReflectionMax, max)
REFLECTION_NUMBER(FinishInTextureSetReflectionFalloff, falloff)
REFLECTION_NUMBER(FinishInTextureSetReflectionExponent, exponent)
REFLECTION_NUMBER(FinishInTextureSetReflectionMetallic, metallic)
#undef REFLECTION_NUMBER

HRESULT Maker::FinishInTextureSetReflectionFresnel(const char* Textureid, std::int32_t OnorOff) {
  const char* method = __func__;
  return Guard([&] {
    return impl_->SetPart<FinishPart>(Textureid, method, [&](FinishPart& f) {
      f.reflection.fresnel.SetOnOff(OnorOff);
      f.reflection.enabled = true;
    });
  });
}

HRESULT Maker::CreateCylinder(const char* id) {
  return Guard([&] { return impl_->Create<Cylinder>(id); });
}

HRESULT Maker::SetCylinderBasePoint(const char* id, double x, double y, double z) {
  return Guard([&] { return impl_->Set<Cylinder>(id, [&](Cylinder& c) { c.base.Set(x, z, y); }); });
}

HRESULT Maker::SetCylinderCapPoint(const char* id, double x, double y, double z) {
  return Guard([&] { return impl_->Set<Cylinder>(id, [&](Cylinder& c) { c.cap.Set(x, z, y); }); });
}

HRESULT Maker::SetCylinderRadius(const char* id, double value) {
  return Guard([&] { return impl_->Set<Cylinder>(id, [&](Cylinder& c) { c.radius.Set(value); }); });
}

HRESULT Maker::SetCylinderIsOpen(const char* id, std::int32_t OpenOrNot) {
  return Guard([&] { return impl_->Set<Cylinder>(id, [&](Cylinder& c) { c.open = OpenWord(OpenOrNot); }); });
}

HRESULT Maker::CreateCone(const char* id) {
  return Guard([&] { return impl_->Create<Cone>(id); });
}

HRESULT Maker::SetConeBasePoint(const char* id, double x, double y, double z) {
  return Guard([&] { return impl_->Set<Cone>(id, [&](Cone& c) { c.base.Set(x, z, y); }); });
}

HRESULT Maker::SetConeCapPoint(const char* id, double x, double y, double z) {
  return Guard([&] { return impl_->Set<Cone>(id, [&](Cone& c) { c.cap.Set(x, z, y); }); });
}

HRESULT Maker::SetConeIsOpen(const char* id, std::int32_t OpenOrNot) {
  return Guard([&] { return impl_->Set<Cone>(id, [&](Cone& c) { c.open = OpenWord(OpenOrNot); }); });
}

HRESULT Maker::SetConeBasePointRadius(const char* id, double value) {
  return Guard([&] { return impl_->Set<Cone>(id, [&](Cone& c) { c.base_radius.Set(value); }); });
}

HRESULT Maker::SetConeCapPointRadius(const char* id, double value) {
  return Guard([&] { return impl_->Set<Cone>(id, [&](Cone& c) { c.cap_radius.Set(value); }); });
}

HRESULT Maker::SetTextureToObject(const char* Textureid) {
  return Guard([&] {
    Texture* t = impl_->Find<Texture>(Textureid);
    if (t == nullptr) return S_FALSE;
    impl_->state.set_texture(impl_->UseTexture(*t));
    return S_OK;
  });
}

HRESULT Maker::CreatePlane(const char* id) {
  return Guard([&] { return impl_->Create<Plane>(id); });
}

HRESULT Maker::SetPlaneNormal(const char* id, double x, double y, double z) {
  return Guard([&] { return impl_->Set<Plane>(id, [&](Plane& p) { p.normal.Set(x, z, y); }); });
}

HRESULT Maker::SetPlaneDistance(const char* id, double value) {
  return Guard([&] { return impl_->Set<Plane>(id, [&](Plane& p) { p.distance.Set(value); }); });
}

HRESULT Maker::GlobalSetGamma(double value) {
  return Guard([&] { return impl_->SetGlobal([&](GlobalSettings& g) { g.gamma.Set(value); }); });
}

HRESULT Maker::CreateSpotlight(const char* id) {
  return Guard([&] { return impl_->Create<Spotlight>(id); });
}

#define LIGHT_VECTOR(Method, Kind, member, a, b, c)                                              \
  HRESULT Maker::Method(const char* id, double x, double y, double z) {                          \
    return Guard([&] { return impl_->Set<Kind>(id, [&](Kind& l) { l.member.Set(a, b, c); }); }); \
  }
#define LIGHT_NUMBER(Method, Kind, member)                                                     \
  HRESULT Maker::Method(const char* id, double value) {                                        \
    return Guard([&] { return impl_->Set<Kind>(id, [&](Kind& l) { l.member.Set(value); }); }); \
  }
// Colours keep the caller's order; positions are written x, z, y.
LIGHT_VECTOR(SetSpotlightLocation, Spotlight, location, x, z, y)
LIGHT_VECTOR(SetSpotlightRGB, Spotlight, color, x, y, z)
LIGHT_VECTOR(SetSpotlightPointAt, Spotlight, point_at, x, z, y)
LIGHT_NUMBER(SetSpotlightRadius, Spotlight, radius)
LIGHT_NUMBER(SetSpotlightFalloff, Spotlight, falloff)
LIGHT_NUMBER(SetSpotlightTightness, Spotlight, tightness)
LIGHT_VECTOR(SetParallelLightsLocation, ParallelLight, location, x, z, y)
LIGHT_VECTOR(SetParallelLightsRGB, ParallelLight, color, x, y, z)
LIGHT_VECTOR(SetParallelLightsPointAt, ParallelLight, point_at, x, z, y)
LIGHT_VECTOR(SetCylindricalLightsLocation, CylindricalLight, location, x, z, y)
LIGHT_VECTOR(SetCylindricalLightsRGB, CylindricalLight, color, x, y, z)
LIGHT_VECTOR(SetCylindricalLightsPointAt, CylindricalLight, point_at, x, z, y)
LIGHT_NUMBER(SetCylindricalLightsRadius, CylindricalLight, radius)
LIGHT_NUMBER(SetCylindricalLightsFalloff, CylindricalLight, falloff)
LIGHT_NUMBER(SetCylindricalLightsTightness, CylindricalLight, tightness)
#undef LIGHT_VECTOR
#undef LIGHT_NUMBER

HRESULT Maker::SetSpotlightAreaLightAXIS1(const char* id, double x, double y, double z) {
  return Guard([&] { return impl_->Set<Spotlight>(id, [&](Spotlight& s) { s.area_light.SetAxis1(x, z, y); }); });
}

HRESULT Maker::SetSpotlightAreaLightAXIS2(const char* id, double x, double y, double z) {
  return Guard([&] { return impl_->Set<Spotlight>(id, [&](Spotlight& s) { s.area_light.SetAxis2(x, z, y); }); });
}

HRESULT Maker::SetSpotlightAreaLightAXIS1Size(const char* id, std::int32_t value) {
  return Guard([&] { return impl_->Set<Spotlight>(id, [&](Spotlight& s) { s.area_light.SetSize1(value); }); });
}

HRESULT Maker::SetSpotlightAreaLightAXIS2Size(const char* id, std::int32_t value) {
  return Guard([&] { return impl_->Set<Spotlight>(id, [&](Spotlight& s) { s.area_light.SetSize2(value); }); });
}

HRESULT Maker::SetSpotlightAreaLightAdaptive(const char* id, double value) {
  return Guard([&] { return impl_->Set<Spotlight>(id, [&](Spotlight& s) { s.area_light.SetAdaptive(value); }); });
}

HRESULT Maker::SetSpotlightAreaLightJitterOn(const char* id) {
  return Guard([&] { return impl_->Set<Spotlight>(id, [&](Spotlight& s) { s.area_light.JitterOn(); }); });
}

HRESULT Maker::SetSpotlightAreaLightCircularOn(const char* id) {
  return Guard([&] { return impl_->Set<Spotlight>(id, [&](Spotlight& s) { s.area_light.CircularOn(); }); });
}

HRESULT Maker::SetSpotlightAreaLightOrientOn(const char* id) {
  return Guard([&] { return impl_->Set<Spotlight>(id, [&](Spotlight& s) { s.area_light.OrientOn(); }); });
}

HRESULT Maker::CreateBox(const char* id) {
  return Guard([&] { return impl_->Create<Box>(id); });
}

HRESULT Maker::SetBoxCorner(const char* id, double x1, double y1, double z1, double x2, double y2, double z2) {
  return Guard([&] {
    return impl_->Set<Box>(id, [&](Box& b) {
      b.corner1.Set(x1, z1, y1);
      b.corner2.Set(x2, z2, y2);
    });
  });
}

HRESULT Maker::CreateSpheresweep(const char* id) {
  return Guard([&] { return impl_->Create<SphereSweep>(id); });
}

HRESULT Maker::SetSpheresweepSweeptype(const char* id, std::int32_t value) {
  return Guard([&] { return impl_->Set<SphereSweep>(id, [&](SphereSweep& s) { s.SetSweepType(value); }); });
}

HRESULT Maker::SetSpheresweepCenterAndRadius(const char* id, double x, double y, double z, double radius) {
  return Guard([&] { return impl_->Set<SphereSweep>(id, [&](SphereSweep& s) { s.AddSphere(x, z, y, radius); }); });
}

HRESULT Maker::SetSpheresweepTolerance(const char* id, double value) {
  return Guard([&] { return impl_->Set<SphereSweep>(id, [&](SphereSweep& s) { s.tolerance.Set(value); }); });
}

HRESULT Maker::CreateParallelLights(const char* id) {
  return Guard([&] { return impl_->Create<ParallelLight>(id); });
}

HRESULT Maker::CreateCylindricalLights(const char* id) {
  return Guard([&] { return impl_->Create<CylindricalLight>(id); });
}
