#pragma once
// Helpers for the scene maker tests: the expected texts are built here from
// the printf-style formats of the scene language, independently of the
// library's own formatting.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

inline std::string PP(const std::string& kw, double a, double b) {
  return kw + " < " + F(a) + " ," + F(b) + " > \n";
}

inline std::string Num(const std::string& kw, double v) { return kw + "  " + F(v) + "\n"; }
inline std::string Cnt(const std::string& kw, int n) { return kw + "  " + std::to_string(n) + "\n"; }
inline std::string Word(const std::string& kw, const std::string& w) { return kw + "  " + w + " \n"; }

// " %s \n %s \n %s \n %s \n %s \n %s \n" filled with the six placement texts.
inline std::string Slots(const std::vector<std::string>& s, bool point_light = false) {
  std::string out;
  for (std::size_t i = 0; i < 6; ++i) out += (point_light && i == 5 ? "  " : " ") + s[i] + " \n";
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

}  // namespace scenetest
