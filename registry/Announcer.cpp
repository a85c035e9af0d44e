#include "registry/Announcer.h"

#include <utility>

namespace registry {
namespace {

// A ping gets one short chance: the next one follows within a period.
constexpr int kPingTimeoutMs = 500;

}  // namespace

Announcer::Announcer(std::string name, RegistryAddress address, Publish publish, Say say,
                     std::chrono::milliseconds period)
    : name_(std::move(name)),
      client_(std::move(address), kPingTimeoutMs, 1),
      publish_(std::move(publish)),
      say_(std::move(say)),
      period_(period) {}

Announcer::~Announcer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Announcer::Start() {
  thread_ = std::thread([this] { Run(); });
}

void Announcer::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    lock.unlock();
    Look();
    lock.lock();
    wake_.wait_for(lock, period_, [this] { return stop_; });
  }
}

void Announcer::Look() {
  const std::string where = Describe(client_.address());
  std::uint16_t answerPort = 0;
  if (!client_.Ping(&answerPort)) {
    if (!waitingSaid_) say_("waiting for the name registry at " + where + " to publish \"" + name_ + "\"");
    waitingSaid_ = true;
    published_ = false;
    return;
  }
  if (published_ && answerPort == registryAnswerPort_) return;
  const int answer = publish_();
  if (answer == 0) {
    say_(std::string(published_ ? "the name registry restarted; published \"" : "published \"") + name_ +
         "\" in the name registry at " + where);
    published_ = true;
    waitingSaid_ = false;
    registryAnswerPort_ = answerPort;
  } else if (!waitingSaid_) {
    say_("the name registry at " + where + " did not take \"" + name_ + "\"; trying again");
    waitingSaid_ = true;
  }
}

}  // namespace registry
