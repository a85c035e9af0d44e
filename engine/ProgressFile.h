#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace engine {

// Tells the node how far the band is: counts the distinct rows sent and
// keeps farm::kBandProgressFile in the node folder up to date, replacing it
// whole (written aside, then renamed) at most every `interval`, and always
// at the start and at Finish. A file that cannot be written is not the
// band's failure: the node then shows no progress.
//
// One thread (the engine's row callback).
class ProgressFile {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kInterval{250};

  // Rows firstRow..lastRow are asked; writes "0 of them" at once.
  ProgressFile(std::filesystem::path nodeFolder, std::int32_t firstRow, std::int32_t lastRow,
               std::chrono::milliseconds interval = kInterval);

  // Row `row` was sent; rows outside the band and repeats count nothing.
  void RowSent(std::int32_t row);
  // Writes the count now.
  void Finish();

  std::int32_t done() const { return done_; }

 private:
  void Write();

  const std::filesystem::path file_;
  const std::int32_t first_;
  const std::chrono::milliseconds interval_;
  std::vector<bool> sent_;  // by row - first_
  std::int32_t done_ = 0;
  Clock::time_point lastWrite_;
};

}  // namespace engine
