#include "tests/support/TestEnv.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace farmtest {
namespace {

std::filesystem::path FromEnv(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  if (v != nullptr && *v != '\0') return v;
  return fallback;
}

std::uint16_t FreePort(int type) {
  int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof(addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    close(fd);
    throw std::runtime_error("cannot find a free port");
  }
  close(fd);
  return ntohs(addr.sin_port);
}

}  // namespace

std::filesystem::path BinDir() { return FromEnv("FARM_BIN_DIR", "bin"); }
std::filesystem::path SourceDir() { return FromEnv("FARM_SOURCE_DIR", "."); }

std::filesystem::path TestProgramDir() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::current_path() : exe.parent_path();
}

std::uint16_t FreeTcpPort() { return FreePort(SOCK_STREAM); }
std::uint16_t FreeUdpPort() { return FreePort(SOCK_DGRAM); }

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout, std::chrono::milliseconds step) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return pred();
    std::this_thread::sleep_for(step);
  }
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) {
    had_ = true;
    old_ = old;
  }
  setenv(name_.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

TempDir::TempDir() {
  std::string pattern = "/tmp/farmtest-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace farmtest
