#include "platform/Folders.h"

#include <dlfcn.h>

#include <cstdlib>
#include <system_error>

namespace platform {

std::filesystem::path ModuleFile(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  std::error_code ec;
  std::filesystem::path file = std::filesystem::canonical(info.dli_fname, ec);
  if (ec) file = std::filesystem::absolute(info.dli_fname, ec);
  return file;
}

std::filesystem::path ModuleFolder(const void* address) { return ModuleFile(address).parent_path(); }

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path();
}

std::filesystem::path TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  if (tmp != nullptr && *tmp != '\0') return std::filesystem::path(tmp);
  return std::filesystem::path("/tmp");
}

}  // namespace platform
