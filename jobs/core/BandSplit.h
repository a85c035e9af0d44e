#pragma once
#include <cstdint>
#include <vector>

#include "idl/WorkUnit.h"

namespace jobs {

// One horizontal band of a picture: its number and its own rows.
struct Band {
  int32_t index;        // 1-based, in the order the farmers were found
  farm::WorkUnit rows;  // the band's own rows, 1 at the top
};

// Splits `height` rows among `count` farmers: m = height / count (integer
// division); band k < count owns rows (k-1)*m + 1 .. k*m - 1, the last band
// (count-1)*m + 1 .. height. The rows k*m on the seams belong to no band;
// the widening of RowsToRender covers them. With more farmers than rows
// (m = 0) the inner bands come out empty (rows 1 to -1) and the last band
// holds the whole picture. `count` < 1 gives no band.
std::vector<Band> SplitBands(int32_t height, int32_t count);

// The rows a farmer is asked to render for `band` of `count` bands: every
// inner seam widened by 10 rows on each side, so neighbours overlap. Band 1
// starts at the top; the last band ends at its own last row.
farm::WorkUnit RowsToRender(const Band& band, int32_t count);

}  // namespace jobs
