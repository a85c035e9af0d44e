#pragma once
#include <filesystem>

#include "idl/WellKnownNames.h"

namespace scene {

// The folder of liblumora.so and the two folders the scene maker owns in
// it: Render/ (scene file and images) and RenderOut/.
//
// Its folders never change after construction: any thread may read them.
class WorkFolder {
 public:
  explicit WorkFolder(std::filesystem::path root) : root_(std::move(root)) {}

  // The folder of the library holding this code.
  static WorkFolder OfLibrary();

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path source() const { return root_ / farm::kPackageFolder; }
  std::filesystem::path output() const { return root_ / "RenderOut"; }
  std::filesystem::path scene_file() const { return source() / farm::kSceneFile; }

  // Creates both folders when missing and deletes the files in them (not
  // their sub-folders; links are removed, never followed). Errors are
  // ignored: a later open or copy fails on its own.
  void Prepare() const;

 private:
  std::filesystem::path root_;
};

}  // namespace scene
