#pragma once
#include <qwindowdefs.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jobs/core/JobProgress.h"
#include "platform/HResult.h"

namespace jobs {
class RenderJob;
struct UserScene;
}  // namespace jobs

// Renders the scene in the source folder (work folder/Render, written by
// Maker) on the farm and shows the picture growing in a result viewer.
//
// Per picture: SetImage(width, height), then Zarvo(&hostWindow) on the GUI
// thread; the viewer opens with a yellow picture and a dispatch thread sends
// one band of rows to every idle render node. The user watches, zooms, pans,
// saves and closes the viewer. The host must keep its Qt event loop running:
// rows are placed into the picture on the GUI thread.
//
// The picture size, the viewer and the busy flag are shared by every
// RenderNet2 object of the process: while a job's viewer is open (running)
// or after Destory (blocked) Zarvo does nothing until Init. The job methods
// always return S_OK; a job that cannot run shows a message box.
//
// Needs a QApplication in the process. Calls that touch the viewer are
// carried over to the GUI thread when made on another thread.
class RenderNet2 {
 public:
  RenderNet2();
  ~RenderNet2();
  RenderNet2(const RenderNet2&) = delete;
  RenderNet2& operator=(const RenderNet2&) = delete;

  // Opens the viewer, owned by the window whose native id *pWnd is (pWnd or
  // *pWnd may be null/0), and starts the job. Does nothing while busy, and
  // refuses a picture size with a side below 1 (or beyond what a picture can
  // hold: a side above 65535 or more than 2^28 pixels) - no viewer, no job.
  HRESULT Zarvo(const WId* pWnd);

  // Destroys the viewer held (the job, if running, goes on unseen, unlike
  // a viewer the user closes); the busy flag stays set until Init.
  HRESULT Destory();

  // Forgets the viewer held (it stays open) and clears the busy flag; a
  // job still running is cancelled.
  HRESULT Init();

  // The size of the next picture (640 x 480 until set). Not checked here;
  // Zarvo refuses sizes it cannot show.
  HRESULT SetImage(int32_t width, int32_t heigth);

  // ---- For hosts with nobody at the screen ---------------------------------
  // These concern the job that this object's last Zarvo started.

  enum JobState : int32_t {
    kJobNotStarted = 0,  // no Zarvo yet, or it started nothing (see GetJobReason)
    kJobRunning = 1,
    kJobCompleted = 2,   // every row of the picture arrived: the picture is whole
    kJobNoIdleNode = 3,  // the work group had no live, idle render node
    kJobAbandoned = 4,   // the work group lost all its nodes while bands were out
    kJobFailed = 5,      // registry or workgroup server failed the job
    kJobIncomplete = 6,  // a band failed three times; the picture keeps the rows that arrived
    kJobCancelled = 7,   // cancelled (CancelJob, Init, the viewer closed, the object deleted)
  };

  // Cancels the job that this object's last Zarvo started, when it runs:
  // the nodes working for it are told to stop, and the job ends as
  // kJobCancelled. Waits up to `waitMs` (negative: no limit) for that end,
  // as WaitForJob does. S_FALSE when the job was still running at the end
  // of the wait; S_OK otherwise (also when there was nothing to cancel).
  // Closing a job's viewer, Init during a job and deleting the object that
  // started it (which waits up to 3 s) cancel it the same way.
  HRESULT CancelJob(int32_t waitMs);

  // Cancels every job of the process that still runs, and waits up to
  // `waitMs` for them all to end; for a host on its way out (a signal, an
  // interpreter that leaves). Any thread. True when none runs any more.
  static bool CancelAllJobs(int32_t waitMs);

  // Every call the controller makes on a render node during a job has a
  // time limit: 3 s, or the milliseconds (1 to 600000) in the environment
  // variable LUMORA_FARMER_TIMEOUT_MS of the host process. A node that does
  // not answer in time loses its band, which is handed out again. Calls on
  // the workgroup server have a limit of 60 s, or LUMORA_WORKGROUP_TIMEOUT_MS;
  // a server that does not answer in time ends the job as failed.

