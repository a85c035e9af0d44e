#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "idl/WorkUnit.h"

namespace jobs {

// One hand-out of an animation job: band `band` of `bands` of frame
// `frame` (bands 1 of 1: the whole frame).
struct FrameUnit {
  int32_t frame = 0;
  int32_t band = 1;
  int32_t bands = 1;
  bool operator==(const FrameUnit&) const = default;
};

// Which frames of an animation go out next, and the band labels they go
// out under. Whole frames while at least as many frames wait as nodes are
// idle (nothing is traced twice); the last frames, when idle nodes
// outnumber them, are cut into bands as stills are, so that no node idles
// while a frame is left.
//
// Labels: every unit gets the next label (the band number of the end
// message, "Render<k>.zip") the first time it is cut, from 1 up, and keeps
// it for its retries; LabelOf and UnitOf map between them.
//
// A frame whose unit fails goes out again (to another node: the caller's
// choice); after kMostFailures failures of its units the frame fails for
// good, with the last reason, and the others go on.
//
// Plain data: the dispatch thread alone uses it.
class FramePlan {
 public:
  static constexpr int kMostFailures = 3;

  // Frames first..last, without those in `skip` (frames already on disk).
  FramePlan(int32_t first, int32_t last, const std::vector<int32_t>& skip = {});

  // The units for `idle` idle nodes, at most one per node: units that
  // failed first, then waiting frames (whole, or in bands as above).
  std::vector<FrameUnit> Next(int idle);

  int32_t LabelOf(const FrameUnit& unit) const;
  std::optional<FrameUnit> UnitOf(int32_t label) const;

  // The unit under `label` rendered all its rows; true when its frame is
  // now whole.
  bool Done(int32_t label);
  // The unit under `label` failed for `reason`: it waits for another node,
  // or its frame fails for good.
  // With `final` (the scene itself is wrong for that frame) the frame fails
  // for good at once: another node would only fail it again.
  void Failed(int32_t label, const std::string& reason, bool final = false);
  // The unit under `label` never started (its node refused it): it waits
  // again without counting as a failure.
  void Retry(int32_t label);
  // Labels cut so far: every label is 1..labels().
  int32_t labels() const { return static_cast<int32_t>(cuts_.size()); }

  // Every frame whole or failed for good.
  bool Over() const;
  // Frames failed for good, with why, in frame order.
  std::vector<std::pair<int32_t, std::string>> FailedFrames() const;
  int32_t framesTotal() const { return static_cast<int32_t>(frames_.size()); }
  int32_t framesDone() const;

 private:
  struct Frame {
    int32_t number = 0;
    bool started = false;
    int bands = 0;  // 0 until cut
    std::vector<bool> bandDone;
    int failures = 0;
    std::string lastFailure;
    bool whole = false;
    bool lost = false;  // failed for good
  };
  struct Cut {
    FrameUnit unit;
    bool waiting = false;  // failed, to go out again
  };
  Frame* Find(int32_t number);
  int32_t Label(const FrameUnit& unit);

  std::vector<Frame> frames_;
  std::vector<Cut> cuts_;  // by label - 1
};

// The file of frame `frame` as povray names it: `out`'s stem, the frame
// number zero-padded to the digits of `finalFrame`, `out`'s extension
// ("scene.png", 7, 10: "scene07.png"), in `out`'s folder.
std::filesystem::path FrameFileName(const std::filesystem::path& out, int32_t frame, int32_t finalFrame);

// With povray's continue option: the frames of first..last whose file is
// already there, named for an animation whose final frame is `finalFrame`.
std::vector<int32_t> FramesOnDisk(const std::filesystem::path& out, int32_t first, int32_t last, int32_t finalFrame);

}  // namespace jobs
