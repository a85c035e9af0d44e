#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

namespace engine {

// The picture an engine run leaves behind: the whole picture size, with the
// rows of the band filled in and the rest black. One thread at a time.
class BandPicture {
 public:
  BandPicture(int width, int height);

  // Row `line` (1 at the top) from COLORREF pixels; rows outside the
  // picture are ignored.
  void PutRow(int line, const std::int32_t* colorref);

  // Writes a 24-bit BMP file. False when it cannot be written.
  bool SaveBmp(const std::filesystem::path& file) const;

 private:
  int width_;
  int height_;
  std::vector<unsigned char> rgb_;
};

}  // namespace engine
