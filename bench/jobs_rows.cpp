// Row path of the result viewer: rows per second through CMergeImg::PutRow,
// each placed in the picture and repainted before the call returns, as the
// boss callback object delivers them from an ORB thread (a blocking queued
// call into the GUI thread). Also the same rows put directly on the GUI
// thread, to show what the hand-over costs.
//
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include <QApplication>
#include <QMetaObject>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "jobs/view/MergeImg.h"

namespace {

using Clock = std::chrono::steady_clock;

// A row of a smooth gradient, different for every line.
std::vector<int32_t> MakeRow(int32_t width, int32_t line) {
  std::vector<int32_t> row(static_cast<size_t>(width));
  for (int32_t x = 0; x < width; ++x) {
    const int32_t r = (x * 255) / width, g = (line * 7) & 0xFF, b = 255 - r;
    row[static_cast<size_t>(x)] = r | (g << 8) | (b << 16);
  }
  return row;
}

struct Result {
  double queuedRowsPerSecond = 0;
  double directRowsPerSecond = 0;
};

Result Measure(int32_t width, int32_t height, QSize window) {
  jobs::CMergeImg viewer;
  viewer.CreatePicture(width, height);
  viewer.resize(window);
  viewer.ShowViewer();
  QCoreApplication::processEvents();

  std::vector<std::vector<int32_t>> rows;
  rows.reserve(static_cast<size_t>(height));
  for (int32_t line = 1; line <= height; ++line) rows.push_back(MakeRow(width, line));

  Result result;
  // From a worker thread, one blocking queued call per row; the GUI thread
  // runs its event loop meanwhile.
  Clock::time_point start, end;
  std::thread worker;
  QTimer::singleShot(0, [&] {
    start = Clock::now();
    worker = std::thread([&] {
      for (int32_t line = 1; line <= height; ++line) {
        const std::vector<int32_t>& row = rows[static_cast<size_t>(line - 1)];
        QMetaObject::invokeMethod(
            &viewer, [&] { viewer.PutRow(height + 1 - line, row.data(), row.size()); }, Qt::BlockingQueuedConnection);
      }
      end = Clock::now();
      QMetaObject::invokeMethod(
          qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
  });
  QCoreApplication::exec();
  worker.join();
  result.queuedRowsPerSecond = height / std::chrono::duration<double>(end - start).count();

  start = Clock::now();
  for (int32_t line = 1; line <= height; ++line) {
    const std::vector<int32_t>& row = rows[static_cast<size_t>(line - 1)];
    viewer.PutRow(line, row.data(), row.size());
  }
  end = Clock::now();
  result.directRowsPerSecond = height / std::chrono::duration<double>(end - start).count();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  std::printf("platform %s; every row is placed and repainted before PutRow returns\n",
              qPrintable(QGuiApplication::platformName()));
  std::printf("%-11s %-10s %7s %16s %16s %12s\n", "picture", "window", "rows", "queued rows/s", "direct rows/s",
              "queued us/row");
  const QSize windows[] = {QSize(jobs::CMergeImg::kInitialWidth, jobs::CMergeImg::kInitialHeight), QSize(1600, 1000)};
  const std::pair<int32_t, int32_t> pictures[] = {{1024, 768}, {4096, 3072}};
  for (auto [w, h] : pictures) {
    for (const QSize& window : windows) {
      const Result r = Measure(w, h, window);
      std::printf("%5dx%-5d %4dx%-5d %7d %16.0f %16.0f %12.1f\n", w, h, window.width(), window.height(), h,
                  r.queuedRowsPerSecond, r.directRowsPerSecond, 1e6 / r.queuedRowsPerSecond);
      std::fflush(stdout);
    }
  }
  return 0;
}
