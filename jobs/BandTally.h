#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace lumora {

// The band number an end message names in its label "Render<k>.zip", k
// written in decimal digits only (no sign, no blanks) and at least 1.
// Anything else names no band.
std::optional<int32_t> BandFromLabel(std::string_view label);

// Which bands of a job have reported their end. A band counts once however
// often it reports (a band rendered twice after a node failure sends two end
// messages), so the job is complete only when every band has been heard
// from. Safe to use from several threads.
class BandTally {
 public:
  // Until SetBandCount the tally is never complete.
  void SetBandCount(int32_t count);

  // Records the end of band `band`. Returns false, changing nothing, for a
  // band outside 1..band count (or before SetBandCount).
  bool Report(int32_t band);

  // Counts an end message whose label named no usable band. It completes no
  // band: the job waits for a message that does.
  void ReportUnlabelled();

  bool Reported(int32_t band) const;
  bool Complete() const;
  int32_t reported_count() const;
  int32_t messages() const;  // every end message, labelled or not

 private:
  mutable std::mutex mutex_;
  int32_t count_ = -1;
  std::vector<bool> reported_;
  int32_t reported_count_ = 0;
  int32_t messages_ = 0;
};

}  // namespace lumora
