// A host of RenderNet2 for the farm tests, run from a copy of bin/ (so the
// work folder is private). It walks the job states of RenderNet2 against a
// running farm and prints one line per step:
//
//   <step> state=<JobState> reason=<text>
//
// Scene: whatever Render/ holds (the test puts a scene there).
#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <string>

#include "jobs/host/RenderNet2.h"
#include "jobs/view/MergeImg.h"

namespace {

void Report(const char* step, RenderNet2& net) {
  int32_t state = -1;
  net.GetJobState(&state);
  const char* reason = "";
  net.GetJobReason(&reason);
  std::printf("%s state=%d reason=%s\n", step, state, reason);
  std::fflush(stdout);
}

int Viewers() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == QLatin1String("CMergeImg") && w->isVisible()) ++n;
  }
  return n;
}

void CloseViewers() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == QLatin1String("CMergeImg") && w->isVisible()) w->close();
  }
  QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const std::string out = argc > 1 ? argv[1] : "host.png";
  const WId none = 0;

  RenderNet2 first;
  first.SetImage(64, 48);
  first.Zarvo(&none);
  Report("first", first);
  RenderNet2 second;
  second.Zarvo(&none);  // busy: the first job's viewer is open
  Report("second-while-busy", second);
  int32_t state = 0;
  first.WaitForJob(120000, &state);
  Report("first-ended", first);
  std::printf("saved=%d viewers=%d\n", first.SavePicture(out.c_str()) == S_OK ? 1 : 0, Viewers());

  first.Destory();  // blocked until Init
  std::printf("after-destory viewers=%d\n", Viewers());
  RenderNet2 third;
  third.Zarvo(&none);
  Report("third-while-blocked", third);
  third.Init();
  third.Zarvo(&none);
  Report("third-after-init", third);
  third.WaitForJob(120000, &state);
  Report("third-ended", third);

  CloseViewers();  // the user closes the viewer: ready for the next job
  std::printf("after-close viewers=%d saved-after-close=%d\n", Viewers(),
              third.SavePicture(out.c_str()) == S_OK ? 1 : 0);
  RenderNet2 fourth;
  fourth.Zarvo(&none);
  Report("fourth-after-close", fourth);
  fourth.WaitForJob(120000, &state);
  Report("fourth-ended", fourth);
  fourth.Destory();

  // Closing the viewer, or Init, while a job runs cancels it.
  RenderNet2 fifth;
  fifth.Init();
  fifth.Zarvo(&none);
  CloseViewers();
  fifth.WaitForJob(30000, &state);
  Report("fifth-viewer-closed", fifth);
  RenderNet2 sixth;
  sixth.Zarvo(&none);
  sixth.Init();
  sixth.WaitForJob(30000, &state);
  Report("sixth-init", sixth);
  return 0;
}
