#pragma once
#include <cstdint>
#include <mutex>

namespace jobs {

// The process-wide job settings shared by every RenderNet2 object and the
// dispatch threads: the size of the next picture and the busy flag with
// its three states.
//
//   idle     no viewer held, not busy   (start; Init; the viewer closed)
//   running  viewer held, busy          (a job started)
//   blocked  no viewer held, still busy (Destory while running; only Init
//                                        leaves it)
//
// Jobs are numbered; closing a viewer names its job, so a viewer that Init
// left open still clears the busy flag when it closes, without forgetting
// the viewer of a later job. Thread-safe.
class JobSlot {
 public:
  enum class State { kIdle, kRunning, kBlocked };

  static constexpr int32_t kDefaultWidth = 640;
  static constexpr int32_t kDefaultHeight = 480;

  void SetImage(int32_t width, int32_t height);
  void Size(int32_t* width, int32_t* height) const;

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
  uint64_t last_job_ = 0;
};

}  // namespace jobs
