#pragma once
#include <atomic>
#include <functional>
#include <string>

#include "Kintra.hh"

namespace farmtest {

// A Kintra::Farmer served by the test itself. It counts the calls it gets
// and answers IsLive with whatever the test set.
class FakeFarmer : public POA_Kintra::Farmer {
 public:
  explicit FakeFarmer(std::string id = "Farmer_Test") : id_(std::move(id)) {}

  char* ID() override;
  CORBA::Boolean IsLive() override;
  CORBA::Boolean CouldEngage(CORBA::Object_ptr& boss) override;
  CORBA::Boolean IsIdle() override { return true; }
  void Zarvo() override {}
  CORBA::Boolean Stop() override { return true; }

  // Runs inside every ID call, on the ORB's thread (set it before the
  // farmer is reachable).
  std::function<void()> onId;

  std::atomic<bool> live{true};
  std::atomic<int> idCalls{0};
  std::atomic<int> liveCalls{0};

 private:
  const std::string id_;
};

}  // namespace farmtest
