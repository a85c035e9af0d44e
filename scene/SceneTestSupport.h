#pragma once
// Helpers for the scene maker tests: the expected texts are built here from
// the printf-style formats of the scene language, independently of the
// library's own formatting.
#include <stb/stb_image.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"

namespace scenetest {

inline std::string F(double v) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%30.17f", v);
  return buf;
}

inline std::string Vec(const std::string& kw, double a, double b, double c) {
  return kw + " < " + F(a) + " ," + F(b) + " ," + F(c) + " > \n";
}

inline std::string ColF(const std::string& kw, double r, double g, double b, double f) {
  return kw + " < " + F(r) + " ," + F(g) + "  ," + F(b) + "  ," + F(f) + "> \n";
}

inline std::string PP(const std::string& kw, double a, double b) { return kw + " < " + F(a) + " ," + F(b) + " > \n"; }

inline std::string Num(const std::string& kw, double v) { return kw + "  " + F(v) + "\n"; }
inline std::string Cnt(const std::string& kw, int n) { return kw + "  " + std::to_string(n) + "\n"; }
inline std::string Word(const std::string& kw, const std::string& w) { return kw + "  " + w + " \n"; }

// " %s \n %s \n %s \n %s \n %s \n %s \n" filled with the six placement texts.
inline std::string Slots(const std::vector<std::string>& s, bool pointLight = false) {
  std::string out;
  for (std::size_t i = 0; i < 6; ++i) out += (pointLight && i == 5 ? "  " : " ") + s[i] + " \n";
  return out;
}

inline const std::vector<std::string> kInitSlots = {" ", " ", " ", " ", " ", " "};

inline std::string DefaultGlobals() {
  return " \n  global_settings { \n " + Num("assumed_gamma ", 1.0) + " \n " + " " + "  \n}";
}

inline std::filesystem::path BinDir() {
  const char* bin = std::getenv("FARM_BIN_DIR");
  return bin != nullptr ? std::filesystem::path(bin) : std::filesystem::path();
}

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string SceneText() { return ReadFile(BinDir() / "Render" / "Tessel.pov"); }

// Test helpers: the test's thread only.
struct RenderResult {
  int status = -1;
  std::string log;
  std::filesystem::path picture;
};

// Has POV-Ray render Tessel.pov of `renderFolder` at width x height into
// `outFolder`/picture.png. Debian's povray.conf lets the renderer read the
// current folder and write under /tmp only, so it runs inside the render
// folder (where the scene's images are) and `outFolder` must lie under /tmp.
inline RenderResult RenderScene(const std::filesystem::path& renderFolder, const std::filesystem::path& outFolder,
                                int width, int height) {
  RenderResult r;
  r.picture = outFolder / "picture.png";
  std::filesystem::path log = outFolder / "povray.log";
  std::string error;
  auto child = platform::ChildProcess::Start(
      {"timeout", "240", "sh", "-c", "cd \"$1\" && exec povray -D -V +W$4 +H$5 +FN \"+O$2\" Tessel.pov 2>\"$3\"", "sh",
       renderFolder.string(), r.picture.string(), log.string(), std::to_string(width), std::to_string(height)},
      &error);
  if (!child) {
    r.log = error;
    return r;
  }
  r.status = child->Wait();
  r.log = ReadFile(log);
  return r;
}

// True when the picture has the given size and holds at least two colours.
inline bool HasSeveralColours(const std::filesystem::path& png, int width, int height, std::string* why) {
  int w = 0, h = 0, n = 0;
  unsigned char* pixels = stbi_load(png.c_str(), &w, &h, &n, 3);
  if (pixels == nullptr) {
    *why = "cannot read " + png.string();
    return false;
  }
  bool differs = false;
  for (int i = 1; i < w * h && !differs; ++i) {
    for (int c = 0; c < 3; ++c) differs = differs || pixels[i * 3 + c] != pixels[c];
  }
  stbi_image_free(pixels);
  if (w != width || h != height) *why = "picture is " + std::to_string(w) + "x" + std::to_string(h);
  if (!differs) *why = "picture is a single colour";
  return differs && w == width && h == height;
}

// A private folder under /tmp, removed with the object.
class TmpFolder {
 public:
  TmpFolder() {
    char tmpl[] = "/tmp/scene_test_XXXXXX";
    if (mkdtemp(tmpl) != nullptr) path_ = tmpl;
  }
  ~TmpFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace scenetest
