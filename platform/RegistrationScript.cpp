#include "platform/RegistrationScript.h"

#include "platform/MessageBox.h"

namespace platform::com {

void RegisterScript(const RegistrationScript& script, ClassRegistry& registry) {
  for (const ScriptKey& key : script) {
    if (key.kind == ScriptKey::Kind::kForceRemove) registry.DeleteTree(key.path);
    registry.CreateKey(key.path);
    for (const auto& [name, value] : key.values) registry.SetValue(key.path, name, value);
  }
}

void UnregisterScript(const RegistrationScript& script, ClassRegistry& registry) {
  for (auto key = script.rbegin(); key != script.rend(); ++key) {
    switch (key->kind) {
      case ScriptKey::Kind::kNoRemove: break;
      case ScriptKey::Kind::kForceRemove: registry.DeleteTree(key->path); break;
      case ScriptKey::Kind::kNormal:
        for (const auto& value : key->values) registry.DeleteValue(key->path, value.first);
        if (registry.HasKey(key->path) && !registry.HasSubkeys(key->path)) registry.DeleteTree(key->path);
        break;
    }
  }
}

RegistrationScript ClassScript(const ClassInfo& c, const std::string& module, const std::string& appId,
                               const std::string& typeLib) {
  using Kind = ScriptKey::Kind;
  const std::string clsidKey = "CLSID\\" + c.clsid;
  RegistrationScript s = {
      {c.progId, {{"", c.description}}, Kind::kNormal},
      {c.progId + "\\CLSID", {{"", c.clsid}}, Kind::kNormal},
      {c.versionIndependentProgId, {{"", c.description}}, Kind::kNormal},
      {c.versionIndependentProgId + "\\CLSID", {{"", c.clsid}}, Kind::kNormal},
      {c.versionIndependentProgId + "\\CurVer", {{"", c.progId}}, Kind::kNormal},
      {"CLSID", {}, Kind::kNoRemove},
      {clsidKey, {{"", c.description}}, Kind::kForceRemove},
      {clsidKey + "\\ProgID", {{"", c.progId}}, Kind::kNormal},
      {clsidKey + "\\VersionIndependentProgID", {{"", c.versionIndependentProgId}}, Kind::kNormal},
      {clsidKey + "\\Programmable", {}, Kind::kForceRemove},
      {clsidKey + "\\InprocServer32", {{"", module}, {"ThreadingModel", c.threadingModel}}, Kind::kNormal},
      {clsidKey + "\\TypeLib", {{"", typeLib}}, Kind::kNormal},
  };
  if (!appId.empty()) s[6].values.emplace_back("AppID", appId);
  return s;
}

RegistrationScript AppIdScript(const std::string& appId, const std::string& name, const std::string& moduleFileName) {
  using Kind = ScriptKey::Kind;
  return {
      {"AppID", {}, Kind::kNoRemove},
      {"AppID\\" + appId, {{"", name}}, Kind::kNormal},
      {"AppID\\" + moduleFileName, {{"AppID", appId}}, Kind::kNormal},
  };
}

RegistrationScript TypeLibScript(const TypeLibInfo& t, const std::filesystem::path& module) {
  using Kind = ScriptKey::Kind;
  const std::string version = "TypeLib\\" + t.libId + "\\" + t.version;
  return {
      {"TypeLib", {}, Kind::kNoRemove},
      {"TypeLib\\" + t.libId, {}, Kind::kNormal},
      {version, {{"", t.helpString}}, Kind::kForceRemove},
      {version + "\\" + t.locale, {}, Kind::kNormal},
      {version + "\\" + t.locale + "\\linux", {{"", module.string()}}, Kind::kNormal},
      {version + "\\FLAGS", {{"", "0"}}, Kind::kNormal},
      {version + "\\HELPDIR", {{"", module.parent_path().string()}}, Kind::kNormal},
  };
}

HRESULT RunRegistration(const std::vector<RegistrationScript>& steps, bool unregister,
                        const std::filesystem::path& registryPath) {
  std::string error;
  HRESULT hr = ClassRegistry::Edit(
      registryPath,
      [&](ClassRegistry& registry) {
        if (unregister) {
          for (auto step = steps.rbegin(); step != steps.rend(); ++step) UnregisterScript(*step, registry);
        } else {
          for (const RegistrationScript& step : steps) RegisterScript(step, registry);
        }
        return S_OK;
      },
      &error);
  if (Failed(hr)) platform::WriteMessageToStderr("class registry: " + error);
  return hr;
}

}  // namespace platform::com
