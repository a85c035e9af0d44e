#include "platform/CreateObject.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "platform/ClassRegistry.h"

namespace platform::com {
namespace {

// The libraries this process has loaded, by path; never unloaded, as the
// objects they made may be anywhere in the host.
struct Loaded {
  std::mutex mutex;
  std::map<std::string, void*> handles;
};

Loaded& TheLoaded() {
  static Loaded* loaded = new Loaded;
  return *loaded;
}

void* LoadLibrary(const std::string& path, std::string* error) {
  Loaded& loaded = TheLoaded();
  std::lock_guard<std::mutex> lock(loaded.mutex);
  auto it = loaded.handles.find(path);
  if (it != loaded.handles.end()) return it->second;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    *error = "cannot load " + path + ": " + (why != nullptr ? why : "unknown error");
    return nullptr;
  }
  loaded.handles.emplace(path, handle);
  return handle;
}

void* Entry(void* handle, const char* name, const std::string& path, std::string* error) {
  void* entry = ::dlsym(handle, name);
  if (entry == nullptr) *error = path + " has no entry point " + name;
  return entry;
}

std::string RegisterHint(const std::string& name, const std::filesystem::path& registry) {
  return "class " + name + " is not registered in " + registry.string() +
         "; register its library with: farmreg LIBRARY (scripts/bootstrap registers build/bin)";
}

HRESULT Create(const CLSID& clsid, const std::string& name, const ClassRegistry& classes,
               const std::filesystem::path& registryPath, const IID& iid, void** out, std::string* error) {
  const std::optional<std::string> library = classes.Value("CLSID\\" + ToString(clsid) + "\\InprocServer32");
  if (!library || library->empty()) {
    *error = RegisterHint(name, registryPath);
    return kREGDB_E_CLASSNOTREG;
  }
  void* handle = LoadLibrary(*library, error);
  if (handle == nullptr) return kE_MOD_NOT_FOUND;
  auto get = reinterpret_cast<DllGetClassObjectFn>(Entry(handle, "DllGetClassObject", *library, error));
  if (get == nullptr) return kE_PROC_NOT_FOUND;
  IClassFactory* factory = nullptr;
  HRESULT hr = get(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (Failed(hr) || factory == nullptr) {
    *error = *library + " does not make class " + name + ": " + DescribeResult(hr);
    return Failed(hr) ? hr : kE_FAIL;
  }
  hr = factory->CreateInstance(nullptr, iid, out);
  factory->Release();
  if (Failed(hr)) *error = "class " + name + " of " + *library + ": " + DescribeResult(hr);
  return hr;
}

std::filesystem::path RegistryPath(const std::filesystem::path& given) {
  return given.empty() ? ClassRegistry::DefaultPath() : given;
}

HRESULT CreateFrom(const std::filesystem::path& path, const std::string& name, const IID& iid, void** out,
                   std::string* error) {
  ClassRegistry classes;
  HRESULT hr = ClassRegistry::Load(path, &classes, error);
  if (Failed(hr)) return hr;
  CLSID clsid;
  if (!ParseGuid(name, &clsid)) {
    std::optional<std::string> text = classes.Value(name + "\\CLSID");
    if (!text || !ParseGuid(*text, &clsid)) {
      *error = RegisterHint(name, path);
      return kREGDB_E_CLASSNOTREG;
    }
  }
  return Create(clsid, name, classes, path, iid, out, error);
}

}  // namespace

HRESULT CreateInstance(const std::string& name, const IID& iid, void** out, std::string* error,
                       const std::filesystem::path& registry) {
  if (out == nullptr) return kE_POINTER;
  *out = nullptr;
  std::string ignored;
  if (error == nullptr) error = &ignored;
  const std::filesystem::path path = RegistryPath(registry);
  HRESULT hr = CreateFrom(path, name, iid, out, error);
  // The user's own registrations come first; the packages' follow.
  if (hr == kREGDB_E_CLASSNOTREG && registry.empty() && path != ClassRegistry::SystemPath()) {
    std::string systemError;
    const HRESULT system = CreateFrom(ClassRegistry::SystemPath(), name, iid, out, &systemError);
    if (system != kREGDB_E_CLASSNOTREG) {
      *error = systemError;
      return system;
    }
    *error = "class " + name + " is registered neither in " + path.string() + " nor in " +
             ClassRegistry::SystemPath().string() +
             "; register its library with: farmreg LIBRARY (scripts/bootstrap registers build/bin)";
  }
  return hr;
}

HRESULT CreateInstance(const CLSID& clsid, const IID& iid, void** out, std::string* error,
                       const std::filesystem::path& registry) {
  return CreateInstance(ToString(clsid), iid, out, error, registry);
}

HRESULT RegisterLibrary(const std::filesystem::path& library, bool unregister, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  std::error_code ec;
  std::filesystem::path full = std::filesystem::canonical(library, ec);
  if (ec) {
    *error = library.string() + ": " + ec.message();
    return kE_MOD_NOT_FOUND;
  }
  void* handle = LoadLibrary(full.string(), error);
  if (handle == nullptr) return kE_MOD_NOT_FOUND;
  const char* name = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto entry = reinterpret_cast<DllRegisterServerFn>(Entry(handle, name, full.string(), error));
  if (entry == nullptr) return kE_PROC_NOT_FOUND;
  HRESULT hr = entry();
  if (Failed(hr)) *error = full.string() + ": " + name + " answered " + DescribeResult(hr);
  return hr;
}

HRESULT CanUnloadNow(const std::filesystem::path& library) {
  std::error_code ec;
  const std::string path = std::filesystem::canonical(library, ec).string();
  void* handle = nullptr;
  {
    Loaded& loaded = TheLoaded();
    std::lock_guard<std::mutex> lock(loaded.mutex);
    auto it = loaded.handles.find(path);
    if (ec || it == loaded.handles.end()) return kE_MOD_NOT_FOUND;
    handle = it->second;
  }
  auto entry = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(handle, "DllCanUnloadNow"));
  return entry != nullptr ? entry() : kE_PROC_NOT_FOUND;
}

}  // namespace platform::com
