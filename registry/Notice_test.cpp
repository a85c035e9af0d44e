#include "registry/Notice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/MessageBox.h"

namespace farm {
namespace {

// A box the user has not dismissed yet must not hold the caller up, and
// further boxes are dropped meanwhile instead of piling up.
TEST(Notice, NeverWaitsForTheBox) {
  std::mutex m;
  std::condition_variable cv;
  bool dismissed = false;
  int shown = 0;
  std::string lastText;
  auto previous = platform::SetMessageBoxPresenter([&](const std::string& text, const std::string&) {
    std::unique_lock<std::mutex> lock(m);
    ++shown;
    lastText = text;
    cv.notify_all();
    cv.wait(lock, [&] { return dismissed; });
  });
  Notice notice("Same IOR", "");
  notice.Show();
  notice.Show();
  {
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return shown == 1; }));
    EXPECT_EQ(lastText, "Same IOR");
    dismissed = true;
    cv.notify_all();
  }
  // Once dismissed, the next request shows a box again.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    notice.Show();
    std::unique_lock<std::mutex> lock(m);
    if (cv.wait_for(lock, std::chrono::milliseconds(20), [&] { return shown == 2; })) break;
    ASSERT_LT(std::chrono::steady_clock::now(), deadline);
  }
  // Let the box threads finish before the presenter's captures go away.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  platform::SetMessageBoxPresenter(previous);
}

}  // namespace
}  // namespace farm
