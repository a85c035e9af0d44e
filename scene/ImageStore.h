#pragma once
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace scene {

// Where an image ended up: its renderer type word ("jpeg", "png", … or
// empty) and the bare file name inside the source folder.
//
// Owned by one Maker: its caller's thread only.
struct ImageCopy {
  std::string type;
  std::string name;
};

// Copies the images a scene uses into the source folder under unique names.
// The same source path keeps the same name for the life of the store, so an
// image shared by several textures is copied once under one name.
class ImageStore {
 public:
  // Extension of the last path component, from its last dot ("" if none).
  static std::string ExtensionOf(const std::string& path);
  // Exact, case-sensitive: ".jpg" → "jpeg", ".gif", ".tga", ".ppm", ".png",
  // ".tiff" → their own word; anything else → "".
  static std::string TypeForExtension(const std::string& extension);
  // "<base>.jpg" for jpeg, else "<base>.<type>" (so "<base>." for no type).
  static std::string TargetName(const std::string& base, const std::string& type);

  // Copies `source` (a regular file) into `folder`, replacing a file of the
  // same name. The name is recorded even when the copy fails. Empty on
  // failure; `folder` must name an existing folder.
  std::optional<ImageCopy> Copy(const std::string& source, const std::filesystem::path& folder);

  // The base name recorded for `source`, or empty.
  std::string BaseNameOf(const std::string& source) const;

 private:
  std::map<std::string, std::string> names_;
};

// A fresh UUID in its 36-character lower-case text form.
std::string NewUuidText();

}  // namespace scene
