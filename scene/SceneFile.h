#pragma once
#include <cstdio>
#include <filesystem>
#include <string>

namespace scene {

// The scene text being written. Opening truncates; text goes out as raw
// bytes in call order. Writes while no file is open are dropped.
//
// Owned by one Maker: its caller's thread only.
class SceneFile {
 public:
  SceneFile() = default;
  ~SceneFile() { Close(); }
  SceneFile(const SceneFile&) = delete;
  SceneFile& operator=(const SceneFile&) = delete;

  // Closes the current file first. False when the new one cannot be opened.
  bool Open(const std::filesystem::path& path);
  void Write(const std::string& text);
  void Close();
  bool is_open() const { return file_ != nullptr; }

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace scene
