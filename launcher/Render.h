#pragma once
#include <functional>
#include <memory>

#include "platform/HResult.h"

namespace launcher {

struct RenderSlot;

// Starts one render process on this machine from a command line and marks
// its end with the empty file <tmp>/povok.tmp (tmp: $TMPDIR, else /tmp).
//
// The started process is shared by every Render of the host process: Stop
// on any object ends the last started process. The end of a process clears
// the running flag of the last-created object (of none once that object has
// been destroyed). The marker file stands for the last accepted GO of the
// whole process: a process that ends after a later GO was accepted makes no
// marker and clears no flag, so the marker never announces a render that is
// still going.
//
// GO, Stop, SetFinishCallback and the destructor may be called from any
// host thread; the worker threads take the same locks.
class Render {
 public:
  Render();
  // A running process keeps running and its worker still makes the marker
  // file, but never touches this object's running flag again.
  ~Render();
  Render(const Render&) = delete;
  Render& operator=(const Render&) = delete;

  // Unless this object is running: deletes the marker file and starts a
  // worker thread at the lowest priority that runs `commandLine` as a
  // process and waits for its end. The command line, of any length, is
  // split into arguments as a shell user expects (quotes keep blanks, a
  // backslash escapes) but no shell runs. When the program cannot be
  // started the worker shows "服务程序不在规定位置!", no marker is made and
  // the object stays running, ignoring GO, until Stop. A null commandLine
  // counts as empty. Always answers S_OK.
  HRESULT GO(const char* commandLine);

  // Ends the last started process (SIGKILL to its process group) and clears
  // this object's running flag; the process's worker then makes the marker
  // file. Always answers S_OK.
  HRESULT Stop();

  // An addition for hosts that would rather be told than poll the marker
  // file. After every accepted GO of this object whose program could be
  // started, `callback` runs once on the worker thread when the render is
  // over (the process ended, or Stop came before it started), after the
  // marker file was made where one is made. It must not wait for the thread
  // that destroys this object. Replaces any earlier callback; an empty one
  // unregisters. Once SetFinishCallback or the destructor has returned, the
  // earlier callback is never called again and, unless the call came from
  // inside it, is no longer running.
  using FinishCallback = std::function<void()>;
  void SetFinishCallback(FinishCallback callback);

  // The number of worker threads of the process still running (waiting for
  // a process, or showing the start failure). The library must stay loaded
  // while any runs, even once every Render is gone.
  static int RunningWorkers();

 private:
  std::shared_ptr<RenderSlot> slot_;
};

}  // namespace launcher
