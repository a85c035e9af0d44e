#include "engine/BandPicture.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace engine {

BandPicture::BandPicture(int width, int height)
    : width_(width), height_(height), rgb_(static_cast<std::size_t>(width) * height * 3, 0) {}

void BandPicture::PutRow(int line, const std::int32_t* colorref) {
  if (line < 1 || line > height_) return;
  unsigned char* out = rgb_.data() + static_cast<std::size_t>(line - 1) * width_ * 3;
  for (int x = 0; x < width_; ++x) {
    const auto c = static_cast<std::uint32_t>(colorref[x]);
    out[3 * x] = c & 0xFF;
    out[3 * x + 1] = (c >> 8) & 0xFF;
    out[3 * x + 2] = (c >> 16) & 0xFF;
  }
}

bool BandPicture::SaveBmp(const std::filesystem::path& file) const {
  return stbi_write_bmp(file.c_str(), width_, height_, 3, rgb_.data()) != 0;
}

}  // namespace engine
