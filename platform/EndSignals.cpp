#include "platform/EndSignals.h"

#include <pthread.h>

namespace platform {

sigset_t BlockEndSignals() {
  sigset_t endSignals;
  sigemptyset(&endSignals);
  sigaddset(&endSignals, SIGINT);
  sigaddset(&endSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);
  return endSignals;
}

int WaitForEndSignal(const sigset_t& endSignals) {
  int sig = 0;
  while (sigwait(&endSignals, &sig) != 0) {
  }
  return sig;
}

}  // namespace platform
