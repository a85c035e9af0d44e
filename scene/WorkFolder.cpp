#include "scene/WorkFolder.h"

#include <cstdlib>
#include <string>
#include <system_error>

#include "platform/Folders.h"

namespace scene {
namespace {

void RemoveFiles(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    if (it->symlink_status(type_ec).type() == fs::file_type::directory) continue;
    std::error_code remove_ec;
    fs::remove(it->path(), remove_ec);
  }
}

}  // namespace

WorkFolder WorkFolder::OfLibrary() {
  return WorkFolder(ForLibraryIn(platform::ModuleFolder(reinterpret_cast<const void*>(&WorkFolder::OfLibrary))));
}

std::filesystem::path WorkFolder::ForLibraryIn(const std::filesystem::path& libraryFolder) {
  const std::string folder = libraryFolder.string();
  const bool installed = folder.rfind("/usr/", 0) == 0 || folder.find("/site-packages/") != std::string::npos ||
                         folder.find("/dist-packages/") != std::string::npos;
  if (!installed) return libraryFolder;
  // An installed library: the user's own folder instead.
  std::filesystem::path cache;
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && *xdg == '/') {
    cache = xdg;
  } else {
    const char* home = std::getenv("HOME");
    cache = std::filesystem::path(home != nullptr && *home != '\0' ? home : "/tmp") / ".cache";
  }
  return cache / "renderfarm" / "work";
}

void WorkFolder::Prepare() const {
  std::error_code ec;
  std::filesystem::create_directories(source(), ec);
  std::filesystem::create_directories(output(), ec);
  RemoveFiles(source());
  RemoveFiles(output());
}

}  // namespace scene
