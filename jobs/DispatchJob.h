#pragma once
#include <filesystem>
#include <memory>

#include "jobs/Dispatcher.h"
#include "jobs/RenderJob.h"

namespace jobs {

// The body of a job's dispatch thread: packs work_folder/Render into
// work_folder/Render.zip, starts the ORB (from the host process's own
// command line) and the job's boss, looks up the farm's work group,
// splits the picture among the idle farmers (as `plan` says) and watches
// them until every band has reported. Ends the job with its outcome; a failure also shows
// "请按照说明方式启动各级服务程序". Blocks until the job ends.
void RunDispatch(const std::shared_ptr<RenderJob>& job, const std::filesystem::path& work_folder,
                 Dispatcher::PictureSize size, BandPlan plan = BandPlan());

}  // namespace jobs
