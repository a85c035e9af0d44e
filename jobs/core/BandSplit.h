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

// An own scene's bands: each seam on the block boundary (a multiple of
// `blockRows`) nearest an even split, and no row shared. Every band then
// renders whole blocks of povray's, so its rows equal a single run's and
// nothing is traced twice: band k is rendered and owed as its rows stand.
// Fewer than `count` bands where the picture has fewer blocks; none when
// `count` < 1 or `height` < 1.
std::vector<Band> SplitBlocks(int32_t height, int32_t count, int32_t blockRows);

// The rows a farmer is asked to render for `band` of `count` bands: every
// inner seam widened by 10 rows on each side, so neighbours overlap. Band 1
// starts at the top; the last band ends at its own last row.
farm::WorkUnit RowsToRender(const Band& band, int32_t count);

// Rows a band's render reaches past each inner seam.
constexpr int32_t kSeamWidening = 10;

// The height of povray's own blocks: an own scene's render starts on a
// block's first row (rows above its band traced, not sent), so a band split
// off starts there too rather than trace rows nobody gets.
constexpr int32_t kOwnSceneBlockRows = 32;

// What the dispatch knows when a farmer is idle while another still renders
// a band: enough to decide whether to split off the rows the holder has not
// reached yet. Plain data.
struct SplitView {
  int32_t nextRow = 0;      // the holder's first owed row that has not arrived
  int32_t owedLast = 0;     // the holder's last owed row
  double holderRate = 0;    // rows per second the holder delivers
  double takerRate = 0;     // rows per second the idle farmer delivered (holderRate when unknown)
  double startSeconds = 0;  // hand-out to first row: the taker's last band's (else the holder's)
  int32_t blockSize = 1;    // > 1: the taker's render must start on a block's first row (k*blockSize + 1)
};

// Holders left with less than this or closer to their end than
// kSplitLeastSeconds keep their rows: the taker's start and the new seam's
// twice-traced rows would eat the gain.
constexpr int32_t kSplitLeastRows = 16;
constexpr double kSplitLeastSeconds = 1.0;

// The cut row m: the holder keeps its owed rows up to m (m is the seam row
// it delivers), the taker gets a band owning m+1..owedLast, rendered from
// m+1-kSeamWidening. m is chosen so both end together at the rates given,
// counting the taker's start and its rows above the seam, and so that the
// taker's render starts just below a block boundary. 0 when a split does not pay:
// too few rows left, the holder ends within kSplitLeastSeconds of the
// taker's start, or the taker would get fewer than kSplitLeastRows rows.
int32_t CutRow(const SplitView& view);

}  // namespace jobs
