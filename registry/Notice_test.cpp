#include "registry/Notice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/MessageBox.h"

namespace registry {
namespace {

// What the presenter of the test shares with the box threads, which may
// outlive the test body.
struct Boxes {
  std::mutex m;
  std::condition_variable cv;
  int shown = 0;
  int dismissed = 0;  // boxes the "user" has closed
  std::string lastText;
};

// A box the user has not dismissed yet must not hold the caller up, and
// further boxes are dropped meanwhile instead of piling up.
TEST(Notice, NeverWaitsForTheBox) {
  auto boxes = std::make_shared<Boxes>();
  auto previous = platform::SetMessageBoxPresenter([boxes](const std::string& text, const std::string&) {
    std::unique_lock<std::mutex> lock(boxes->m);
    const int number = ++boxes->shown;
    boxes->lastText = text;
    boxes->cv.notify_all();
    boxes->cv.wait(lock, [&] { return boxes->dismissed >= number; });
  });
  Notice notice("Same IOR", "");
  EXPECT_TRUE(notice.Show());
  // The first box is up (or about to be) and nobody has dismissed it.
  EXPECT_FALSE(notice.Show());
  {
    std::unique_lock<std::mutex> lock(boxes->m);
    ASSERT_TRUE(boxes->cv.wait_for(lock, std::chrono::seconds(5), [&] { return boxes->shown == 1; }));
    EXPECT_EQ(boxes->lastText, "Same IOR");
    EXPECT_FALSE(notice.Show());
    boxes->dismissed = 1;
    boxes->cv.notify_all();
  }
  // Once dismissed, the next request shows a box again: the box's thread
  // lets go of it right after the presenter returns.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!notice.Show()) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    std::this_thread::yield();
  }
  {
    std::unique_lock<std::mutex> lock(boxes->m);
    ASSERT_TRUE(boxes->cv.wait_for(lock, std::chrono::seconds(5), [&] { return boxes->shown == 2; }));
    boxes->dismissed = 2;
    boxes->cv.notify_all();
  }
  platform::SetMessageBoxPresenter(previous);
}

}  // namespace
}  // namespace registry
