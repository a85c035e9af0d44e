#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "idl/WorkUnit.h"

namespace jobs {

// Which bands of a job have reported their end, and which rows of the
// picture have arrived. A band counts once however often it reports (a band
// rendered twice after a node failure sends two end messages), so the job
// is complete only when every band has been heard from.
//
// Once SetRows has told it the rows each band owes, a band is done when
// those rows have arrived - from whichever farmer - and an end message for
// it has come; an end message with rows missing completes nothing.
//
// Threads: the boss's ORB threads report rows and ends while the dispatch
// thread reads and the host polls; every member takes the one mutex_.
class BandTally {
 public:
  // Until SetBandCount the tally is never complete.
  void SetBandCount(int32_t count);

  // The picture has rows 1..height; band k owes owed[k-1]. Rows that
  // arrived before stay counted.
  void SetRows(int32_t height, const std::vector<farm::WorkUnit>& owed);

  // A band split off during the job: the next number, owing `owed`.
  // Answers its number. After SetRows.
  int32_t AddBand(const farm::WorkUnit& owed);
  // Band `band` owes `owed` from now on (its holder's band was cut short).
  void SetOwed(int32_t band, const farm::WorkUnit& owed);

  // Rows of `range` (within the picture) that arrived, and the first that
  // has not (range.last + 1 when all have).
  int32_t ArrivedRows(farm::WorkUnit range) const;
  int32_t FirstMissing(farm::WorkUnit range) const;

  // Row `line` has been placed. Rows outside 1..height count nothing.
  void RowArrived(int32_t line);

  // End messages for `band` so far (also those that completed nothing).
  int32_t Ends(int32_t band) const;

  // A farmer said it could not render `band`; `reason` is its one line.
  // With `sceneWrong` the scene itself is wrong: the first such reason is
  // kept as the job's (SceneError).
  void ReportFailure(int32_t band, const std::string& reason, bool sceneWrong = false);
  // The reason of the first failure marked as a wrong scene; empty if none.
  std::string SceneError() const;
  int32_t Failures(int32_t band) const;
  std::string LastFailure(int32_t band) const;

  // Reported, and (once rows were set) every owed row arrived.
  bool Done(int32_t band) const;

  // The rows of first..last (within the picture) still missing, as
  // "rows 5-9, 12" (at most a few ranges, then "..."); empty when none is.
  std::string MissingRows(farm::WorkUnit range) const;
  // Every row of the picture that has not arrived, the same way.
  std::string MissingRows() const;

  // Records the end of band `band`. Returns false, changing nothing, for a
  // band outside 1..band count (or before SetBandCount).
  bool Report(int32_t band);

  // Counts an end message whose label named no usable band. It completes no
  // band: the job waits for a message that does.
  void ReportUnlabelled();

  bool Reported(int32_t band) const;
  // Every band done.
  bool Complete() const;
  int32_t reported_count() const;
  int32_t messages() const;  // every end message, labelled or not

 private:
  bool DoneLocked(int32_t band) const;
  std::string MissingLocked(farm::WorkUnit range) const;

  mutable std::mutex mutex_;
  int32_t count_ = -1;
  std::vector<bool> reported_;
  std::vector<int32_t> ends_;
  std::vector<int32_t> failures_;
  std::vector<std::string> lastFailure_;
  std::string sceneError_;
  int32_t reportedCount_ = 0;
  int32_t messages_ = 0;
  bool rowsSet_ = false;
  int32_t height_ = 0;
  std::vector<bool> arrived_;  // index line - 1
  std::vector<farm::WorkUnit> owed_;
};

}  // namespace jobs
