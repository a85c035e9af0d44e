#include "scene/ImageStore.h"

#include <uuid/uuid.h>

#include <system_error>

namespace scene {

std::string NewUuidText() {
  uuid_t id;
  uuid_generate(id);
  char text[37];
  uuid_unparse_lower(id, text);
  return std::string(text, 36);
}

std::string ImageStore::ExtensionOf(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < start) return "";
  return path.substr(dot);
}

std::string ImageStore::TypeForExtension(const std::string& e) {
  if (e == ".jpg") return "jpeg";
  if (e == ".gif") return "gif";
  if (e == ".tga") return "tga";
  if (e == ".ppm") return "ppm";
  if (e == ".png") return "png";
  if (e == ".tiff") return "tiff";
  return "";
}

std::string ImageStore::TargetName(const std::string& base, const std::string& type) {
  return base + "." + (type == "jpeg" ? std::string("jpg") : type);
}

std::string ImageStore::BaseNameOf(const std::string& source) const {
  auto it = names_.find(source);
  return it == names_.end() ? std::string() : it->second;
}

std::optional<ImageCopy> ImageStore::Copy(const std::string& source, const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::string type = TypeForExtension(ExtensionOf(source));
  auto [it, fresh] = names_.try_emplace(source);
  if (fresh) it->second = NewUuidText();
  ImageCopy copy{type, TargetName(it->second, type)};

  std::error_code ec;
  if (folder.empty() || !fs::is_directory(folder, ec)) return std::nullopt;
  // Only regular files: a device or a folder must not be read into the scene.
  if (!fs::is_regular_file(fs::path(source), ec)) return std::nullopt;
  fs::copy_file(source, folder / copy.name, fs::copy_options::overwrite_existing, ec);
  if (ec) return std::nullopt;
  return copy;
}

}  // namespace scene
