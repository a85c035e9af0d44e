#include "launcher/Render.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "launcher/RenderState.h"
#include "platform/ChildProcess.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/QtMessageBox.h"
#include "platform/ThreadPriority.h"

namespace launcher {

// What a Render shares with its workers; it outlives the Render as long as a
// worker still needs it.
struct RenderSlot {
  RenderState state;  // guarded by the process-wide mutex

  // Recursive so that the callback itself may destroy the Render or replace
  // the callback.
  std::recursive_mutex callbackMutex;
  Render::FinishCallback callback;  // guarded by callbackMutex
};

namespace {

const char kNotInPlace[] = "服务程序不在规定位置!";

// State shared by every Render of the process.
struct Shared {
  std::mutex mutex;
  std::shared_ptr<platform::ChildProcess> process;  // the last started one
  std::shared_ptr<RenderSlot> lastCreated;
  std::uint64_t acceptedGo = 0;  // counts accepted GO calls of all objects
  std::atomic<int> workers{0};   // worker threads not yet returned
};

// Never destroyed: detached workers may still be waiting for their process
// while the host process runs its static destructors.
Shared& TheShared() {
  static Shared* shared = new Shared;
  return *shared;
}

std::filesystem::path MarkerFile() { return platform::TempFolder() / "povok.tmp"; }

void MakeMarker(const std::filesystem::path& marker) { std::ofstream file(marker, std::ios::binary | std::ios::trunc); }

void CallFinish(RenderSlot& slot) {
  std::lock_guard<std::recursive_mutex> lock(slot.callbackMutex);
  // A copy, so that the callback may replace or drop the stored one.
  Render::FinishCallback callback = slot.callback;
  if (callback) callback();
}

// Runs one render: `go` is the value of Shared::acceptedGo that the GO of
// `slot` produced. A process that ends once a later GO has been accepted
// leaves the marker and the running flags to that later render.
void Work(std::shared_ptr<RenderSlot> slot, std::uint64_t go, std::string commandLine, std::filesystem::path marker) {
  // A process inherits the priority of the thread that starts it: the
  // render is started at the normal priority, and only the waiting worker
  // drops to the lowest (a process cannot be raised back without
  // privileges).
  Shared& shared = TheShared();
  struct Leave {
    Shared& shared;
    ~Leave() { shared.workers.fetch_sub(1); }
  } leave{shared};
  std::shared_ptr<platform::ChildProcess> process;
  bool failed = false;
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.acceptedGo != go || slot->state.phase() != RenderState::Phase::Starting) {
      // Stop came before the process was started: nothing to run. The
      // render is over, and the marker says so unless a later GO owns it.
      if (shared.acceptedGo == go) MakeMarker(marker);
    } else {
      // Started under the lock, so that a Stop either finds this process as
      // the last started one or has already moved the render out of Starting.
      std::string error;
      process = platform::ChildProcess::Start(platform::SplitCommandLine(commandLine), &error);
      if (!process) {
        failed = slot->state.StartFailed();
      } else {
        shared.process = process;
        slot->state.ProcessStarted();
      }
    }
  }
  platform::SetCurrentThreadLowestPriority();
  if (process) {
    process->Wait();
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.acceptedGo == go) {
      MakeMarker(marker);
      if (shared.lastCreated) shared.lastCreated->state.ProcessEnded();
    }
  } else if (failed) {
    // Outside the lock: a GUI box blocks until the user dismisses it.
    platform::MessageBox(kNotInPlace);
    return;
  }
  CallFinish(*slot);
}

}  // namespace

Render::Render() : slot_(std::make_shared<RenderSlot>()) {
  // The library keeps its own copy of the platform layer, so a presenter
  // the host installs does not reach it: it installs the Qt one itself,
  // which shows a box in a GUI host and keeps the stderr line otherwise.
  static std::once_flag presenter;
  std::call_once(presenter, platform::InstallQtMessageBoxPresenter);
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  shared.lastCreated = slot_;
}

Render::~Render() {
  {
    Shared& shared = TheShared();
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.lastCreated == slot_) shared.lastCreated.reset();
  }
  std::lock_guard<std::recursive_mutex> lock(slot_->callbackMutex);
  slot_->callback = nullptr;
}

HRESULT Render::GO(const char* commandLine) {
  std::string line = commandLine != nullptr ? commandLine : "";
  std::filesystem::path marker = MarkerFile();
  Shared& shared = TheShared();
  std::uint64_t go;
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (!slot_->state.Go()) return S_OK;
    go = ++shared.acceptedGo;
    std::error_code ignored;
    std::filesystem::remove(marker, ignored);
  }
  shared.workers.fetch_add(1);
  try {
    std::thread(Work, slot_, go, std::move(line), std::move(marker)).detach();
  } catch (const std::system_error&) {
    shared.workers.fetch_sub(1);
    // No thread, no render: leave the object free for the next GO.
    std::lock_guard<std::mutex> lock(shared.mutex);
    slot_->state.Stop();
  }
  return S_OK;
}

HRESULT Render::Stop() {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  if (shared.process) shared.process->Terminate();
  slot_->state.Stop();
  return S_OK;
}

int Render::RunningWorkers() { return TheShared().workers.load(); }

void Render::SetFinishCallback(FinishCallback callback) {
  std::lock_guard<std::recursive_mutex> lock(slot_->callbackMutex);
  slot_->callback = std::move(callback);
}

}  // namespace launcher
