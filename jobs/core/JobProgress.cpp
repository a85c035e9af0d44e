#include "jobs/core/JobProgress.h"

#include <algorithm>
#include <utility>

namespace jobs {

JobProgress::JobProgress(Now now) : now_(std::move(now)), start_(now_()) {}

double JobProgress::Seconds(Clock::time_point from, Clock::time_point to) const {
  return std::chrono::duration<double>(to - from).count();
}

void JobProgress::Start(int32_t height, int32_t bands) {
  std::lock_guard<std::mutex> lock(mutex_);
  height_ = std::max<int32_t>(height, 0);
  bands_ = std::max<int32_t>(bands, 0);
  placed_.assign(static_cast<std::size_t>(height_), false);
  placed_count_ = 0;
  reported_.assign(static_cast<std::size_t>(bands_), false);
  reported_count_ = 0;
  current_.assign(static_cast<std::size_t>(bands_), -1);
}

void JobProgress::AddBand() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++bands_;
  reported_.push_back(false);
  current_.push_back(-1);
}

void JobProgress::BandCut(int32_t band, int32_t lastRow) {
  std::lock_guard<std::mutex> lock(mutex_);
  HandOut* h = Current(band);
  if (h == nullptr || lastRow >= h->work.lastRow || lastRow < h->work.firstRow) return;
  // Rows past the cut count for the band split off it, whoever sent them.
  for (int32_t r = lastRow + 1; r <= h->work.lastRow; ++r) {
    h->work.rows -= h->got[static_cast<std::size_t>(r - h->work.firstRow)] ? 1 : 0;
  }
  h->work.lastRow = lastRow;
  h->got.resize(static_cast<std::size_t>(lastRow - h->work.firstRow + 1));
}

JobProgress::HandOut* JobProgress::Current(int32_t band) {
  if (band < 1 || band > bands_) return nullptr;
  const int index = current_[static_cast<std::size_t>(band - 1)];
  return index < 0 ? nullptr : &hand_outs_[static_cast<std::size_t>(index)];
}

void JobProgress::BandHandedOut(int32_t band, const farm::WorkUnit& rows, const std::string& node) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (band < 1 || band > bands_) return;
  HandOut h;
  h.work.node = node.empty() ? "node " + std::to_string(band) : node;
  h.work.band = band;
  h.work.firstRow = std::max<int32_t>(rows.first, 1);
  h.work.lastRow = std::min(rows.last, height_);
  h.start = now_();
  if (h.work.lastRow >= h.work.firstRow) {
    h.got.assign(static_cast<std::size_t>(h.work.lastRow - h.work.firstRow + 1), false);
  }
  waiting_ = false;
  current_[static_cast<std::size_t>(band - 1)] = static_cast<int>(hand_outs_.size());
  hand_outs_.push_back(std::move(h));
}

void JobProgress::BandLost(int32_t band) {
  std::lock_guard<std::mutex> lock(mutex_);
  HandOut* h = Current(band);
  if (h == nullptr || h->lost) return;
  if (h->work.finished) {
    // It reported its end with rows missing: the band is not done after all,
    // and not on this node.
    reported_[static_cast<std::size_t>(band - 1)] = false;
    --reported_count_;
    h->work.finished = false;
  } else {
    h->work.seconds = Seconds(h->start, now_());
  }
  h->lost = true;
  h->work.lost = true;
  h->work.handedOutAgain = true;
}

void JobProgress::BandReported(int32_t band) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (band < 1 || band > bands_ || reported_[static_cast<std::size_t>(band - 1)]) return;
  reported_[static_cast<std::size_t>(band - 1)] = true;
  ++reported_count_;
  HandOut* h = Current(band);
  // A lost node may still report; its band is done all the same.
  if (h == nullptr || h->work.finished || h->lost) return;
  h->work.finished = true;
  if (!h->lost) h->work.seconds = Seconds(h->start, now_());
}

bool JobProgress::Credit(HandOut& h, int32_t line) {
  if (line < h.work.firstRow || line > h.work.lastRow) return false;
  auto got = h.got.begin() + (line - h.work.firstRow);
  if (*got) return false;
  *got = true;
  ++h.work.rows;
  return true;
}

void JobProgress::RowPlaced(int32_t line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (line < 1 || line > height_) return;
  auto placed = placed_.begin() + (line - 1);
  if (!*placed) {
    *placed = true;
    ++placed_count_;
  }
  // Open hand-outs first, then late rows of hand-outs already given up.
  for (HandOut& h : hand_outs_) {
    if (h.open() && Credit(h, line)) return;
  }
  for (HandOut& h : hand_outs_) {
    if (h.lost && Credit(h, line)) return;
  }
}

void JobProgress::Waiting(int32_t busy) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!hand_outs_.empty()) return;
  waiting_ = true;
  busy_ = busy;
}

void JobProgress::JobEnded() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ended_) return;
  ended_ = true;
  end_ = now_();
  for (HandOut& h : hand_outs_) {
    if (h.open()) h.work.seconds = Seconds(h.start, end_);
  }
}

JobProgressSnapshot JobProgress::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  JobProgressSnapshot s;
  s.rowsPlaced = placed_count_;
  s.rowsTotal = height_;
  s.bandsDone = reported_count_;
  s.bandsTotal = bands_;
  for (const HandOut& h : hand_outs_) s.nodesWorking += h.open() && !ended_ ? 1 : 0;
  s.elapsedSeconds = Seconds(start_, ended_ ? end_ : now_());
  s.waiting = waiting_ && !ended_;
  s.nodesBusy = busy_;
  s.packagesSent = packagesSent_;
  s.packageBytesSent = packageBytesSent_;
  s.packagesHeld = packagesHeld_;
  return s;
}

void JobProgress::PackageSent(int64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++packagesSent_;
  packageBytesSent_ += bytes;
}

void JobProgress::PackageHeld() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++packagesHeld_;
}

std::vector<NodeWork> JobProgress::Summary() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Clock::time_point now = ended_ ? end_ : now_();
  std::vector<NodeWork> summary;
  for (const HandOut& h : hand_outs_) {
    NodeWork w = h.work;
    if (h.open() && !ended_) w.seconds = Seconds(h.start, now);
    w.rowsPerSecond = w.seconds > 0 ? w.rows / w.seconds : 0.0;
    summary.push_back(std::move(w));
  }
  return summary;
}

}  // namespace jobs
