#include "jobs/view/Picture.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace jobs {

bool Picture::Create(int32_t width, int32_t height) {
  Destroy();
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
  if (int64_t{width} * height > kMaxPixels) return false;
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), ColorrefToRgb32(kInitialColor));
  return true;
}

void Picture::Destroy() {
  width_ = 0;
  height_ = 0;
  pixels_.clear();
  pixels_.shrink_to_fit();
}

bool Picture::SetPixelColor(int32_t x, int32_t libraryRow, uint32_t colorref) {
  if (x < 0 || x >= width_ || libraryRow < 0 || libraryRow >= height_) return false;
  pixels_[Index(x, height_ - 1 - libraryRow)] = ColorrefToRgb32(colorref);
  return true;
}

uint32_t Picture::GetPixelColor(int32_t x, int32_t libraryRow) const {
  if (x < 0 || x >= width_ || libraryRow < 0 || libraryRow >= height_) return 0;
  return Rgb32ToColorref(pixels_[Index(x, height_ - 1 - libraryRow)]);
}

bool Picture::PutRow(int32_t line, const int32_t* colors, std::size_t count) {
  if (line < 1 || line > height_) return false;
  // Library row height - line is top-down scanline line - 1.
  uint32_t* row = &pixels_[Index(0, line - 1)];
  const std::size_t n = count < static_cast<std::size_t>(width_) ? count : static_cast<std::size_t>(width_);
  for (std::size_t x = 0; x < n; ++x) row[x] = ColorrefToRgb32(static_cast<uint32_t>(colors[x]));
  return true;
}

bool Picture::Save(const std::string& path, ImageFormat format) const {
  if (empty()) return false;
  std::vector<unsigned char> rgb(pixels_.size() * 3);
  for (std::size_t i = 0; i < pixels_.size(); ++i) {
    const uint32_t p = pixels_[i];
    rgb[3 * i] = static_cast<unsigned char>(p >> 16);
    rgb[3 * i + 1] = static_cast<unsigned char>(p >> 8);
    rgb[3 * i + 2] = static_cast<unsigned char>(p);
  }
  const char* file = path.c_str();
  const int stride = width_ * 3;
  switch (format) {
    case ImageFormat::Jpeg: return stbi_write_jpg(file, width_, height_, 3, rgb.data(), 90) != 0;
    case ImageFormat::Png: return stbi_write_png(file, width_, height_, 3, rgb.data(), stride) != 0;
    case ImageFormat::Bmp: return stbi_write_bmp(file, width_, height_, 3, rgb.data()) != 0;
    case ImageFormat::Tga: return stbi_write_tga(file, width_, height_, 3, rgb.data()) != 0;
  }
  return false;
}

}  // namespace jobs
