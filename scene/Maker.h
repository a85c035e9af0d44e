#pragma once
// The scene maker: a host describes one POV-Ray scene call by call and the
// maker writes it as "Tessel.pov", with copies of its images, into the
// folder Render/ beside liblumora.so. Include this header and link
// liblumora.so; nothing else is needed.
//
// Protocol. Call Init first; it prepares Render/ and RenderOut/ (creating
// them, deleting their files but not their sub-folders), opens
// Render/Tessel.pov and empties the registry. Then create objects by id, set
// their properties, set the current state (transform slots, texture, matrix,
// photons) and place objects with AddtoScene; Finish writes the global
// settings and closes the file. A new Init starts a new scene in the same
// Maker. Before the first Init the text goes to the debug file
// <tmp>/qzt.pov ($TMPDIR, else /tmp), opened when the Maker is constructed.
//
// Every object is declared once per scene: its first placement (or, for a
// texture, its first use) writes "#declare id = ..." and every later one
// only refers to it.
//
// Ids. Create…(id) registers a new object under the caller's id; an id that
// is already registered keeps its object, whatever its kind. Ids are
// written into the scene text as given, so they must be valid POV-Ray
// identifiers (not keywords such as "mesh" or "floor").
//
// Results. S_OK on success. S_FALSE when an id names no registered object,
// when an index is out of range, and whenever a call is refused:
//  - a null text pointer (an id, a file name, a camera type) is refused with
//    S_FALSE and changes nothing; this holds for creators too;
//  - a setter applied to an object of a kind it does not name (for example
//    SetPhotonsInterior on a sphere, SetSpotlightAreaLightAXIS1 on a point
//    light, SetSphereRadius on a plane) answers S_FALSE and changes nothing;
//  - a texture setter whose current part is of another kind, or with no
//    current part: the methods named "FinishInTexture…", "InteriorInTexture…",
//    NormalSetBumpsizeInTexture, PigmentInTextureSetImage and
//    NormalSetImageInTexture show the message box "<MethodName> error" and
//    answer S_OK; PigmentInTextureSetRGB answers S_FALSE without a box;
//  - SetMatrixOnebyOne with h or v outside 0..3 stores nothing and answers
//    S_FALSE;
//  - AddtoScene of a texture, a photons block or the global settings writes
//    nothing (S_OK); those are used through SetTextureToObject,
//    SetPhotonsToObject and Finish.
// No call sequence writes outside Render/, RenderOut/ and the debug file;
// image copies before Init fail with S_FALSE.
//
// Coordinates. Every position or direction given as (x, y, z) is written in
// the order x, z, y. Colours (r, g, b), polygon points (x, y) and texture
// coordinates (u, v) keep their order.
//
// Matrix. SetMatrixOnebyOne(h, v, value) fills a 4x4 row-major affine
// transform, row h, column v, in the renderer's row-vector convention:
// rows 0..2 hold the linear part and row 3 the translation. Setting (3, 3)
// builds the statement "matrix < ... >" from rows 0..3, columns 0..2 (twelve
// values, row by row); column 3 is stored but not written. The values are
// written as given, without the y/z swap. CleanTransition resets the values
// to the identity; Init keeps them.
//
// Photons and cameras. A placed camera never carries the current texture or
// photons (a camera block cannot hold them); its transforms and matrix
// apply as to any object.
//
// Images. PigmentInTextureSetImage and NormalSetImageInTexture copy the file
// into Render/ under a UUID name; the extension picks the type, exactly and
// case-sensitively: ".jpg" → jpeg (copied as .jpg), ".gif", ".tga", ".ppm",
// ".png", ".tiff"; any other extension gives no type and a name ending in a
// bare dot. The same source path keeps one name for the life of the Maker.
//
// Texts are UTF-8 and are written as given. Not thread-safe: one thread
// makes all calls on a Maker.

#include <cstdint>
#include <memory>

#include "platform/HResult.h"

class Maker {
 public:
  Maker();
  ~Maker();
  Maker(const Maker&) = delete;
  Maker& operator=(const Maker&) = delete;

