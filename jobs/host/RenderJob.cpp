#include "jobs/host/RenderJob.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace jobs {

bool RunOnGuiThread(const std::function<void()>& fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QCoreApplication::closingDown()) return false;
  if (QThread::currentThread() == app->thread()) {
    fn();
  } else {
    QMetaObject::invokeMethod(app, fn, Qt::BlockingQueuedConnection);
  }
  return true;
}

RenderJob::RenderJob(std::shared_ptr<JobOrder> order, CMergeImg* viewer) : order_(std::move(order)), viewer_(viewer) {}

void RenderJob::DeliverRow(int32_t line, const int32_t* colors, std::size_t count) {
  if (colors == nullptr) count = 0;
  RunOnGuiThread([&] {
    if (CMergeImg* viewer = viewer_.data()) viewer->PutRow(line, colors, count);
  });
}

bool RenderJob::SavePicture(const std::string& path) {
  bool saved = false;
  RunOnGuiThread([&] {
    if (CMergeImg* viewer = viewer_.data()) saved = viewer->SavePicture(path);
  });
  return saved;
}

bool RenderJob::CopyPicture(std::vector<uint8_t>* rgb, int32_t* width, int32_t* height) {
  bool copied = false;
  RunOnGuiThread([&] {
    CMergeImg* viewer = viewer_.data();
    if (viewer == nullptr || viewer->picture().empty()) return;
    const Picture& picture = viewer->picture();
    const std::size_t w = static_cast<std::size_t>(picture.width());
    const std::size_t h = static_cast<std::size_t>(picture.height());
    rgb->resize(w * h * 3);
    const uint32_t* pixel = picture.scanlines();  // 0xFFRRGGBB, top row first
    uint8_t* out = rgb->data();
    for (std::size_t i = 0; i < w * h; ++i) {
      *out++ = static_cast<uint8_t>(pixel[i] >> 16);
      *out++ = static_cast<uint8_t>(pixel[i] >> 8);
      *out++ = static_cast<uint8_t>(pixel[i]);
    }
    *width = picture.width();
    *height = picture.height();
    copied = true;
  });
  return copied;
}

void RenderJob::End(JobOutcome outcome, const std::string& reason) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reason_ = reason;
  }
  outcome_.store(outcome);
}

std::string RenderJob::reason() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reason_;
}

}  // namespace jobs
