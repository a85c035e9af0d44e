#pragma once
#include <cstdint>
#include <optional>

namespace farm {

// The one shape of a piece of a picture that the farm hands out, tallies and
// renders: rows `first`..`last` of a picture, counted from 1 at the top,
// both included; empty when last < first. `frame` names the frame of an
// animation the rows belong to; a still has none.
//
// Every process keeps rows this way. What leaves a process keeps its own
// convention and is converted by that format's encoder, each through
// OutgoingFirstRow and IncomingRows below: the "OneFrame" message
// (idl/JobParameters.cpp), the node's Farmer.ini (idl/ConfigRecords.cpp)
// and the engine's command line (node/EngineCommand.cpp) write band 1's
// first row as 0, which the renderer reads as the fraction 0: the top.
//
// Plain data: copy it freely, from any thread.
struct WorkUnit {
  std::int32_t first = 1;
  std::int32_t last = 0;
  std::optional<std::int32_t> frame;

  // 0 when empty.
  std::int32_t rows() const { return last < first ? 0 : last - first + 1; }
  bool empty() const { return last < first; }
  bool Contains(std::int32_t row) const { return row >= first && row <= last; }
  bool operator==(const WorkUnit&) const = default;
};

// The first row of band `band` as the formats that leave a process write
// it: 0 for band 1 starting at the top, any other row as it is (a band
// widened at its seam may start above row 1).
inline std::int32_t OutgoingFirstRow(std::int32_t band, const WorkUnit& rows) {
  return band == 1 && rows.first == 1 ? 0 : rows.first;
}

// The rows first..last of band `band` as those formats carry them: band 1's
// first row 0 is row 1.
inline WorkUnit IncomingRows(std::int32_t band, std::int32_t first, std::int32_t last) {
  return WorkUnit{band == 1 && first == 0 ? 1 : first, last, std::nullopt};
}

}  // namespace farm
