#pragma once
#include <cstdint>

namespace jobs {

// How many bands a job is cut into for the idle farmers found at its start.
// By default one band per farmer. With uneven machines the slowest one sets
// the job's time; `bandsPerFarmer` above 1 cuts the picture into that many
// bands per farmer (each with the usual overlap), and the dispatch hands the
// next band to whichever farmer becomes idle.
struct BandPlan {
  static constexpr int32_t kMaxBandsPerFarmer = 64;

  int32_t bandsPerFarmer = 1;  // 1..kMaxBandsPerFarmer

  // Bands own at least this many rows, where the picture has them. Every
  // band costs its farmer a parse of the scene, and every seam 20 rows
  // traced twice: bands of a few rows cost more than they gain, and many
  // farmers parsing a small picture at once only delay its first rows.
  // Farmers left without a band can still take rows split off later.
  static constexpr int32_t kLeastBandRows = 24;

  bool shared() const { return bandsPerFarmer > 1; }
  // Bands for `idleFarmers` (>= 1) farmers over a picture `height` rows
  // high: never more than height / kLeastBandRows, never fewer than one.
  int32_t BandCount(int32_t idleFarmers, int32_t height) const;
};

// The plan the environment asks for: LUMORA_BANDS_PER_NODE, a whole number
// from 1 to kMaxBandsPerFarmer; anything else (or nothing) is the default.
BandPlan BandPlanFromEnvironment();

}  // namespace jobs
