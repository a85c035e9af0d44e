#pragma once
// The per-user class registry: where component libraries record their
// classes (ProgIDs, CLSIDs, library paths) so that hosts create objects by
// name. One human-readable file of keys and string values, laid out like a
// registry export:
//
//   [CLSID\{C3B34545-7BA0-4CF9-88F1-31B694229F9E}\InprocServer32]
//   @="/opt/farm/bin/liblumora.so"
//   "ThreadingModel"="Apartment"
//
// "@" is a key's default value. Key paths and value names compare without
// regard to ASCII case. Lines starting with ";" are comments.
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/HResult.h"

namespace platform::com {

struct NoCase {
  bool operator()(const std::string& a, const std::string& b) const;
};

// One thread per object; processes share the file through Edit's file lock.
class ClassRegistry {
 public:
  using Values = std::map<std::string, std::string, NoCase>;  // "" is the default value

  // $XDG_CONFIG_HOME/renderfarm/classes.reg, with ~/.config for an unset or
  // relative XDG_CONFIG_HOME.
  static std::filesystem::path DefaultPath();

  // The system-wide registry, read after the user's own: the classes the
  // installed packages register (farmreg with XDG_CONFIG_HOME=/etc writes
  // it): /etc/renderfarm/classes.reg.
  static std::filesystem::path SystemPath();

  // Reads `path` into *out. A missing file is an empty registry. A damaged
  // one answers kE_REGISTRY_CORRUPT with "PATH:LINE: problem" in *error; an
  // unreadable one kE_REGISTRY_IO.
  static HRESULT Load(const std::filesystem::path& path, ClassRegistry* out, std::string* error);

  // Changes the file under an exclusive lock (PATH.lock), so that edits by
  // several processes at once all survive: loads it, runs `change`, and
  // writes the result to a temporary file renamed over `path` (readers see
  // the old or the new file, never a part). What `change` did is written
  // even when it answers a failure (the steps before the failure stand);
  // its result is answered. A damaged file is left as it is and nothing is
  // changed. Creates the folder when needed.
  static HRESULT Edit(const std::filesystem::path& path, const std::function<HRESULT(ClassRegistry&)>& change,
                      std::string* error);

  // Parses the file text; `name` labels error messages ("NAME:LINE: ...").
  bool Parse(const std::string& text, const std::string& name, std::string* error);
  std::string Serialize() const;

  bool HasKey(const std::string& key) const;
  // The value `name` ("" for the default value) of `key`, if both exist.
  std::optional<std::string> Value(const std::string& key, const std::string& name = std::string()) const;
  // Creates the key (and the keys above it) when missing.
  void CreateKey(const std::string& key);
  void SetValue(const std::string& key, const std::string& name, const std::string& value);
  void DeleteValue(const std::string& key, const std::string& name);
  // Removes the key with every key below it.
  void DeleteTree(const std::string& key);
  bool HasSubkeys(const std::string& key) const;

 private:
  std::map<std::string, Values, NoCase> keys_;
};

}  // namespace platform::com
