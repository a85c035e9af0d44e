#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

// Helpers for tests that run real farm programs. Everything here is bounded:
// no wait without a time limit.
namespace farmtest {

// The build's bin/ folder ($FARM_BIN_DIR, set by farm_add_test).
std::filesystem::path BinDir();
// The repository root ($FARM_SOURCE_DIR).
std::filesystem::path SourceDir();
// The folder of the running test program (build*/tests), where test-only
// helper programs are built.
std::filesystem::path TestProgramDir();

// A loopback port that was free a moment ago (bound to port 0 and released).
std::uint16_t FreeTcpPort();
std::uint16_t FreeUdpPort();

// Polls `pred` every `step` until it holds or `timeout` has passed; answers
// its last value.
bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout,
               std::chrono::milliseconds step = std::chrono::milliseconds(20));

// Whole content of a file, empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Sets an environment variable for this process (and the children it starts
// afterwards) and puts the old value back when destroyed. It changes the
// process-wide environment: make and destroy it while no other thread runs.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

// A fresh folder under /tmp, removed with everything in it when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace farmtest
