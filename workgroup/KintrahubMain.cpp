// kintrahub: the farm's workgroup server, run as a daemon. Its command line
// goes to the ORB (give a fixed -ORBendPoint so the published reference
// survives restarts). SIGINT and SIGTERM shut it down cleanly.
#include <signal.h>
#include <time.h>

#include "workgroup/WorkgroupServer.h"

int main(int argc, char** argv) {
  // Only this thread takes the end signals; the ORB's threads inherit the
  // mask and the ORB is shut down from here, never inside a handler.
  sigset_t endSignals;
  sigemptyset(&endSignals);
  sigaddset(&endSignals, SIGINT);
  sigaddset(&endSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);

  farm::WorkgroupServer server(argc, argv);
  server.Start();
  const timespec poll = {0, 100 * 1000 * 1000};
  while (!server.finished()) {
    if (sigtimedwait(&endSignals, nullptr, &poll) > 0) break;
  }
  server.Stop();
  server.Join();
  // Without a window to keep open, a server that could not serve ends with
  // a failure status after its "error" message.
  return server.failed() ? 1 : 0;
}
