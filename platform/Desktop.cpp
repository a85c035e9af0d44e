#include "platform/Desktop.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Folders.h"

namespace platform {
namespace {

bool Set(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0';
}

bool CanConnect(const sockaddr_un& address, socklen_t length) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
  ::close(fd);
  return ok;
}

// ":N" or ":N.S": the server listens on /tmp/.X11-unix/XN, or on the
// abstract socket of that name. Other forms (host:N, unix:N) are trusted.
bool LocalXServerAnswers(const std::string& display) {
  if (display.empty() || display[0] != ':') return true;
  std::string number = display.substr(1, display.find('.') - 1);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return true;
  const std::string path = "/tmp/.X11-unix/X" + number;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  if (CanConnect(address, static_cast<socklen_t>(sizeof address))) return true;
  // Abstract namespace: a leading NUL.
  sockaddr_un abstract{};
  abstract.sun_family = AF_UNIX;
  std::memcpy(abstract.sun_path + 1, path.c_str(), path.size());
  return CanConnect(abstract, static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size()));
}

}  // namespace

bool DesktopAvailable() {
  if (const char* qpa = std::getenv("QT_QPA_PLATFORM"); qpa != nullptr) {
    const std::string name = qpa;
    if (name.rfind("offscreen", 0) == 0 || name.rfind("minimal", 0) == 0) return false;
  }
  if (Set("WAYLAND_DISPLAY")) return true;
  if (!Set("DISPLAY")) return false;
  return LocalXServerAnswers(std::getenv("DISPLAY"));
}

}  // namespace platform

namespace platform {

void EnsureRuntimeFolder() {
  if (Set("XDG_RUNTIME_DIR")) return;
  const std::string folder = (TempFolder() / ("runtime-" + std::to_string(::getuid()))).string();
  ::mkdir(folder.c_str(), 0700);
  struct stat info {};
  // Only a folder of our own that nobody else may enter will do; otherwise
  // Qt picks and warns as it would have.
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) return;
  if ((info.st_mode & 0077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return;
  ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

}  // namespace platform
