#pragma once

namespace python {

// The Qt application a Python process needs for render jobs. RenderNet2
// places rows into its picture on the thread of the QApplication, so that
// thread must run an event loop all the time, also while Python runs other
// code. The host therefore makes the application on a thread of its own,
// with the offscreen platform (no window is ever shown), and runs its loop
// there until Stop. Process-wide by nature: one application per process.
class QtHost {
 public:
  // Starts the thread and its application unless one runs already (made by
  // this host or by whoever else owns the process's QApplication). Returns
  // once the event loop is running. Safe from any thread.
  static void Start();

  // Ends the loop, closes every window left and deletes the application on
  // its own thread, and joins it. Jobs still running lose their picture.
  static void Stop();
};

}  // namespace python
