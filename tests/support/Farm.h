#pragma once
#include <omniORB4/CORBA.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "registry/RegistryClient.h"
#include "tests/support/Process.h"
#include "tests/support/TestEnv.h"

namespace farmtest {

// A private farm on the loopback interface for one test. Construction gives
// the test process a private TMPDIR and a free LEDGO_PORT (children inherit
// both), so tests running side by side never share a registry, a store file
// or a port; destruction kills every program started here and puts the
// environment back.
//
// Not synchronised: the test's own thread uses it.
//
// Programs come from BinDir(). Every Start* answers a Process owned by the
// Farm (valid until the Farm is destroyed) or null when the program could not
// be started; a program that starts but dies early is still answered, so the
// test can look at its exit status and log.
class Farm {
 public:
  Farm();
  ~Farm();
  Farm(const Farm&) = delete;
  Farm& operator=(const Farm&) = delete;

  // The private temporary folder ($TMPDIR of the test and its children).
  const std::filesystem::path& TmpDir() const { return tmp_.path(); }
  std::uint16_t RegistryPort() const { return registryPort_; }
  // The fixed endpoint of the workgroup server, the same for every restart.
  std::uint16_t WorkgroupPort() const { return workgroupPort_; }
  std::string WorkgroupEndpoint() const;
  // The registry's store file in the private temporary folder.
  std::filesystem::path StoreFile() const { return TmpDir() / "~BS.bak"; }
  // A client of this farm's registry (short time-out, single attempt).
  registry::RegistryClient Registry(int timeoutMs = 300, int attempts = 1) const;

  // Starts bin/ledgo and waits until it answers a look-up (or exits).
  Process* StartRegistry(const std::vector<std::string>& extraArgs = {});

  // Starts bin/kintrahub on WorkgroupEndpoint() and waits until the name
  // "WorkGroup" resolves, through `orb`, to an object that answers. Without
  // an ORB it waits until the registry knows the name and the endpoint
  // accepts connections. Needs a running registry.
  Process* StartWorkgroup(CORBA::ORB_ptr orb = CORBA::ORB::_nil(), const std::vector<std::string>& extraArgs = {});

  // A copy of bin/ in a fresh folder under TmpDir(): a node folder.
  std::filesystem::path MakeNodeFolder();
  // Registers the component libraries of `folder` (a node folder) in the
  // farm's private class registry, so a host started from there creates its
  // classes from its own libraries and never loads a second copy from
  // elsewhere. False, with farmreg's output in *error, when that fails.
  bool UseClassesOf(const std::filesystem::path& folder, std::string* error = nullptr);
  // Starts folder/tessel, listening on a free loopback port.
  Process* StartNode(const std::filesystem::path& folder, const std::vector<std::string>& extraArgs = {});

  // Starts any program; its log goes to TmpDir()/<logName>-<n>.log.
  Process* StartProgram(const std::vector<std::string>& argv, const std::string& logName);

 private:
  TempDir tmp_;
  std::uint16_t registryPort_;
  std::uint16_t workgroupPort_;
  // Declared before the processes: the environment is restored only after
  // every child is gone.
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  std::vector<std::unique_ptr<Process>> processes_;
  int started_ = 0;
  int nodeFolders_ = 0;
};

}  // namespace farmtest
