#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

// On Linux the nice value belongs to the thread when addressed by its tid.
void SetCurrentThreadLowestPriority() { setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19); }

void SetCurrentThreadHighestPriority() {
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -5);  // fails quietly without privileges
}

}  // namespace platform
