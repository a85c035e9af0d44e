#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "registry/RegistryClient.h"

namespace registry {

// Keeps one name published in the name registry for as long as it lives:
// publishes it as soon as the registry answers, says once per outage that
// it waits for the registry, and publishes again when the registry comes
// back or restarts (a registry started afresh has forgotten every name).
// Between times it pings the registry every `period` with a request that
// changes nothing, so the registry's log stays quiet while all is well.
class Announcer {
 public:
  // Publishes the name once (bind_service's answer: 0 acknowledged, -1 no
  // answer, other values: refused).
  using Publish = std::function<int()>;
  // One line for the program's log.
  using Say = std::function<void(const std::string&)>;

  Announcer(std::string name, RegistryAddress address, Publish publish, Say say,
            std::chrono::milliseconds period = std::chrono::seconds(1));
  ~Announcer();  // stops the thread
  Announcer(const Announcer&) = delete;
  Announcer& operator=(const Announcer&) = delete;

  // Starts the thread, which publishes at once. Call once.
  void Start();

 private:
  void Run();
  // One look: publishes when the registry answers but may not hold the name.
  void Look();

  const std::string name_;
  const RegistryClient client_;
  Publish publish_;
  Say say_;
  const std::chrono::milliseconds period_;
  // Used by the thread only.
  bool published_ = false;
  bool waitingSaid_ = false;
  std::uint16_t registryAnswerPort_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace registry
