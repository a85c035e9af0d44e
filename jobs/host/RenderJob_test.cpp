#include "jobs/host/RenderJob.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "jobs/host/RenderNet.h"
#include "jobs/host/RenderNet2.h"
#include "tests/support/TestEnv.h"

namespace jobs {
namespace {

constexpr int32_t kRed = 0x0000FF;  // COLORREF
constexpr uint32_t kYellow = 0x00FFFF;

void EnsureApp() {
  static int argc = 1;
  static char name[] = "jobs_renderjob_test";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
}

// Runs `work` on another thread (as the ORB serves a boss) while this, the
// GUI thread, keeps its event loop turning.
void FromOtherThread(const std::function<void()>& work) {
  std::atomic<bool> done{false};
  std::thread t([&] {
    work();
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  t.join();
}

uint32_t TopLeft(const CMergeImg* v, int32_t line) {
  return v->picture().GetPixelColor(0, v->picture().height() - line);
}

class RenderJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApp();
    a_ = new CMergeImg;
    b_ = new CMergeImg;
    ASSERT_TRUE(a_->CreatePicture(8, 4));
    ASSERT_TRUE(b_->CreatePicture(8, 4));
    a_->ShowViewer();
    b_->ShowViewer();
    job_a_ = std::make_shared<RenderJob>(std::make_shared<JobOrder>(1, JobOrder::Size{8, 4}, BandPlan(), ""), a_);
    job_b_ = std::make_shared<RenderJob>(std::make_shared<JobOrder>(2, JobOrder::Size{8, 4}, BandPlan(), ""), b_);
  }
  void TearDown() override {
    delete a_.data();
    delete b_.data();
  }

  QPointer<CMergeImg> a_, b_;
  std::shared_ptr<RenderJob> job_a_, job_b_;
};

TEST_F(RenderJobTest, RowsFromAnotherThreadLandInTheirOwnJobsPictureOnly) {
  const std::vector<int32_t> red(8, kRed);
  FromOtherThread([&] { job_a_->DeliverRow(1, red.data(), red.size()); });
  EXPECT_EQ(a_->picture().GetPixelColor(7, 3), static_cast<uint32_t>(kRed)) << "row 1 is the top row";
  EXPECT_EQ(TopLeft(b_, 1), kYellow) << "job B's picture got job A's row";

  // A row shorter than the picture colours only what it carries.
  const std::vector<int32_t> three(3, kRed);
  FromOtherThread([&] { job_b_->DeliverRow(4, three.data(), three.size()); });
  EXPECT_EQ(b_->picture().GetPixelColor(2, 0), static_cast<uint32_t>(kRed));
  EXPECT_EQ(b_->picture().GetPixelColor(3, 0), kYellow);
  FromOtherThread([&] { job_b_->DeliverRow(2, nullptr, 5); });  // no data at all
  EXPECT_EQ(b_->picture().GetPixelColor(0, 2), kYellow);
}

TEST_F(RenderJobTest, RowsForAViewerThatIsGoneAreDropped) {
  const std::vector<int32_t> red(8, kRed);
  delete a_.data();  // destroyed by the host (Destory, or a new Zarvo)
  FromOtherThread([&] { job_a_->DeliverRow(1, red.data(), red.size()); });
  EXPECT_EQ(TopLeft(b_, 1), kYellow);

  b_->close();  // the user closes it; it deletes itself
  for (int i = 0; i < 50 && b_; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  FromOtherThread([&] { job_b_->DeliverRow(1, red.data(), red.size()); });
  farmtest::TempDir dir;
  bool saved = true;
  FromOtherThread([&] { saved = job_b_->SavePicture((dir.path() / "b.png").string()); });
  EXPECT_FALSE(saved);
}

TEST_F(RenderJobTest, SavesThePictureFromAnyThread) {
  farmtest::TempDir dir;
  bool saved = false;
  FromOtherThread([&] { saved = job_a_->SavePicture((dir.path() / "a.PNG").string()); });
  EXPECT_TRUE(saved);
  EXPECT_EQ(farmtest::ReadFile(dir.path() / "a.PNG").substr(1, 3), "PNG");
  FromOtherThread([&] { saved = job_a_->SavePicture((dir.path() / "a.gif").string()); });
  EXPECT_FALSE(saved);
}

TEST(RenderNet2, RefusesPictureSizesItCannotShowAndStartsNothing) {
  EnsureApp();
  const int before = static_cast<int>(QApplication::topLevelWidgets().size());
  const int32_t sizes[][2] = {{0, 480}, {640, 0}, {-5, 10}, {10, -1}, {70000, 2}, {30000, 30000}};
  for (const auto& s : sizes) {
    RenderNet2 net;
    EXPECT_EQ(net.SetImage(s[0], s[1]), S_OK);
    const WId none = 0;
    EXPECT_EQ(net.Zarvo(&none), S_OK);
    int32_t state = -1;
    net.GetJobState(&state);
    EXPECT_EQ(state, RenderNet2::kJobNotStarted) << s[0] << " x " << s[1];
    const char* reason = nullptr;
    net.GetJobReason(&reason);
    EXPECT_NE(std::string(reason).find("refused"), std::string::npos) << reason;
    EXPECT_EQ(net.SavePicture("/tmp/never.png"), S_FALSE);
  }
  EXPECT_EQ(static_cast<int>(QApplication::topLevelWidgets().size()), before) << "a viewer was opened";
  RenderNet2 reset;
  reset.SetImage(640, 480);
}

TEST(RenderNet, ZarvoOnlyTellsToUseRenderNet2AndHasOKLeavesItsArguments) {
  EnsureApp();
  RenderNet old;
  int32_t isok = 42;
  const char* file = "keep.png";
  EXPECT_EQ(old.HasOK(&isok, &file), S_OK);
  EXPECT_EQ(isok, 42);
  EXPECT_STREQ(file, "keep.png");
  EXPECT_EQ(old.SetImage(1, 1), S_OK);
  EXPECT_EQ(old.Init(), S_OK);
  EXPECT_EQ(old.Destory(), S_OK);
  testing::internal::CaptureStderr();
  const WId none = 0;
  EXPECT_EQ(old.Zarvo(&none), S_OK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "该接口中止使用\n请使用RenderNet2接口\n");
}

}  // namespace
}  // namespace jobs
