#include "jobs/BandTally.h"

namespace lumora {

std::optional<int32_t> BandFromLabel(std::string_view label) {
  constexpr std::string_view kPrefix = "Render";
  constexpr std::string_view kSuffix = ".zip";
  if (label.size() <= kPrefix.size() + kSuffix.size()) return std::nullopt;
  if (label.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  if (label.substr(label.size() - kSuffix.size()) != kSuffix) return std::nullopt;
  const std::string_view digits = label.substr(kPrefix.size(), label.size() - kPrefix.size() - kSuffix.size());
  if (digits.size() > 9) return std::nullopt;  // keeps the value inside 32 bits
  int32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1) return std::nullopt;
  return value;
}

void BandTally::SetBandCount(int32_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  count_ = count;
  reported_.assign(count > 0 ? static_cast<std::size_t>(count) : 0, false);
  reported_count_ = 0;
}

bool BandTally::Report(int32_t band) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++messages_;
  if (band < 1 || band > count_) return false;
  const auto i = static_cast<std::size_t>(band - 1);
  if (!reported_[i]) {
    reported_[i] = true;
    ++reported_count_;
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
  return count_ > 0 && reported_count_ == count_;
}

int32_t BandTally::reported_count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reported_count_;
}

int32_t BandTally::messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

}  // namespace lumora
