#pragma once
#include <cstdint>

namespace engine {

// Finds, in order, the rows of a band whose every pixel has been drawn, in
// a 32-bit picture where a drawn pixel carries kDrawn. The renderer draws
// blocks in no fixed order across its threads; a row is handed on only
// once it is complete, and rows leave strictly top to bottom. One thread at
// a time (the caller locks around it and the drawing).
class FinishedRows {
 public:
  static constexpr std::uint32_t kDrawn = 0x80000000u;

  // `pixels` holds `height` rows of `pitch` values each (pitch >= width);
  // rows first..last (1 at the top, clamped to the picture) are watched.
  // The picture stays the caller's and must outlive this object.
  FinishedRows(const std::uint32_t* pixels, int width, int height, int pitch, int first, int last);

  // The next row, when it is complete: true and its number in *row.
  // Each pixel is looked at about once over the whole band, so calling
  // this after every drawn block stays cheap.
  bool Next(int* row);

  // The row's pixels as drawn (with kDrawn set).
  const std::uint32_t* Row(int row) const;

  // True once every watched row has been handed out.
  bool Done() const { return next_ > last_; }

 private:
  const std::uint32_t* pixels_;
  int width_;
  int pitch_;
  int last_;
  int next_;    // the row looked at, 1 at the top
  int column_;  // pixels of that row before this one are drawn
};

}  // namespace engine
