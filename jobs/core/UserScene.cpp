#include "jobs/core/UserScene.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <system_error>

#include "idl/WellKnownNames.h"
#include "jobs/core/JobPackage.h"

namespace jobs {
namespace {

namespace fs = std::filesystem;
using platform::Status;

constexpr char kSceneFolderName[] = "scene";

std::string Megabytes(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB"; }

// The bytes of the files WriteFoldersPackage would pack from `folder`,
// stopping once past `limit`.
platform::StatusOr<std::uint64_t> TreeBytes(const fs::path& folder, std::uint64_t limit) {
  std::error_code ec;
  fs::recursive_directory_iterator it(folder, fs::directory_options::none, ec);
  if (ec) return Status::Error("cannot read the folder " + folder.string() + ": " + ec.message());
  std::uint64_t total = 0;
  for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
    if (ec) return Status::Error("cannot read the folder " + folder.string() + ": " + ec.message());
    const std::string name = it->path().filename().string();
    std::error_code typeEc;
    const bool isFolder = it->is_directory(typeEc);
    if (name.empty() || name[0] == '.' ||
        (isFolder && (it->is_symlink(typeEc) || farm::IsStandardFolder(it->path())))) {
      if (isFolder) it.disable_recursion_pending();
      continue;
    }
    if (isFolder) continue;
    const std::uintmax_t size = it->file_size(typeEc);
    if (!typeEc) total += size;
    if (total > limit) break;
  }
  return total;
}

bool IsHomeFolder(const fs::path& folder) {
  std::error_code ec;
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0' && fs::equivalent(folder, home, ec)) {
    return true;
  }
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    if (fs::equivalent(folder, pw->pw_dir, ec)) return true;
  }
  return folder == "/home" || folder == "/root";
}

// The folder's name inside `tree`, when it lies there ("" for the tree itself).
std::optional<std::string> Inside(const fs::path& folder, const fs::path& tree) {
  const fs::path rel = folder.lexically_relative(tree);
  if (rel.empty() || *rel.begin() == "..") return std::nullopt;
  return rel == "." ? std::string() : rel.generic_string();
}

}  // namespace

std::uint64_t UserScene::MaxBytes() {
  std::uint64_t mb = kDefaultMaxMb;
  if (const char* text = std::getenv("LUMORA_SCENE_MAX_MB"); text != nullptr && *text != '\0') {
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (*end == '\0' && v >= 1 && v < (1ull << 40)) mb = v;
  }
  return mb << 20;
}

platform::StatusOr<UserScene> UserScene::Plan(const farm::RenderOptions& given) {
  if (given.inputFile.empty()) return Status::Error("no scene file given (SCENE.pov, +I or Input_File_Name)");
  if (given.width < 1 || given.height < 1) return Status::Error("the picture's size is 0");
  std::error_code ec;
  const fs::path main = fs::weakly_canonical(fs::absolute(given.inputFile), ec);
  if (ec || !fs::is_regular_file(main, ec)) return Status::Error("there is no scene file " + given.inputFile);
  std::ifstream probe(main, std::ios::binary);
  if (!probe) return Status::Error("cannot read the scene file " + main.string());
  if (fs::file_size(main, ec) == 0) return Status::Error("the scene file " + main.string() + " is empty");
  const fs::path folder = main.parent_path();
  if (folder == "/" || IsHomeFolder(folder)) {
    return Status::Error(
        "the scene's folder " + folder.string() +
        " is a home folder or /: every file in it would be sent; put the scene in a folder of its own");
  }
  UserScene scene;
  scene.options = given;
  scene.options.inputFile = std::string(kSceneFolderName) + "/" + main.filename().string();
  scene.options.outputFile.clear();
  scene.options.libraryPaths.clear();
  scene.folders.push_back({folder, kSceneFolderName});
  for (const std::string& library : given.libraryPaths) {
    const fs::path path = fs::weakly_canonical(fs::absolute(library), ec);
    if (farm::IsStandardFolder(path)) continue;  // every node has its own
    if (!fs::is_directory(path, ec)) return Status::Error("there is no library folder " + library);
    if (const std::optional<std::string> within = Inside(path, folder)) {
      scene.options.libraryPaths.push_back(std::string(kSceneFolderName) + (within->empty() ? "" : "/" + *within));
      continue;
    }
    if (path == "/" || IsHomeFolder(path)) {
      return Status::Error("the library folder " + library + " is a home folder or /; name a folder of its own");
    }
    const std::string name = "lib" + std::to_string(scene.folders.size());
    scene.folders.push_back({path, name});
    scene.options.libraryPaths.push_back(name);
  }
  const std::uint64_t limit = MaxBytes();
  for (const Folder& f : scene.folders) {
    platform::StatusOr<std::uint64_t> bytes = TreeBytes(f.source, limit);
    if (!bytes) return bytes.status();
    scene.bytes += *bytes;
    if (scene.bytes > limit) {
      return Status::Error("the scene's folders hold more than " + Megabytes(limit) + " (from " + f.source.string() +
                           "); LUMORA_SCENE_MAX_MB raises the limit");
    }
  }
  return scene;
}

bool WriteScenePackage(const UserScene& scene, const std::filesystem::path& zipPath) {
  std::vector<PackedFolder> folders;
  for (const UserScene::Folder& f : scene.folders) folders.push_back({f.source, f.name});
  return WriteFoldersPackage(farm::kPackageFolder, folders, {{farm::kFarmOptionsFile, scene.OptionsFileText()}},
                             zipPath);
}

}  // namespace jobs
