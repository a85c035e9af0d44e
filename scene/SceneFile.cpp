#include "scene/SceneFile.h"

namespace scene {

bool SceneFile::Open(const std::filesystem::path& path) {
  Close();
  file_ = std::fopen(path.c_str(), "w+b");
  return file_ != nullptr;
}

void SceneFile::Write(const std::string& text) {
  if (file_ != nullptr && !text.empty()) std::fwrite(text.data(), 1, text.size(), file_);
}

void SceneFile::Close() {
  if (file_ == nullptr) return;
  std::fflush(file_);
  std::fclose(file_);
  file_ = nullptr;
}

}  // namespace scene
