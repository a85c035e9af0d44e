#include "jobs/view/ImageFormat.h"

#include <filesystem>

namespace jobs {

std::optional<ImageFormat> FormatForPath(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (ext == ".jpg") return ImageFormat::Jpeg;
  if (ext == ".png") return ImageFormat::Png;
  if (ext == ".bmp") return ImageFormat::Bmp;
  if (ext == ".tga") return ImageFormat::Tga;
  return std::nullopt;
}

}  // namespace jobs
