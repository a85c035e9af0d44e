#include "jobs/core/BandSplit.h"

#include <algorithm>
#include <cmath>

namespace jobs {

std::vector<Band> SplitBands(int32_t height, int32_t count) {
  std::vector<Band> bands;
  if (count < 1) return bands;
  const int32_t m = height / count;
  bands.reserve(static_cast<std::size_t>(count));
  for (int32_t k = 1; k <= count; ++k) {
    Band b{};
    b.index = k;
    b.rows.first = (k - 1) * m + 1;
    b.rows.last = (k == count) ? height : k * m - 1;
    bands.push_back(b);
  }
  return bands;
}

std::vector<Band> SplitBlocks(int32_t height, int32_t count, int32_t blockRows) {
  std::vector<Band> bands;
  if (count < 1 || height < 1 || blockRows < 1) return bands;
  const int32_t blocks = (height + blockRows - 1) / blockRows;
  count = std::min(count, blocks);
  int32_t first = 1;
  for (int32_t k = 1; k <= count; ++k) {
    int32_t last = height;
    if (k < count) {
      const double even = static_cast<double>(height) * k / count;
      last = static_cast<int32_t>(std::lround(even / blockRows)) * blockRows;
      // Every band keeps at least one block, and leaves one to each band after it.
      last = std::clamp(last, first - 1 + blockRows, (blocks - (count - k)) * blockRows);
    }
    bands.push_back(Band{k, farm::WorkUnit{first, last, std::nullopt}});
    first = last + 1;
  }
  return bands;
}

farm::WorkUnit RowsToRender(const Band& band, int32_t count) {
  farm::WorkUnit rows = band.rows;
  if (band.index != 1) rows.first -= kSeamWidening;
  if (band.index != count) rows.last += kSeamWidening;
  return rows;
}

int32_t CutRow(const SplitView& v) {
  const int32_t left = v.owedLast - v.nextRow + 1;
  if (left < 2 * kSplitLeastRows || !(v.holderRate > 0) || !(v.takerRate > 0)) return 0;
  const double holderLeft = left / v.holderRate;
  if (holderLeft < v.startSeconds + kSplitLeastSeconds) return 0;
  // Both end together: (m - nextRow + 1) / vh = start + (owedLast - m + widening) / vt.
  const double inverse = 1.0 / v.holderRate + 1.0 / v.takerRate;
  const double even =
      (v.startSeconds + (v.owedLast + kSeamWidening) / v.takerRate + (v.nextRow - 1) / v.holderRate) / inverse;
  auto cut = static_cast<int32_t>(std::lround(even));
  if (v.blockSize > 1) {
    // The taker renders from cut + 1 - widening: put that on a block's
    // second row. The engine then traces the block's first row without
    // sending it; sent, it could arrive after the holder's and differ from
    // it (antialiasing at a block's top looks at no row above).
    const int32_t start = cut - kSeamWidening - 1;
    cut = static_cast<int32_t>(std::lround(static_cast<double>(start) / v.blockSize)) * v.blockSize + kSeamWidening + 1;
  }
  while (cut < v.nextRow) cut += v.blockSize > 1 ? v.blockSize : 1;  // a far faster taker takes all it can
  if (v.owedLast - cut < kSplitLeastRows) return 0;
  const double holderAfter = (cut - v.nextRow + 1) / v.holderRate;
  if (holderLeft - holderAfter < kSplitLeastSeconds / 2) return 0;
  return cut;
}

}  // namespace jobs
