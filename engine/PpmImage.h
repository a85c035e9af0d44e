#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace engine {

// The header of a binary PPM (P6) picture. Plain data.
struct PpmHeader {
  int width = 0;
  int height = 0;
  int maxValue = 0;
  std::size_t dataOffset = 0;  // where the pixels start
  int bytesPerSample() const { return maxValue > 255 ? 2 : 1; }
  std::size_t rowBytes() const { return static_cast<std::size_t>(width) * 3 * bytesPerSample(); }
  std::size_t totalBytes() const { return dataOffset + rowBytes() * static_cast<std::size_t>(height); }
};

enum class PpmParse { kOk, kNeedMore, kBad };

// Reads the header (comments allowed) from the first bytes of a file.
// kNeedMore when `bytes` ends inside the header.
PpmParse ParsePpmHeader(std::string_view bytes, PpmHeader* header);

// One row of PPM samples as COLORREF values: red in bits 0-7, green 8-15,
// blue 16-23. 16-bit samples (big-endian) are scaled to 8 bits.
void PpmRowToColorref(const unsigned char* row, const PpmHeader& header, std::int32_t* out);

}  // namespace engine
