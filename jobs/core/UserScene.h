#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "idl/RenderOptions.h"
#include "platform/Status.h"

namespace jobs {

// A user's own POV-Ray scene made into a job: what its package holds and
// the options its nodes render it with.
//
// The package's folder "Render" holds the main file's whole folder tree as
// "Render/scene" (names beginning with "." and POV-Ray's own folders left
// out), every library folder outside that tree as "Render/lib1", ... (POV-Ray's
// own library folders are not sent: every node has them), and the farm
// options file. The renderer runs in the scene's folder inside the package,
// as povray looks for include files in its working folder and library path,
// not beside the including file.
//
// Plain data; Plan reads the file system. Any thread.
struct UserScene {
  struct Folder {
    std::filesystem::path source;
    std::string name;  // under the package folder
  };
  std::vector<Folder> folders;  // the scene's folder first
  farm::RenderOptions options;  // as the farm options file states them
  std::uint64_t bytes = 0;      // the files packed, in all

  // The most a scene's folders may hold: $LUMORA_SCENE_MAX_MB megabytes, a
  // whole number from 1, else kDefaultMaxMb.
  static constexpr std::uint64_t kDefaultMaxMb = 512;
  static std::uint64_t MaxBytes();

  // Plans the job for `options` as the user gave them (defaults already
  // applied, relative names from the current folder). Fails, before any
  // node is engaged, for: no scene, a scene file that cannot be read or is
  // empty, a scene folder that is "/" or a home folder, folders holding more
  // than MaxBytes(), a library folder that is missing, no size.
  static platform::StatusOr<UserScene> Plan(const farm::RenderOptions& options);

  // The farm options file's text.
  std::string OptionsFileText() const { return farm::FormatFarmOptions(options); }
};

// Writes the package of `scene` to `zipPath` as WriteJobPackage writes the
// scene maker's (entries named "Render\...", deflated, dated), with the
// farm options file last. False when the archive cannot be written.
bool WriteScenePackage(const UserScene& scene, const std::filesystem::path& zipPath);

}  // namespace jobs
