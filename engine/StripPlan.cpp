#include "engine/StripPlan.h"

#include <algorithm>

namespace engine {

std::vector<Strip> PlanStrips(int first, int last, const StripPolicy& policy) {
  std::vector<Strip> strips;
  if (last < first) return strips;
  const long band = static_cast<long>(last) - first + 1;
  const long share = std::max(1, policy.share);
  const long cap = std::max<long>(std::max(1, policy.firstRows), (band + share - 1) / share);
  long size = std::max(1, policy.firstRows);
  long row = first;
  while (row <= last) {
    long take = std::min(size, static_cast<long>(last) - row + 1);
    // A remainder of half a strip or less rides along: a run costs the
    // same start-up whatever its size.
    if (static_cast<long>(last) - (row + take - 1) <= take / 2) take = static_cast<long>(last) - row + 1;
    strips.push_back({static_cast<int>(row), static_cast<int>(row + take - 1)});
    row += take;
    size = std::min(cap, size * std::max(1, policy.growth));
  }
  return strips;
}

Strip RendererRows(const Strip& strip, int height) {
  Strip asked = strip;
  if (asked.last == 1 && height > 1) asked.last = 2;
  return asked;
}

}  // namespace engine
