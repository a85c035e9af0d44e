#pragma once
#include <cstdint>
#include <vector>

namespace jobs {

// One horizontal band of a picture. Rows count from 1 at the top; the first
// band starts at row 0 by convention.
struct Band {
  int32_t index;  // 1-based, in the order the farmers were found
  int32_t firstRow;
  int32_t lastRow;
};

// Splits `height` rows among `count` farmers: m = height / count (integer
// division); band k < count covers (k-1)*m + 1 .. k*m - 1 (band 1 from 0),
// the last band (count-1)*m + 1 .. height. The rows k*m on the seams belong
// to no band; the widening of JobRows covers them. With more farmers than
// rows (m = 0) the inner bands come out empty (first row 1, last row -1) and
// the last band holds the whole picture. `count` < 1 gives no band.
std::vector<Band> SplitBands(int32_t height, int32_t count);

// The rows a farmer is asked to render for `band` of `count` bands: every
// inner seam widened by 10 rows on each side, so neighbours overlap. Band 1
// starts at 0; the last band ends at its own last row.
struct JobRows {
  int32_t firstRow;
  int32_t lastRow;
};
JobRows RowsToRender(const Band& band, int32_t count);

}  // namespace jobs
