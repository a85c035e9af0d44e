#pragma once
#include <memory>

#include "jobs/host/RenderJob.h"

namespace jobs {

// The body of a job's dispatch thread: packs the order's work
// folder/Render into the job's own package, starts the ORB (from the host
// process's own command line) and the job's boss, looks up the farm's work
// group, splits the picture among its farmers (as the order's plan says),
// waits in the work group's line for free ones, and watches them until every
// band has reported. A job cancelled meanwhile tells the nodes working for
// it to stop, waiting about a second for their answers. Ends the job with
// its outcome; a failure also shows "请按照说明方式启动各级服务程序". The
// package is kept as work folder/Render.zip when the job failed or found
// no idle node, and removed otherwise. Blocks until the job ends; call it
// on the job's own thread.
void RunDispatch(const std::shared_ptr<RenderJob>& job);

}  // namespace jobs
