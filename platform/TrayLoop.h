#pragma once
#include <signal.h>

#include <functional>

namespace platform {

// Runs the GUI event loop of a tray program until the program is ended
// (QCoreApplication::exit from its tray menu or buttons) or one of
// `endSignals` arrives (they must be blocked in every thread; a thread of its
// own waits for them). Answers the loop's exit code.
int RunTrayLoop(const sigset_t& endSignals);

// Keeps serving the GUI's events until `done()` answers true: a service
// thread that waits for a message box on the GUI thread can still finish
// during the shutdown.
void ServeEventsUntil(const std::function<bool()>& done);

}  // namespace platform
