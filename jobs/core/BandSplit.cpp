#include "jobs/core/BandSplit.h"

namespace jobs {

namespace {
constexpr int32_t kSeamWidening = 10;
}

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

farm::WorkUnit RowsToRender(const Band& band, int32_t count) {
  farm::WorkUnit rows = band.rows;
  if (band.index != 1) rows.first -= kSeamWidening;
  if (band.index != count) rows.last += kSeamWidening;
  return rows;
}

}  // namespace jobs
