#include "demo/ProgressReport.h"

#include <algorithm>
#include <cmath>

namespace demo {

namespace {

std::string Clock(double seconds) {
  const long s = std::lround(std::max(seconds, 0.0));
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  }
  return text;
}

}  // namespace

std::string ProgressReport::Line(const jobs::JobProgressSnapshot& p, int barWidth) {
  if (p.waiting) {
    return "waiting for a free node, " + std::to_string(p.nodesBusy) + " busy  " + Clock(p.elapsedSeconds) + " elapsed";
  }
  const double f = std::min(p.fraction(), 1.0);
  const int full = static_cast<int>(f * barWidth);
  std::string line = "[" + std::string(full, '#') + std::string(barWidth - full, '-') + "]";
  char text[160];
  std::snprintf(text, sizeof text, " %5.1f %%  %d/%d rows  %s elapsed", 100 * f, p.rowsPlaced, p.rowsTotal,
                Clock(p.elapsedSeconds).c_str());
  line += text;
  // The rate so far, once there is one to go by.
  line += f > 0 && f < 1 ? "  " + Clock(p.elapsedSeconds * (1 - f) / f) + " left" : "  --:-- left";
  std::snprintf(text, sizeof text, "  %d node%s", p.nodesWorking, p.nodesWorking == 1 ? "" : "s");
  return line + text;
}

void ProgressReport::Update(const jobs::JobProgressSnapshot& p) {
  if (terminal_) {
    std::fprintf(out_, "\r%s\033[K", Line(p, 30).c_str());
    line_open_ = true;
  } else if (p.waiting) {
    if (p.nodesBusy == busy_shown_) return;  // said once, and again when it changes
    busy_shown_ = p.nodesBusy;
    std::fprintf(out_, "waiting for a free node, %d busy\n", p.nodesBusy);
  } else {
    const int tenths = static_cast<int>(std::min(p.fraction(), 1.0) * 10);
    if (tenths <= tenths_shown_) return;
    tenths_shown_ = tenths;
    std::fprintf(out_, "%s\n", Line(p, 10).c_str());
  }
  std::fflush(out_);
}

void ProgressReport::Finish(const jobs::JobProgressSnapshot& p, const std::vector<jobs::NodeWork>& nodes) {
  Update(p);
  if (line_open_) std::fputc('\n', out_);
  line_open_ = false;
  if (!nodes.empty()) {
    std::fprintf(out_, "%-24s %4s %11s %6s %8s %8s  %s\n", "node", "band", "rows asked", "rows", "seconds", "rows/s",
                 "ended");
  }
  for (const jobs::NodeWork& n : nodes) {
    char asked[32];
    std::snprintf(asked, sizeof asked, "%d-%d", n.firstRow, n.lastRow);
    std::fprintf(out_, "%-24s %4d %11s %6d %8.1f %8.1f  %s\n", n.node.c_str(), n.band, asked, n.rows, n.seconds,
                 n.rowsPerSecond,
                 n.lost       ? "lost"
                 : n.finished ? "done"
                              : "-");
  }
  if (p.packagesSent + p.packagesHeld > 0) {
    std::fprintf(out_, "package: sent to %d node(s), %lld bytes; already held by %d\n", p.packagesSent,
                 static_cast<long long>(p.packageBytesSent), p.packagesHeld);
  }
  std::fflush(out_);
}

}  // namespace demo
