#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "jobs/core/JobProgress.h"

namespace demo {

// What a headless render shows while it waits: on a terminal one live line
// (bar, percent, rows, elapsed, time left, nodes working) rewritten in
// place; elsewhere (a log, a pipe) a line each time another tenth of the
// rows is in. While the job waits for a node, "waiting for a free node, N
// busy" instead. At the end, a table of the nodes' work: each band a node
// was handed, and whether it ended there "done" or "lost".
//
// The one thread that waits for the render; nothing in it is shared.
class ProgressReport {
 public:
  ProgressReport(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

  // Shows the progress of this moment.
  void Update(const jobs::JobProgressSnapshot& progress);

  // Ends the live line and prints one line per hand-out of a band.
  void Finish(const jobs::JobProgressSnapshot& progress, const std::vector<jobs::NodeWork>& nodes);

  // "[#####-----]  50.0 %  240/480 rows  0:12 elapsed  0:12 left  2 nodes"
  static std::string Line(const jobs::JobProgressSnapshot& progress, int barWidth);

 private:
  std::FILE* out_;
  const bool terminal_;
  int tenths_shown_ = 0;  // not on a terminal: the last tenth printed
  int busy_shown_ = -1;   // not on a terminal: the busy count of the last waiting line
  bool line_open_ = false;
};

}  // namespace demo
