#pragma once
#include <QPointer>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jobs/core/Dispatcher.h"
#include "jobs/core/JobOrder.h"
#include "jobs/core/JobProgress.h"
#include "jobs/view/MergeImg.h"

namespace jobs {

// Runs `fn` on the GUI thread (the QApplication's) and waits for it; runs it
// at once when called there. Returns false, without running it, when there
// is no application.
bool RunOnGuiThread(const std::function<void()>& fn);

// One render job started by Zarvo, shared by the host's RenderNet2 object,
// the job's dispatch thread and its boss: its order (what it renders), its
// viewer, its progress and how it ended. It knows only its own viewer, so
// rows of this job never reach the picture of another one, and rows that
// arrive after the viewer is gone are dropped.
//
// Threads: any; the viewer is touched on the GUI thread only, the outcome
// is atomic, the reason is guarded by mutex_, and the order and progress
// guard themselves.
class RenderJob {
 public:
  // `viewer` may be null; it shows the picture of `order`'s size. Create
  // on the GUI thread.
  RenderJob(std::shared_ptr<JobOrder> order, CMergeImg* viewer);

  uint64_t number() const { return order_->number(); }
  const std::shared_ptr<JobOrder>& order() const { return order_; }

  // Places a row into the job's viewer on the GUI thread and returns once it
  // is painted. Any thread. Does nothing when the viewer is gone.
  void DeliverRow(int32_t line, const int32_t* colors, std::size_t count);

  // Saves the viewer's picture (format by extension). Any thread. False
  // when the viewer is gone or the save fails.
  bool SavePicture(const std::string& path);

  // Copies the viewer's picture as it is now: `rgb` gets width x height
  // pixels of three bytes (red, green, blue), top row first. Any thread.
  // False, leaving the arguments alone, when the viewer is gone.
  bool CopyPicture(std::vector<uint8_t>* rgb, int32_t* width, int32_t* height);

  // Set once by the dispatch thread when the job ends; `reason` is one line
  // saying why a job did not complete (empty when it did).
  void End(JobOutcome outcome, const std::string& reason);
  JobOutcome outcome() const { return outcome_.load(); }
  std::string reason() const;

  // Asks the job to end: its dispatch stops at the next step, tells the
  // nodes working for it to stop, and ends the job as cancelled. Any
  // thread; a job that has ended already stays as it ended.
  void Cancel() { cancelled_.store(true); }
  bool cancelled() const { return cancelled_.load(); }

  // Rows and bands counted while the job runs. Any thread.
  JobProgress& progress() { return progress_; }

 private:
  const std::shared_ptr<JobOrder> order_;
  QPointer<CMergeImg> viewer_;  // read and dereferenced on the GUI thread only
  std::atomic<JobOutcome> outcome_{JobOutcome::kRunning};
  std::atomic<bool> cancelled_{false};
  mutable std::mutex mutex_;
  std::string reason_;
  JobProgress progress_;
};

}  // namespace jobs
