#include "engine/FinishedRows.h"

#include <algorithm>

namespace engine {

FinishedRows::FinishedRows(const std::uint32_t* pixels, int width, int height, int pitch, int first, int last)
    : pixels_(pixels),
      width_(width),
      pitch_(pitch),
      last_(std::min(last, height)),
      next_(std::max(first, 1)),
      column_(0) {}

bool FinishedRows::Next(int* row) {
  if (Done() || width_ <= 0) return false;
  const std::uint32_t* line = Row(next_);
  while (column_ < width_ && (line[column_] & kDrawn) != 0) ++column_;
  if (column_ < width_) return false;
  *row = next_++;
  column_ = 0;
  return true;
}

const std::uint32_t* FinishedRows::Row(int row) const {
  return pixels_ + static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(pitch_);
}

}  // namespace engine