  // The job's state, at once. Never blocks, so a host can poll it from a
  // timer of its GUI thread.
  HRESULT GetJobState(int32_t* state);

  // Waits until the job is no longer running or `timeoutMs` has passed
  // (negative: no limit), then answers its state. On the GUI thread the Qt
  // event loop keeps running meanwhile, so rows are still placed. S_FALSE on
  // time-out.
  HRESULT WaitForJob(int32_t timeoutMs, int32_t* state);

  // One line saying why the job did not start or did not complete (empty
  // otherwise); for kJobIncomplete it names the band, its rows and the
  // nodes that tried it. The text stays valid until the next call on this object.
  HRESULT GetJobReason(const char** reason);

  // Saves the job's picture as it is now to `path`, in the format of its
  // extension (.jpg, .png, .bmp, .tga in any letter case), without a dialog.
  // S_OK when written; S_FALSE for an unknown extension, a viewer that is
  // gone, or a failed write.
  HRESULT SavePicture(const char* path);

  // Copies the job's picture as it is now into `rgb`: *height rows of
  // *width pixels, top row first, three bytes (red, green, blue) a pixel.
  // S_FALSE, changing nothing, when there is no job or its viewer is gone.
  HRESULT CopyPicture(std::vector<uint8_t>* rgb, int32_t* width, int32_t* height);

  // The job's progress, at once (never blocks): rows placed and rows in the
  // picture, bands done and bands in all, nodes working, time since Zarvo.
  // All zero while no job was started.
  HRESULT GetJobProgress(jobs::JobProgressSnapshot* progress);

  // One entry per hand-out of a band to a node, in hand-out order: node,
  // band, rows received, seconds, rows per second, whether the band was
  // handed out again. Complete once the job has ended; while it runs, the
  // figures so far. Empty while no job was started.
  HRESULT GetNodeSummary(std::vector<jobs::NodeWork>* summary);

  // ---- For farms of uneven machines ------------------------------------------

  // How many bands per idle node the next Zarvo of this object cuts the
  // picture into, handing each next band to whichever node becomes idle, so
  // that a slow node holds up the job less. 1 is one band per node (the
  // usual split); 0 (the default) takes the number from the environment
  // variable LUMORA_BANDS_PER_NODE, else 1. S_FALSE, changing nothing, for a
  // count outside 0..64.
  HRESULT SetBandsPerNode(int32_t count);

  // ---- A user's own POV-Ray scene --------------------------------------------

  // Makes this object's next Zarvo render a user's own scene instead of the
  // scene maker's: `args` as povray takes them (SCENE.pov, FILE.ini or
  // FILE.ini[section], +/- switches, INI options such as "Antialias=on"),
  // over the defaults povray itself reads on this machine (800 x 600 and
  // its library path from /etc/povray/3.7/povray.ini). The scene's folder
  // and library folders are packed (at most 512 MB, LUMORA_SCENE_MAX_MB);
  // the picture's size is the scene's, SetImage does not change it; only
  // nodes that announce they render own scenes get its bands. Everything is
  // checked here, before any node is engaged: S_FALSE, with the reason in
  // GetJobReason, for a refused or unknown option, no readable scene, a
  // folder too large, a size of 0. A scene that does not parse ends the
  // job after one attempt as kJobIncomplete, with povray's message.
  HRESULT SetScene(const std::vector<std::string>& args);
  // Back to the scene maker's scene.
  HRESULT ClearScene();
  // The picture file povray would write for the scene's options: +O /
  // Output_File_Name (a folder there gets the scene's name, a name without
  // extension ".png"), else the scene's name with ".png" in the current
  // folder; and the picture's size. S_FALSE when no scene is set.
  HRESULT GetSceneOutput(std::string* outputFile, int32_t* width, int32_t* height);

 private:
  std::shared_ptr<jobs::RenderJob> job_;
  std::string reason_;
  std::string reason_text_;
  int32_t bands_per_node_ = 0;
  std::shared_ptr<const jobs::UserScene> scene_;
  std::string scene_output_;
};
