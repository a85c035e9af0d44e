#include "engine/EngineOptions.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace engine {
namespace {

std::string Upper(const std::string& s) {
  std::string u = s;
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

bool ParseEngineCommandLine(const std::vector<std::string>& args, EngineOptions* out, std::string* error) {
  EngineOptions o;
  for (const std::string& arg : args) {
    if (arg.empty()) continue;
    const std::string up = Upper(arg);
    if (up == "/EXIT") {
      o.exitWhenDone = true;
      continue;
    }
    if (up == "/RENDER") {
      o.render = true;
      continue;
    }
    if (arg[0] != '+' && arg[0] != '-') {
      if (!o.scene.empty()) {
        *error = "more than one scene: " + o.scene + ", " + arg;
        return false;
      }
      o.scene = arg;
      continue;
    }
    const bool on = arg[0] == '+';
    const std::string key = up.substr(1);
    const std::string value = arg.substr(std::min<std::size_t>(arg.size(), 3));
    if (key.rfind("SR", 0) == 0 && key.size() > 2) {
      o.startRow = value;
    } else if (key.rfind("ER", 0) == 0 && key.size() > 2) {
      o.endRow = value;
    } else if (key.rfind("SC", 0) == 0 && key.size() > 2) {
      o.startColumn = value;
    } else if (key.rfind("EC", 0) == 0 && key.size() > 2) {
      o.endColumn = value;
    } else if ((key[0] == 'W' || key[0] == 'H') && key.size() > 1 && AllDigits(key.substr(1))) {
      const long v = std::strtol(key.c_str() + 1, nullptr, 10);
      if (v <= 0 || v > 1000000) {
        *error = "bad picture size: " + arg;
        return false;
      }
      (key[0] == 'W' ? o.width : o.height) = static_cast<int>(v);
    } else if (key[0] == 'O' && on) {
      o.output = arg.substr(2);
    } else if (key == "UA") {
      o.alpha = on;
    } else {
      o.passThrough.push_back(arg);
    }
  }
  if (o.scene.empty()) {
    *error = "no scene given";
    return false;
  }
  *out = std::move(o);
  return true;
}

std::optional<int> ResolveRow(const std::string& value, int height, bool isEnd) {
  if (value.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(value.c_str(), &end);
  if (end == value.c_str() || *end != '\0' || !std::isfinite(v)) return std::nullopt;
  if (value.find('.') != std::string::npos && v >= 0.0 && v <= 1.0) {
    // In 64 bits: a start at the fraction 1.0 of a picture INT_MAX rows high
    // is one past int's range.
    const auto row = static_cast<long long>(std::floor(v * height));
    const long long resolved = isEnd ? std::max(row, 1LL) : row + 1;
    return static_cast<int>(std::min<long long>(resolved, std::numeric_limits<int>::max()));
  }
  if (v < 1.0) return 1;
  if (v > 2e9) return 2000000000;
  return static_cast<int>(v);
}

}  // namespace engine
