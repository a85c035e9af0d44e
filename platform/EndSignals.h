#pragma once
#include <signal.h>

namespace platform {

// SIGINT and SIGTERM, blocked in the calling thread, so that every thread it
// starts later inherits the block and only a thread that asks for them (with
// WaitForEndSignal) ever takes them: the programs end from there, never
// inside a signal handler. Call it first in main.
sigset_t BlockEndSignals();

// Waits until one of `endSignals` arrives and answers it.
int WaitForEndSignal(const sigset_t& endSignals);

}  // namespace platform
