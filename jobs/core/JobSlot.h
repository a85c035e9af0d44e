#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "jobs/core/JobOrder.h"

namespace jobs {

// The process-wide job settings shared by every RenderNet2 object: the size
// of the next picture, the jobs that run, and the busy flag with its three
// states.
//
//   idle     no viewer held, not busy   (start; Init; the viewer closed)
//   running  viewer held, busy          (a job started)
//   blocked  no viewer held, still busy (Destory while running; only Init
//                                        leaves it)
//
// Jobs are numbered; closing a viewer names its job, so a viewer that Init
// left open still clears the busy flag when it closes, without forgetting
// the viewer of a later job.
//
// Threads: any (the host's, the GUI thread, dispatch threads); every member
// takes the one mutex_, and calls into a JobOrder only under it.
class JobSlot {
 public:
  enum class State { kIdle, kRunning, kBlocked };

  static constexpr int32_t kDefaultWidth = 640;
  static constexpr int32_t kDefaultHeight = 480;

  // The size of the next picture, and of the bands every running job hands
  // out from now on (their band split keeps the height they began with).
  void SetImage(int32_t width, int32_t height);
  void Size(int32_t* width, int32_t* height) const;

  // `order` runs from now on: it takes the size SetImage set last, and
  // follows SetImage until it is destroyed.
  void Follow(const std::shared_ptr<JobOrder>& order);

  // Starts job number *job when not busy: busy, viewer held. Returns false,
  // changing nothing, while busy.
  bool TryStart(uint64_t* job);

  // Forgets the held viewer (it may stay open) and clears the busy flag.
  void Init();

  // The held viewer was destroyed by the host; the busy flag stays.
  void Destroy();

  // The viewer of `job` was closed by the user: clears the busy flag, and
  // forgets the held viewer when it was that job's.
  void ViewerClosed(uint64_t job);

  State state() const;
  bool viewer_held() const;
  uint64_t held_job() const;  // 0 when no viewer is held

 private:
  mutable std::mutex mutex_;
  int32_t width_ = kDefaultWidth;
  int32_t height_ = kDefaultHeight;
  bool busy_ = false;
  uint64_t held_ = 0;
  uint64_t lastJob_ = 0;
  std::vector<std::weak_ptr<JobOrder>> orders_;
};

}  // namespace jobs
