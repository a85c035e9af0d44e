#pragma once
// What a component library writes into the class registry when it is
// registered, and removes when it is unregistered: a list of keys with
// their values, parents before children.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/ClassRegistry.h"
#include "platform/Com.h"

namespace platform::com {

// Plain data; writing a script goes through ClassRegistry::Edit's file lock.
struct ScriptKey {
  enum class Kind {
    kNormal,       // unregistration removes it once no key is left below it
    kNoRemove,     // shared by several libraries: unregistration leaves it
    kForceRemove,  // removed with everything below it before it is written, and on unregistration
  };
  std::string path;
  std::vector<std::pair<std::string, std::string>> values;  // "" names the default value
  Kind kind = Kind::kNormal;
};
using RegistrationScript = std::vector<ScriptKey>;

// Writes the keys and values of `script` into `registry`.
void RegisterScript(const RegistrationScript& script, ClassRegistry& registry);
// Undoes RegisterScript: walks the keys children first; keeps kNoRemove
// keys, removes kForceRemove keys whole and kNormal keys once nothing is
// left below them.
void UnregisterScript(const RegistrationScript& script, ClassRegistry& registry);

// The registration of one creatable class: its versioned ProgID
// `progId` and version-independent `versionIndependentProgId` (with
// CurVer), and under CLSID\{clsid} its description, ProgIDs, an empty
// Programmable key, InprocServer32 = `module` with ThreadingModel, AppID
// (when `appId` is not empty) and TypeLib.
struct ClassInfo {
  std::string description;
  std::string progId;
  std::string versionIndependentProgId;
  std::string clsid;
  std::string threadingModel;
};
RegistrationScript ClassScript(const ClassInfo& info, const std::string& module, const std::string& appId,
                               const std::string& typeLib);

// The application entry: AppID\{appId} = name, and AppID\MODULEFILE with
// the value AppID.
RegistrationScript AppIdScript(const std::string& appId, const std::string& name, const std::string& moduleFileName);

// The type library entry: TypeLib\{libId}\VERSION = help string, with the
// locale's key holding the library path, FLAGS and HELPDIR.
struct TypeLibInfo {
  std::string libId;
  std::string version;  // "1.0"
  std::string locale;   // hexadecimal locale id, "409"
  std::string helpString;
};
RegistrationScript TypeLibScript(const TypeLibInfo& info, const std::filesystem::path& module);

// DllRegisterServer and DllUnregisterServer of a library: applies `steps`
// in order to the class registry at `registryPath` (unregistering: in
// reverse order), in one locked edit. Answers S_OK, or the failure of the
// first step that fails; the steps after it are skipped. A damaged registry
// file fails the first step and is left untouched. Failures are also
// written to standard error, path and line included, since an HRESULT
// cannot carry them.
HRESULT RunRegistration(const std::vector<RegistrationScript>& steps, bool unregister,
                        const std::filesystem::path& registryPath);

}  // namespace platform::com
