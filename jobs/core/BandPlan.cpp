#include "jobs/core/BandPlan.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace jobs {

int32_t BandPlan::BandCount(int32_t idleFarmers, int32_t height) const {
  const int32_t per = bandsPerFarmer >= 1 && bandsPerFarmer <= kMaxBandsPerFarmer ? bandsPerFarmer : 1;
  return std::max<int32_t>(1, std::min(idleFarmers * per, height / kLeastBandRows));
}

BandPlan BandPlanFromEnvironment() {
  BandPlan plan;
  const char* text = std::getenv("LUMORA_BANDS_PER_NODE");
  if (text == nullptr || *text == '\0' || std::strlen(text) > 2) return plan;
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (*end == '\0' && n >= 1 && n <= BandPlan::kMaxBandsPerFarmer) plan.bandsPerFarmer = static_cast<int32_t>(n);
  return plan;
}

}  // namespace jobs
