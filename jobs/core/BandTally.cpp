#include "jobs/core/BandTally.h"

#include <algorithm>

namespace jobs {

void BandTally::SetBandCount(int32_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  count_ = count;
  const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
  reported_.assign(n, false);
  ends_.assign(n, 0);
  failures_.assign(n, 0);
  lastFailure_.assign(n, std::string());
  reportedCount_ = 0;
}

void BandTally::SetRows(int32_t height, const std::vector<farm::WorkUnit>& owed) {
  std::lock_guard<std::mutex> lock(mutex_);
  rowsSet_ = true;
  height_ = height > 0 ? height : 0;
  arrived_.resize(static_cast<std::size_t>(height_), false);
  owed_ = owed;
}

int32_t BandTally::AddBand(const farm::WorkUnit& owed) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++count_;
  reported_.push_back(false);
  ends_.push_back(0);
  failures_.push_back(0);
  lastFailure_.emplace_back();
  owed_.resize(static_cast<std::size_t>(count_ - 1), farm::WorkUnit{1, 0, std::nullopt});
  owed_.push_back(owed);
  return count_;
}

void BandTally::SetOwed(int32_t band, const farm::WorkUnit& owed) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (band < 1 || band > count_ || static_cast<std::size_t>(band) > owed_.size()) return;
  owed_[static_cast<std::size_t>(band - 1)] = owed;
}

int32_t BandTally::ArrivedRows(farm::WorkUnit range) const {
  std::lock_guard<std::mutex> lock(mutex_);
  int32_t n = 0;
  for (int32_t r = std::max(range.first, 1); r <= std::min(range.last, height_); ++r) {
    n += arrived_[static_cast<std::size_t>(r - 1)] ? 1 : 0;
  }
  return n;
}

int32_t BandTally::FirstMissing(farm::WorkUnit range) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int32_t r = std::max(range.first, 1); r <= std::min(range.last, height_); ++r) {
    if (!arrived_[static_cast<std::size_t>(r - 1)]) return r;
  }
  return range.last + 1;
}

void BandTally::RowArrived(int32_t line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (line < 1 || line > static_cast<int32_t>(arrived_.size())) return;
  arrived_[static_cast<std::size_t>(line - 1)] = true;
}

int32_t BandTally::Ends(int32_t band) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return band >= 1 && band <= count_ ? ends_[static_cast<std::size_t>(band - 1)] : 0;
}

void BandTally::ReportFailure(int32_t band, const std::string& reason, bool sceneWrong) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++messages_;
  if (band < 1 || band > count_) return;
  if (sceneWrong && sceneError_.empty()) sceneError_ = reason.empty() ? "the scene is wrong" : reason;
  ++failures_[static_cast<std::size_t>(band - 1)];
  lastFailure_[static_cast<std::size_t>(band - 1)] = reason;
}

std::string BandTally::SceneError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sceneError_;
}

int32_t BandTally::Failures(int32_t band) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return band >= 1 && band <= count_ ? failures_[static_cast<std::size_t>(band - 1)] : 0;
}

std::string BandTally::LastFailure(int32_t band) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return band >= 1 && band <= count_ ? lastFailure_[static_cast<std::size_t>(band - 1)] : std::string();
}

bool BandTally::DoneLocked(int32_t band) const {
  if (band < 1 || band > count_) return false;
  const auto i = static_cast<std::size_t>(band - 1);
  if (!rowsSet_ || i >= owed_.size()) return reported_[i];
  // The end message too: a job that ended on its rows alone would leave
  // farmers still busy with them for the next job.
  return reported_[i] && MissingLocked(owed_[i]).empty();
}

bool BandTally::Done(int32_t band) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return DoneLocked(band);
}

std::string BandTally::MissingLocked(farm::WorkUnit range) const {
  constexpr int kMostRanges = 4;
  const int32_t first = range.first < 1 ? 1 : range.first;
  const int32_t last = range.last > height_ ? height_ : range.last;
  std::string text;
  int ranges = 0;
  for (int32_t r = first; r <= last; ++r) {
    if (arrived_[static_cast<std::size_t>(r - 1)]) continue;
    int32_t end = r;
    while (end < last && !arrived_[static_cast<std::size_t>(end)]) ++end;
    if (ranges == kMostRanges) {
      text += ", ...";
      break;
    }
    text += text.empty() ? "rows " : ", ";
    text += std::to_string(r);
    if (end > r) text += "-" + std::to_string(end);
    ++ranges;
    r = end;
  }
  return text;
}

std::string BandTally::MissingRows(farm::WorkUnit range) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return MissingLocked(range);
}

std::string BandTally::MissingRows() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return MissingLocked(farm::WorkUnit{1, height_, std::nullopt});
}

bool BandTally::Report(int32_t band) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++messages_;
  if (band < 1 || band > count_) return false;
  const auto i = static_cast<std::size_t>(band - 1);
  ++ends_[i];
  if (!reported_[i]) {
    reported_[i] = true;
    ++reportedCount_;
  }
  return true;
}

void BandTally::ReportUnlabelled() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++messages_;
}

bool BandTally::Reported(int32_t band) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return band >= 1 && band <= count_ && reported_[static_cast<std::size_t>(band - 1)];
}

bool BandTally::Complete() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ <= 0) return false;
  for (int32_t band = 1; band <= count_; ++band) {
    if (!DoneLocked(band)) return false;
  }
  return true;
}

int32_t BandTally::reported_count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reportedCount_;
}

int32_t BandTally::messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

}  // namespace jobs
