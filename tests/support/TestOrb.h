#pragma once
#include <omniORB4/CORBA.h>

#include <string>
#include <thread>
#include <vector>

namespace farmtest {

// The test process's own ORB: started through farm::StartOrb, root POA
// active, requests served on a background thread, so servants of the test
// can be called back while the test waits for a reply. Listens on loopback
// only. Calls made through it give up after `callTimeoutMs`, so a test never
// hangs on a server that stopped answering. One per process at a time.
class TestOrb {
 public:
  explicit TestOrb(std::vector<std::string> extraArgs = {}, unsigned callTimeoutMs = 20000);
  ~TestOrb();
  TestOrb(const TestOrb&) = delete;
  TestOrb& operator=(const TestOrb&) = delete;

  CORBA::ORB_ptr orb() const { return orb_.in(); }
  PortableServer::POA_ptr poa() const { return poa_.in(); }

  // Activates `servant` in the root POA (which then holds a reference to
  // it) and answers its object reference.
  CORBA::Object_ptr Activate(PortableServer::ServantBase* servant);
  // Deactivates it again: later calls on its reference raise
  // OBJECT_NOT_EXIST in the caller.
  void Deactivate(PortableServer::ServantBase* servant);

  std::string ToString(CORBA::Object_ptr obj) const;
  CORBA::Object_ptr FromString(const std::string& ior) const;

 private:
  CORBA::ORB_var orb_;
  PortableServer::POA_var poa_;
  std::thread runner_;
};

}  // namespace farmtest
