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
// convention and is converted in one place each, by that format's encoder:
// the "OneFrame" message and the node's Farmer.ini write band 1's first row
// as 0, and the renderer reads +SR/+ER of 0 and 1 as fractions.
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

}  // namespace farm
