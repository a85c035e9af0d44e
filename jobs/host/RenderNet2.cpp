#include "jobs/host/RenderNet2.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "jobs/core/JobOrder.h"
#include "jobs/core/JobSlot.h"
#include "jobs/core/UserScene.h"
#include "jobs/host/DispatchJob.h"
#include "jobs/host/MessageBoxes.h"
#include "jobs/host/RenderJob.h"
#include "jobs/view/Picture.h"
#include "platform/Folders.h"
#include "scene/WorkFolder.h"

namespace jobs {
namespace {

// Process-wide by design: every RenderNet2 object shares the picture size,
// the busy flag and the viewer of the current or last job.
struct Module {
  JobSlot slot;
  // Guarded, not owned outright: the viewer deletes itself when the user
  // closes it, and Init lets go of it while it stays open.
  QPointer<CMergeImg> viewer;  // GUI thread only
  std::mutex jobsMutex;        // guards running
  std::vector<std::weak_ptr<RenderJob>> running;

  void Track(const std::shared_ptr<RenderJob>& job) {
    std::lock_guard<std::mutex> lock(jobsMutex);
    running.erase(std::remove_if(running.begin(), running.end(),
                                 [](const std::weak_ptr<RenderJob>& j) {
                                   const std::shared_ptr<RenderJob> live = j.lock();
                                   return !live || live->outcome() != JobOutcome::kRunning;
                                 }),
                  running.end());
    running.push_back(job);
  }
  // The jobs still running; cancels them first when `cancel`.
  std::vector<std::shared_ptr<RenderJob>> Running(bool cancel) {
    std::lock_guard<std::mutex> lock(jobsMutex);
    std::vector<std::shared_ptr<RenderJob>> out;
    for (const std::weak_ptr<RenderJob>& j : running) {
      std::shared_ptr<RenderJob> live = j.lock();
      if (!live || live->outcome() != JobOutcome::kRunning) continue;
      if (cancel) live->Cancel();
      out.push_back(std::move(live));
    }
    return out;
  }

  // Deletes the viewer held, if it is still there. GUI thread.
  void DeleteViewer() {
    delete viewer.data();
    viewer = nullptr;
  }
};

Module& TheModule() {
  static Module* module = new Module;  // never destroyed: dispatch threads may outlive main()
  return *module;
}

// The scene maker's work folder: the scene it wrote is packed from there.
std::filesystem::path WorkFolder() { return scene::WorkFolder::OfLibrary().root(); }

bool SizeAcceptable(int32_t width, int32_t height) {
  return width >= 1 && height >= 1 && width <= Picture::kMaxSide && height <= Picture::kMaxSide &&
         int64_t{width} * height <= Picture::kMaxPixels;
}

bool OnGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

}  // namespace
}  // namespace jobs

using jobs::JobOutcome;
using jobs::TheModule;

RenderNet2::RenderNet2() { jobs::InstallMessageBoxes(); }

RenderNet2::~RenderNet2() {
  // A host that lets go of its render mid-job (a script's object deleted)
  // leaves no node rendering for nobody.
  if (job_ && job_->outcome() == JobOutcome::kRunning) CancelJob(3000);
}

