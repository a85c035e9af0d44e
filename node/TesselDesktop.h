#pragma once
#include <signal.h>

#include <functional>

namespace node {

// The node's broker side: starts the ORB, joins the work group and serves
// until `waitForEnd` returns (it is called on a thread of the node's own).
using NodeRunner = std::function<int(int argc, char** argv, const std::function<void()>& waitForEnd)>;

// tessel on a desktop: the window "Tessel" lives in the tray while `run`
// serves on a broker thread. The tray menu's "关闭", the window's buttons,
// Enter, Escape or one of `endSignals` (blocked by the caller) end the
// broker's wait; `run` then shuts the ORB down and ends the process. A
// broker that ended by itself (no ORB, no workgroup server found) leaves the
// tray icon until the user ends the program. Answers the exit status.
int RunTesselDesktop(int argc, char** argv, const sigset_t& endSignals, const NodeRunner& run);

}  // namespace node
