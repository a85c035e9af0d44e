#include "jobs/core/FramePlan.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace jobs {

FramePlan::FramePlan(int32_t first, int32_t last, const std::vector<int32_t>& skip) {
  for (int32_t f = first; f <= last; ++f) {
    if (std::find(skip.begin(), skip.end(), f) != skip.end()) continue;
    Frame frame;
    frame.number = f;
    frames_.push_back(frame);
  }
}

FramePlan::Frame* FramePlan::Find(int32_t number) {
  for (Frame& f : frames_) {
    if (f.number == number) return &f;
  }
  return nullptr;
}

int32_t FramePlan::Label(const FrameUnit& unit) {
  cuts_.push_back({unit, false});
  return static_cast<int32_t>(cuts_.size());
}

std::vector<FrameUnit> FramePlan::Next(int idle) {
  std::vector<FrameUnit> units;
  for (Cut& c : cuts_) {
    if (static_cast<int>(units.size()) >= idle) return units;
    if (!c.waiting) continue;
    c.waiting = false;
    units.push_back(c.unit);
  }
  std::vector<Frame*> waiting;
  for (Frame& f : frames_) {
    if (!f.started && !f.lost) waiting.push_back(&f);
  }
  const int left = idle - static_cast<int>(units.size());
  if (left <= 0 || waiting.empty()) return units;
  const int count = static_cast<int>(waiting.size());
  // Enough frames: whole ones. Too few: every idle node takes a band.
  const int framesNow = std::min(count, left);
  for (int i = 0; i < framesNow; ++i) {
    Frame& f = *waiting[i];
    f.started = true;
    f.bands = count >= left ? 1 : left / count + (i < left % count ? 1 : 0);
    f.bandDone.assign(static_cast<std::size_t>(f.bands), false);
    for (int32_t b = 1; b <= f.bands; ++b) {
      const FrameUnit unit{f.number, b, f.bands};
      Label(unit);
      units.push_back(unit);
    }
  }
  return units;
}

int32_t FramePlan::LabelOf(const FrameUnit& unit) const {
  for (std::size_t i = 0; i < cuts_.size(); ++i) {
    if (cuts_[i].unit == unit) return static_cast<int32_t>(i + 1);
  }
  return 0;
}

std::optional<FrameUnit> FramePlan::UnitOf(int32_t label) const {
  if (label < 1 || static_cast<std::size_t>(label) > cuts_.size()) return std::nullopt;
  return cuts_[static_cast<std::size_t>(label - 1)].unit;
}

bool FramePlan::Done(int32_t label) {
  const std::optional<FrameUnit> unit = UnitOf(label);
  Frame* f = unit ? Find(unit->frame) : nullptr;
  if (f == nullptr || f->lost) return false;
  cuts_[static_cast<std::size_t>(label - 1)].waiting = false;
  f->bandDone[static_cast<std::size_t>(unit->band - 1)] = true;
  f->whole = std::all_of(f->bandDone.begin(), f->bandDone.end(), [](bool d) { return d; });
  return f->whole;
}

void FramePlan::Retry(int32_t label) {
  const std::optional<FrameUnit> unit = UnitOf(label);
  Frame* f = unit ? Find(unit->frame) : nullptr;
  if (f == nullptr || f->whole || f->lost) return;
  cuts_[static_cast<std::size_t>(label - 1)].waiting = true;
}

void FramePlan::Failed(int32_t label, const std::string& reason, bool final) {
  const std::optional<FrameUnit> unit = UnitOf(label);
  Frame* f = unit ? Find(unit->frame) : nullptr;
  if (f == nullptr || f->whole || f->lost) return;
  f->lastFailure = reason;
  if (++f->failures >= kMostFailures || final) {
    f->lost = true;
    for (Cut& c : cuts_) {
      if (c.unit.frame == f->number) c.waiting = false;
    }
    return;
  }
  cuts_[static_cast<std::size_t>(label - 1)].waiting = true;
}

bool FramePlan::Over() const {
  return std::all_of(frames_.begin(), frames_.end(), [](const Frame& f) { return f.whole || f.lost; });
}

std::vector<std::pair<int32_t, std::string>> FramePlan::FailedFrames() const {
  std::vector<std::pair<int32_t, std::string>> failed;
  for (const Frame& f : frames_) {
    if (f.lost) failed.emplace_back(f.number, f.lastFailure);
  }
  return failed;
}

int32_t FramePlan::framesDone() const {
  return static_cast<int32_t>(std::count_if(frames_.begin(), frames_.end(), [](const Frame& f) { return f.whole; }));
}

std::filesystem::path FrameFileName(const std::filesystem::path& out, int32_t frame, int32_t finalFrame) {
  const std::size_t digits = std::to_string(std::abs(static_cast<int64_t>(finalFrame))).size();
  std::string number = std::to_string(std::abs(static_cast<int64_t>(frame)));
  if (number.size() < digits) number.insert(0, digits - number.size(), '0');
  if (frame < 0) number = "-" + number;
  std::filesystem::path name = out.parent_path() / (out.stem().string() + number);
  name += out.extension();
  return name;
}

std::vector<int32_t> FramesOnDisk(const std::filesystem::path& out, int32_t first, int32_t last, int32_t finalFrame) {
  std::vector<int32_t> present;
  std::error_code ec;
  for (int32_t f = first; f <= last; ++f) {
    if (std::filesystem::is_regular_file(FrameFileName(out, f, finalFrame), ec)) present.push_back(f);
  }
  return present;
}

}  // namespace jobs
