#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "idl/WorkUnit.h"

namespace jobs {

// A render job's progress at one moment.
struct JobProgressSnapshot {
  int32_t rowsPlaced = 0;  // picture rows received at least once
  int32_t rowsTotal = 0;   // rows of the picture; 0 until the bands are cut
  int32_t bandsDone = 0;   // bands whose rows are all there
  int32_t bandsTotal = 0;
  int32_t nodesWorking = 0;   // bands out on a node, not done yet
  double elapsedSeconds = 0;  // since the job started
  bool waiting = false;       // no band out yet: every node is busy, or taken by jobs that asked first
  int32_t nodesBusy = 0;      // while waiting: the nodes busy with other jobs
  int32_t packagesSent = 0;   // hand-outs that sent the package's bytes
  int64_t packageBytesSent = 0;
  int32_t packagesHeld = 0;  // hand-outs to nodes that held the package already

  // rowsPlaced / rowsTotal, 0 before the bands are cut.
  double fraction() const { return rowsTotal > 0 ? static_cast<double>(rowsPlaced) / rowsTotal : 0.0; }
};

// One hand-out of a band to a node, as the summary after the job lists it.
struct NodeWork {
  std::string node;      // the node's name as the dispatch gives it (its host:port)
  int32_t band = 0;      // 1-based
  int32_t firstRow = 0;  // the rows the node was asked for, within the picture
  int32_t lastRow = 0;
  int32_t rows = 0;    // distinct rows of that range received from it
  double seconds = 0;  // hand-out to the band done (or its failure, or the job's end)
  double rowsPerSecond = 0;
  bool finished = false;        // the band was done on it
  bool lost = false;            // the node lost the band (rows counts what it sent before)
  bool handedOutAgain = false;  // it failed the band (stopped answering, rows missing): the band went out again
};

// Counts the rows of a render job per band and per node, for a progress
// display during the job and a per-node summary after it. Fed by small
// hooks of the dispatch (bands cut, handed out, failed, done) and of the
// boss (every row that arrives). Thread-safe: rows arrive on the ORB's
// threads while the dispatch thread hands out bands and the host reads.
//
// A row carries no sign of the node that rendered it, so rows are credited
// by position: to the open hand-out whose range holds the row and that has
// not had it yet (neighbouring bands overlap at their seams, so a seam row
// is expected twice, once from each side). Each hand-out counts a row at
// most once, so with no node lost the rows of all hand-outs add up to the
// picture's rows plus the overlapping rows.
class JobProgress {
 public:
  using Clock = std::chrono::steady_clock;
  using Now = std::function<Clock::time_point()>;

  // Starts the job's clock; `now` may be replaced for tests.
  explicit JobProgress(Now now = Clock::now);

  // The bands are cut: `height` rows in `bands` bands.
  void Start(int32_t height, int32_t bands);
  // Band `band` goes to the node `node` for `rows` (the widened rows it is
  // asked to render; clipped to the picture).
  void BandHandedOut(int32_t band, const farm::WorkUnit& rows, const std::string& node);
  // A band split off during the job: the next number.
  void AddBand();
  // The node of band `band` now owes rows only up to `lastRow`: later rows
  // go to the band split off it.
  void BandCut(int32_t band, int32_t lastRow);
  // The hand-out of band `band` failed (its node stopped answering, or it
  // ended with rows missing); the band will go out again, and counts as
  // not done until it reports once more.
  void BandLost(int32_t band);
  // Band `band` is done (its rows are there). Said again, it changes nothing.
  void BandReported(int32_t band);
  // The job waits for a node; `busy` nodes work for other jobs. Said
  // until the first hand-out.
  void Waiting(int32_t busy);
  // Row `line` (1 = top) arrived. Rows outside the picture are ignored.
  void RowPlaced(int32_t line);
  // A hand-out sent the package (`bytes` long), or found it held by the
  // node. Any thread.
  void PackageSent(int64_t bytes);
  void PackageHeld();
  // The job ended: the clock stops and open hand-outs end their time.
  void JobEnded();

  JobProgressSnapshot Snapshot() const;
  // Every hand-out in the order they were made.
  std::vector<NodeWork> Summary() const;

 private:
  struct HandOut {
    NodeWork work;
    Clock::time_point start;
    std::vector<bool> got;  // by row - firstRow
    bool lost = false;
    bool open() const { return !work.finished && !lost; }
  };

  double Seconds(Clock::time_point from, Clock::time_point to) const;
  HandOut* Current(int32_t band);
  bool Credit(HandOut& h, int32_t line);

  mutable std::mutex mutex_;
  Now now_;
  const Clock::time_point start_;
  bool ended_ = false;
  bool waiting_ = false;
  int32_t busy_ = 0;
  int32_t packagesSent_ = 0;
  int64_t packageBytesSent_ = 0;
  int32_t packagesHeld_ = 0;
  Clock::time_point end_;
  int32_t height_ = 0;
  int32_t bands_ = 0;
  std::vector<bool> placed_;  // by line - 1
  int32_t placed_count_ = 0;
  std::vector<bool> reported_;  // by band - 1
  int32_t reported_count_ = 0;
  std::vector<HandOut> hand_outs_;
  std::vector<int> current_;  // by band - 1: index into hand_outs_, or -1
};

}  // namespace jobs