namespace {

// Waits for `running()` to turn false or the deadline, with the Qt event
// loop running on the GUI thread (rows are placed there meanwhile).
void WaitWhile(const std::function<bool()>& running, int32_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  auto expired = [&] { return timeoutMs >= 0 && Clock::now() >= deadline; };
  if (jobs::OnGuiThread()) {
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      if (!running() || expired()) loop.quit();
    });
    if (running() && !expired()) {
      poll.start();
      loop.exec();
    }
  } else {
    while (running() && !expired()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

HRESULT RenderNet2::CancelJob(int32_t waitMs) {
  if (!job_ || job_->outcome() != JobOutcome::kRunning) return S_OK;
  job_->Cancel();
  const std::shared_ptr<jobs::RenderJob> job = job_;
  WaitWhile([&] { return job->outcome() == JobOutcome::kRunning; }, waitMs);
  return job->outcome() == JobOutcome::kRunning ? S_FALSE : S_OK;
}

bool RenderNet2::CancelAllJobs(int32_t waitMs) {
  const std::vector<std::shared_ptr<jobs::RenderJob>> running = TheModule().Running(true);
  auto anyRunning = [&] {
    for (const auto& j : running) {
      if (j->outcome() == JobOutcome::kRunning) return true;
    }
    return false;
  };
  WaitWhile(anyRunning, waitMs);
  return !anyRunning();
}

HRESULT RenderNet2::Zarvo(const WId* pWnd) {
  reason_.clear();
  int32_t width = 0;
  int32_t height = 0;
  TheModule().slot.Size(&width, &height);
  if (scene_) {
    // A still job would make every node render every frame.
    const platform::StatusOr<farm::FrameRange> frames = farm::AnimationFrames(scene_->options);
    if (!frames || frames->animation() || scene_->options.continueTrace) {
      job_.reset();
      reason_ = !frames ? frames.status().reason()
                        : "an animation (Final_Frame above Initial_Frame) or +C renders with `lumora render`";
      return S_OK;
    }
    width = scene_->options.width;
    height = scene_->options.height;
  }
  if (QCoreApplication::instance() == nullptr) {
    job_.reset();
    reason_ = "no QApplication: the render job needs a GUI thread";
    return S_OK;
  }
  if (!jobs::SizeAcceptable(width, height)) {
    job_.reset();
    reason_ = "picture size " + std::to_string(width) + " x " + std::to_string(height) + " refused";
    return S_OK;
  }
  jobs::BandPlan plan = jobs::BandPlanFromEnvironment();
  if (bands_per_node_ > 0) plan.bandsPerFarmer = bands_per_node_;
  const WId host = pWnd != nullptr ? *pWnd : 0;
  std::shared_ptr<jobs::RenderJob> job;
  jobs::RunOnGuiThread([&] {
    jobs::Module& module = TheModule();
    uint64_t number = 0;
    if (!module.slot.TryStart(&number)) return;
    auto order =
        std::make_shared<jobs::JobOrder>(number, jobs::JobOrder::Size{width, height}, plan, jobs::WorkFolder());
    if (scene_) {
      order->set_scene(scene_);  // its size is the scene's own: SetImage does not reach it
    } else {
      module.slot.Follow(order);  // a SetImage from now on reaches the job's later bands
    }
    module.DeleteViewer();
    jobs::CMergeImg* viewer = jobs::CMergeImg::CreateForHost(&host);
    module.viewer = viewer;
    viewer->CreatePicture(order->startSize().width, order->startSize().height);
    viewer->ShowViewer();
    job = std::make_shared<jobs::RenderJob>(order, viewer);
    // The user who closes the picture no longer wants it rendered.
    viewer->on_closed = [number, weak = std::weak_ptr<jobs::RenderJob>(job)] {
      TheModule().slot.ViewerClosed(number);
      if (const std::shared_ptr<jobs::RenderJob> closed = weak.lock()) closed->Cancel();
    };
    module.Track(job);
  });
  if (!job) {
    job_.reset();
    reason_ = "a render job is still busy (close its viewer or call Init)";
    return S_OK;
  }
  job_ = job;
  std::thread([job] { jobs::RunDispatch(job); }).detach();
  return S_OK;
}

HRESULT RenderNet2::Destory() {
  jobs::RunOnGuiThread([] {
    jobs::Module& module = TheModule();
    module.DeleteViewer();
    module.slot.Destroy();
  });
  return S_OK;
}

HRESULT RenderNet2::Init() {
  TheModule().Running(true);  // a fresh start: nothing left rendering
  jobs::RunOnGuiThread([] { TheModule().viewer = nullptr; });
  TheModule().slot.Init();
  return S_OK;
}

HRESULT RenderNet2::SetImage(int32_t width, int32_t heigth) {
  TheModule().slot.SetImage(width, heigth);
  return S_OK;
}

namespace {

int32_t StateOf(const std::shared_ptr<jobs::RenderJob>& job) {
  if (!job) return RenderNet2::kJobNotStarted;
  switch (job->outcome()) {
    case JobOutcome::kRunning: return RenderNet2::kJobRunning;
    case JobOutcome::kCompleted: return RenderNet2::kJobCompleted;
    case JobOutcome::kNoIdleNode: return RenderNet2::kJobNoIdleNode;
    case JobOutcome::kAbandoned: return RenderNet2::kJobAbandoned;
    case JobOutcome::kFailed: return RenderNet2::kJobFailed;
    case JobOutcome::kIncomplete: return RenderNet2::kJobIncomplete;
    case JobOutcome::kCancelled: return RenderNet2::kJobCancelled;
  }
  return RenderNet2::kJobFailed;
}

}  // namespace

HRESULT RenderNet2::GetJobState(int32_t* state) {
  if (state != nullptr) *state = StateOf(job_);
  return S_OK;
}

HRESULT RenderNet2::WaitForJob(int32_t timeoutMs, int32_t* state) {
  WaitWhile([&] { return job_ && job_->outcome() == JobOutcome::kRunning; }, timeoutMs);
  const int32_t now = StateOf(job_);
  if (state != nullptr) *state = now;
  return now == kJobRunning ? S_FALSE : S_OK;
}

HRESULT RenderNet2::GetJobReason(const char** reason) {
  // A refusal since the last job (SetScene's) comes before that job's reason.
  reason_text_ = reason_.empty() && job_ && job_->outcome() != JobOutcome::kRunning ? job_->reason() : reason_;
  if (reason != nullptr) *reason = reason_text_.c_str();
  return S_OK;
}

HRESULT RenderNet2::SavePicture(const char* path) {
  if (path == nullptr || !job_) return S_FALSE;
  return job_->SavePicture(path) ? S_OK : S_FALSE;
}

HRESULT RenderNet2::SetBandsPerNode(int32_t count) {
  if (count < 0 || count > jobs::BandPlan::kMaxBandsPerFarmer) return S_FALSE;
  bands_per_node_ = count;
  return S_OK;
}

HRESULT RenderNet2::CopyPicture(std::vector<uint8_t>* rgb, int32_t* width, int32_t* height) {
  if (rgb == nullptr || width == nullptr || height == nullptr || !job_) return S_FALSE;
  return job_->CopyPicture(rgb, width, height) ? S_OK : S_FALSE;
}

HRESULT RenderNet2::GetJobProgress(jobs::JobProgressSnapshot* progress) {
  if (progress != nullptr) *progress = job_ ? job_->progress().Snapshot() : jobs::JobProgressSnapshot{};
  return S_OK;
}

HRESULT RenderNet2::GetNodeSummary(std::vector<jobs::NodeWork>* summary) {
  if (summary != nullptr) *summary = job_ ? job_->progress().Summary() : std::vector<jobs::NodeWork>{};
  return S_OK;
}

HRESULT RenderNet2::SetScene(const std::vector<std::string>& args) {
  reason_.clear();
  scene_.reset();
  scene_output_.clear();
  // The last job stays: its state tells Zarvo whether it ended and may be
  // put away, or still runs.
  platform::StatusOr<farm::RenderOptions> read = farm::ReadRenderArguments(args);
  if (!read) {
    reason_ = read.status().reason();
    return S_FALSE;
  }
  const farm::RenderOptions options = std::move(read).value();
  if (!jobs::SizeAcceptable(options.width, options.height)) {
    reason_ = "picture size " + std::to_string(options.width) + " x " + std::to_string(options.height) + " refused";
    return S_FALSE;
  }
  platform::StatusOr<jobs::UserScene> planned = jobs::UserScene::Plan(options);
  if (!planned) {
    reason_ = planned.status().reason();
    return S_FALSE;
  }
  scene_ = std::make_shared<const jobs::UserScene>(std::move(planned).value());
  // Where povray would write the picture: Output_File_Name, a folder there
  // taking the scene's name; .png (povray's default type here) when no
  // extension is given; else the scene's name in the current folder.
  const std::string stem = std::filesystem::path(options.inputFile).stem().string();
  std::string out = options.outputFile;
  if (out.empty() || out.back() == '/' || std::filesystem::is_directory(out)) {
    out = (std::filesystem::path(out) / stem).string();
  }
  if (!std::filesystem::path(out).has_extension()) out += ".png";
  scene_output_ = out;
  reason_.clear();
  return S_OK;
}

HRESULT RenderNet2::ClearScene() {
  scene_.reset();
  scene_output_.clear();
  return S_OK;
}

HRESULT RenderNet2::GetSceneOutput(std::string* outputFile, int32_t* width, int32_t* height) {
  if (!scene_) return S_FALSE;
  if (outputFile != nullptr) *outputFile = scene_output_;
  if (width != nullptr) *width = scene_->options.width;
  if (height != nullptr) *height = scene_->options.height;
  return S_OK;
}
