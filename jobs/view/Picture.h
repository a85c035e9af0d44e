#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jobs/view/ImageFormat.h"

namespace jobs {

// The picture a render job assembles: width x height pixels of 24-bit colour,
// no palette. Colours go in and out as COLORREF values (red in bits 0-7,
// green 8-15, blue 16-23; bits 24-31 are ignored on input and zero on output).
//
// Two row numberings meet here. The picture library addresses "library rows"
// from the bottom (library row 0 is the bottom row); render rows ("lines")
// count from 1 at the top to height() at the bottom.
//
// Not thread-safe: the owner serialises every call (the viewer does it by
// touching the picture only on its GUI thread).
class Picture {
 public:
  // Larger pictures are refused by Create(): no side beyond what the saved
  // formats can record, and no more pixels than a sane amount of memory.
  static constexpr int32_t kMaxSide = 65535;
  static constexpr int64_t kMaxPixels = int64_t{1} << 28;

  // The yellow every pixel starts with, so rows not yet received stand out.
  static constexpr uint32_t kInitialColor = 0xFFFF;

  Picture() = default;
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
  Picture(Picture&&) = default;
  Picture& operator=(Picture&&) = default;

  // Makes a width x height picture with every pixel kInitialColor, replacing
  // any previous content. Returns false, leaving the picture empty, for a
  // zero or negative side, a side above kMaxSide or more than kMaxPixels.
  bool Create(int32_t width, int32_t height);

  // Releases the pixels; the picture is empty again.
  void Destroy();

  bool empty() const { return pixels_.empty(); }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  // Sets one pixel. Returns false (and changes nothing) outside the picture.
  bool SetPixelColor(int32_t x, int32_t libraryRow, uint32_t colorref);

  // The COLORREF of one pixel, or 0 outside the picture.
  uint32_t GetPixelColor(int32_t x, int32_t libraryRow) const;

  // Places render row `line` (1 = top ... height() = bottom, i.e. library row
  // height() - line). Writes the first min(count, width()) colours from the
  // left and never reads past colors[count - 1]; pixels without a colour keep
  // theirs. A line outside 1..height() changes nothing and returns false.
  bool PutRow(int32_t line, const int32_t* colors, std::size_t count);

  // Writes the picture to `path` in `format` (JPEG at quality 90, the others
  // lossless). Returns false when the picture is empty or the file cannot be
  // written; a partly written file may then remain.
  bool Save(const std::string& path, ImageFormat format) const;

  // Pixels for painting: height() scanlines from the top, each width() words
  // of 0xFFRRGGBB (what QImage::Format_RGB32 wraps without copying), stride
  // bytes_per_line(). Valid until the next Create() or Destroy().
  const uint32_t* scanlines() const { return pixels_.data(); }
  std::size_t bytes_per_line() const { return static_cast<std::size_t>(width_) * 4; }

 private:
  // Index into pixels_ of the pixel at column x, top-down scanline y.
  std::size_t Index(int32_t x, int32_t y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
  }

  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint32_t> pixels_;
};

// Conversions between COLORREF and the 0xFFRRGGBB words of scanlines().
constexpr uint32_t ColorrefToRgb32(uint32_t c) {
  return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
constexpr uint32_t Rgb32ToColorref(uint32_t p) { return ((p >> 16) & 0xFFu) | (p & 0xFF00u) | ((p & 0xFFu) << 16); }

}  // namespace jobs
