#pragma once
// Creates objects of registered component classes by name, as a host does:
// finds the class in the per-user class registry, loads its library and
// asks the library's class factory.
#include <filesystem>
#include <string>

#include "platform/Com.h"

namespace platform::com {

// Creates an object of the class named `name` - a ProgID ("Lumora.Maker",
// "Lumora.Maker.1") or a braced CLSID - and answers its interface `iid` in
// *out (null on failure). The library is loaded once per process and stays
// loaded. Answers S_OK, or:
//   kREGDB_E_CLASSNOTREG        the name or CLSID is not in the registry
//   kE_MOD_NOT_FOUND            the registered library cannot be loaded
//   kE_PROC_NOT_FOUND           it has no DllGetClassObject
//   kCLASS_E_CLASSNOTAVAILABLE  it does not make that class
//   kE_NOINTERFACE              the object has no interface `iid`
//   kE_REGISTRY_CORRUPT, kE_REGISTRY_IO  the registry file (path and line in *error)
// with a sentence for the user in *error. `registry` defaults to
// ClassRegistry::DefaultPath(), and then a class it does not hold is looked
// for in ClassRegistry::SystemPath() too.
HRESULT CreateInstance(const std::string& name, const IID& iid, void** out, std::string* error,
                       const std::filesystem::path& registry = std::filesystem::path());
HRESULT CreateInstance(const CLSID& clsid, const IID& iid, void** out, std::string* error,
                       const std::filesystem::path& registry = std::filesystem::path());

// Calls DllRegisterServer (or DllUnregisterServer) of the library at `library`;
// a failure to load it or to find the entry point is described in *error.
HRESULT RegisterLibrary(const std::filesystem::path& library, bool unregister, std::string* error);

// Asks the library at `library`, if this process has it loaded, whether it
// could be unloaded now (its DllCanUnloadNow); kE_MOD_NOT_FOUND when not loaded.
HRESULT CanUnloadNow(const std::filesystem::path& library);

}  // namespace platform::com
