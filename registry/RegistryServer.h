#pragma once
#include <ace/SOCK_Dgram.h>
#include <ace/Task.h>

#include <atomic>
#include <cstdint>

#include "registry/RegistryService.h"

namespace registry {

// The registry's UDP service: an ACE task whose one service thread receives
// requests on the registry port, hands them to the RegistryService and
// sends each answer from a second socket on a port the system picks.
//
// Opened and run by the owner; the service thread alone touches the sockets and
// the RegistryService, and the stop request is atomic.
class RegistryServer : public ACE_Task_Base {
 public:
  explicit RegistryServer(RegistryService& service) : service_(service) {}
  ~RegistryServer() override;

  // Binds the request socket to `port` on all local addresses. False when
  // the port is taken (or cannot be bound at all).
  bool Open(std::uint16_t port);

  // Asks the service loop to end; it notices within a fraction of a second.
  // Safe from any thread.
  void RequestStop() { stopRequested_ = true; }

  // The service loop: loads the store file, serves until STOP, a stop
  // request or a receive failure, then closes both sockets and deletes the
  // store file.
  int svc() override;

 private:
  void Serve(ACE_SOCK_Dgram& answers);

  RegistryService& service_;
  ACE_SOCK_Dgram requests_;
  std::atomic<bool> stopRequested_{false};
};

}  // namespace registry