  HRESULT Init();                        // 1
  HRESULT CreateCamera(const char* id);  // 2
  HRESULT Finish();                      // 3
  HRESULT AddtoScene(const char* id);    // 4
  HRESULT SetCameraLocation(const char* id, double x, double y, double z);
  HRESULT SetCameraRight(const char* id, double x, double y, double z);
  HRESULT SetCameraUp(const char* id, double x, double y, double z);
  HRESULT SetCameraDirection(const char* id, double x, double y, double z);
  HRESULT SetCameraSky(const char* id, double x, double y, double z);
  HRESULT SetCameraLookAt(const char* id, double x, double y, double z);  // 10
  HRESULT SetCameraAngle(const char* id, double angle);
  HRESULT SetCameraAperture(const char* id, double aperture);
  // "perspective" or "orthographic" exactly; other texts change nothing.
  HRESULT SetCameraType(const char* id, const char* cameratype);
  HRESULT CreateSphere(const char* id);
  HRESULT SetSphereCenter(const char* id, double x, double y, double z);
  HRESULT SetSphereRadius(const char* id, double r);
  // Blank transform slots and matrix text, no texture and no photons,
  // identity matrix values.
  HRESULT CleanTransition();
  // index 1..4 fills that transform slot (slots 1 to 3 are written at each
  // placement); any other index only records the text and answers S_FALSE.
  HRESULT SetTranslate(std::int32_t index, double x, double y, double z);
  HRESULT SetMatrixOnebyOne(std::int32_t h, std::int32_t v, double value);
  HRESULT SetRotate(std::int32_t index, double x, double y, double z);  // 20
  HRESULT SetScale(std::int32_t index, double x, double y, double z);
  HRESULT CreatePointLight(const char* id);
  HRESULT SetPointLightLocation(const char* id, double x, double y, double z);
  HRESULT SetPointLightRGB(const char* id, double r, double g, double b);
  HRESULT CreateMesh(const char* id);
  // Writes the texture's declaration at once; S_FALSE unless Textureid names
  // a texture and meshid a mesh.
  HRESULT SetTextureToMesh(const char* Textureid, const char* meshid);
  // triangletype 0: flat triangle; 1: triangle with normals. Makes a new
  // current triangle of that type; other types are refused (S_FALSE).
  HRESULT CreateTriangleInMesh(const char* meshid, std::int32_t triangletype);
  // index 1..3. S_FALSE when the mesh has no current triangle of the
  // current type or the index is out of range.
  HRESULT SetTriangleCornerInMesh(const char* meshid, std::int32_t index, double x, double y, double z);
  HRESULT SetTriangleUVInMesh(const char* meshid, std::int32_t index, double u, double v);
  // Only on a triangle of type 1; S_FALSE otherwise.
  HRESULT SetTriangleNormalInMesh(const char* meshid, std::int32_t index, double x, double y,
                                  double z);  // 30
  HRESULT CreateTextures(const char* id);
  HRESULT PigmentInTextureBegin(const char* Textureid);
  HRESULT PigmentInTextureEnd(const char* Textureid);
  HRESULT PigmentInTextureSetRGB(const char* Textureid, double r, double g, double b, double transparent);
  // Copies the image (see Images above); S_FALSE when the copy fails.
  // hasUV non-zero selects uv mapping.
  HRESULT PigmentInTextureSetImage(const char* Textureid, const char* filename, double transparent, std::int32_t hasUV);
  HRESULT PushTriangleInMesh(const char* meshid);
  // Writes the texture's declaration at once.
  HRESULT SetTextureToTriangleInMesh(const char* meshid, const char* Textureid);
  HRESULT NormalInTextureBegin(const char* Textureid);
  HRESULT NormalInTextureEnd(const char* Textureid);
  HRESULT NormalSetImageInTexture(const char* Textureid, const char* filename);  // 40
  HRESULT NormalSetBumpsizeInTexture(const char* Textureid, double bumpsize);
  HRESULT FinishInTextureBegin(const char* Textureid);
  // Any …InTextureEnd appends the current part, whatever its kind; the part
  // stays current.
  HRESULT FinishInTextureEnd(const char* Textureid);
  HRESULT FinishInTextureSetAmbient(const char* Textureid, double r, double g, double b);
  HRESULT FinishInTextureSetDiffuse(const char* Textureid, double value);
  HRESULT FinishInTextureSetBrilliance(const char* Textureid, double value);
  HRESULT FinishInTextureSetPhong(const char* Textureid, double value);
  HRESULT FinishInTextureSetPhong_size(const char* Textureid, double value);
  HRESULT FinishInTextureSetSpecular(const char* Textureid, double value);
  HRESULT FinishInTextureSetRoughness(const char* Textureid, double value);  // 50
  HRESULT FinishInTextureSetMetallic(const char* Textureid, double value);
  HRESULT FinishInTextureSetReflection(const char* Textureid, double r, double g, double b);
  HRESULT FinishInTextureSetCrand(const char* Textureid, double crand);
  HRESULT CreatePolygon(const char* id);
  HRESULT InsertPointToPolygon(const char* polygonid, double x, double y);
  HRESULT CreatePhotons(const char* id);
  // The named object's reference becomes the current photons; the kind is
  // not examined.
  HRESULT SetPhotonsToObject(const char* id);
  HRESULT GlobalSetPhotonsSpacing(double sp);
  HRESULT GlobalSetPhotonsCount(double count);
  HRESULT GlobalSetPhotonsJitter(double jitter);  // 60
  // Accepted and ignored (S_OK on a photons block).
  HRESULT SetPhotonsInterior(const char* id, double ior);
  // OnorOff 1 gives "on", any other value "off".
  HRESULT SetPhotonsReflection(const char* id, std::int32_t OnorOff);
  HRESULT SetPhotonsRefraction(const char* id, std::int32_t OnorOff);
  HRESULT SetPhotonsCollect(const char* id, std::int32_t OnorOff);
  HRESULT InteriorInTextureBegin(const char* Textureid);
  HRESULT InteriorInTextureEnd(const char* Textureid);
  HRESULT InteriorInTextureSetIOR(const char* Textureid, double ior);
  HRESULT InteriorInTextureSetCaustics(const char* Textureid, double value);
  HRESULT InteriorInTextureSetDispersion(const char* Textureid, double value);
  HRESULT InteriorInTextureSetFadeDistance(const char* Textureid, double value);  // 70
  HRESULT InteriorInTextureSetFadePower(const char* Textureid, double value);
  HRESULT InteriorInTextureSetFadeColor(const char* Textureid, double value);
  HRESULT FinishInTextureSetReflectionMin(const char* Textureid, double value);
  HRESULT FinishInTextureSetReflectionMax(const char* Textureid, double value);
  HRESULT FinishInTextureSetReflectionFresnel(const char* Textureid, std::int32_t OnorOff);
  HRESULT FinishInTextureSetReflectionFalloff(const char* Textureid, double value);
  HRESULT FinishInTextureSetReflectionExponent(const char* Textureid, double value);
  HRESULT FinishInTextureSetReflectionMetallic(const char* Textureid, double value);
  HRESULT CreateCylinder(const char* id);
  HRESULT SetCylinderBasePoint(const char* id, double x, double y, double z);  // 80
  HRESULT SetCylinderCapPoint(const char* id, double x, double y, double z);
  HRESULT SetCylinderRadius(const char* id, double value);
  // OpenOrNot 0 makes it open; any other value closed.
  HRESULT SetCylinderIsOpen(const char* id, std::int32_t OpenOrNot);
  HRESULT CreateCone(const char* id);
  HRESULT SetConeBasePoint(const char* id, double x, double y, double z);
  HRESULT SetConeCapPoint(const char* id, double x, double y, double z);
  HRESULT SetConeIsOpen(const char* id, std::int32_t OpenOrNot);
  HRESULT SetConeBasePointRadius(const char* id, double value);
  HRESULT SetConeCapPointRadius(const char* id, double value);
  // Writes the texture's declaration at once and makes it the current
  // texture; S_FALSE unless the id names a texture.
  HRESULT SetTextureToObject(const char* Textureid);  // 90
  HRESULT CreatePlane(const char* id);
  HRESULT SetPlaneNormal(const char* id, double x, double y, double z);
  HRESULT SetPlaneDistance(const char* id, double value);
  HRESULT GlobalSetGamma(double value);
  HRESULT CreateSpotlight(const char* id);
  HRESULT SetSpotlightLocation(const char* id, double x, double y, double z);
  HRESULT SetSpotlightRGB(const char* id, double r, double g, double b);
  HRESULT SetSpotlightPointAt(const char* id, double x, double y, double z);
  HRESULT SetSpotlightRadius(const char* id, double value);
  HRESULT SetSpotlightFalloff(const char* id, double value);  // 100
  HRESULT SetSpotlightTightness(const char* id, double value);
  // Every area-light setter switches the spotlight's area light on.
  HRESULT SetSpotlightAreaLightAXIS1(const char* id, double x, double y, double z);
  HRESULT SetSpotlightAreaLightAXIS2(const char* id, double x, double y, double z);
  HRESULT SetSpotlightAreaLightAXIS1Size(const char* id, std::int32_t value);
  HRESULT SetSpotlightAreaLightAXIS2Size(const char* id, std::int32_t value);
  HRESULT SetSpotlightAreaLightAdaptive(const char* id, double value);
  HRESULT SetSpotlightAreaLightJitterOn(const char* id);
  HRESULT SetSpotlightAreaLightCircularOn(const char* id);
  HRESULT SetSpotlightAreaLightOrientOn(const char* id);
  HRESULT CreateBox(const char* id);  // 110
  HRESULT SetBoxCorner(const char* id, double x1, double y1, double z1, double x2, double y2, double z2);
  HRESULT CreateSpheresweep(const char* id);
  // 2: b_spline, 3: cubic_spline, anything else linear_spline.
  HRESULT SetSpheresweepSweeptype(const char* id, std::int32_t value);
  // Appends one sphere to the sweep.
  HRESULT SetSpheresweepCenterAndRadius(const char* id, double x, double y, double z, double radius);
  HRESULT SetSpheresweepTolerance(const char* id, double value);
  HRESULT CreateParallelLights(const char* id);
  HRESULT SetParallelLightsLocation(const char* id, double x, double y, double z);
  HRESULT SetParallelLightsRGB(const char* id, double r, double g, double b);
  HRESULT SetParallelLightsPointAt(const char* id, double x, double y, double z);
  HRESULT CreateCylindricalLights(const char* id);  // 120
  HRESULT SetCylindricalLightsLocation(const char* id, double x, double y, double z);
  HRESULT SetCylindricalLightsRGB(const char* id, double r, double g, double b);
  HRESULT SetCylindricalLightsPointAt(const char* id, double x, double y, double z);
  HRESULT SetCylindricalLightsRadius(const char* id, double value);
  HRESULT SetCylindricalLightsFalloff(const char* id, double value);
  HRESULT SetCylindricalLightsTightness(const char* id, double value);  // 126

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};
