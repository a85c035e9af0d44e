#pragma once
// The small object model of the farm's component libraries: class and
// interface identifiers, reference-counted interfaces and class factories,
// with the binary conventions of in-process servers (a library exports
// DllGetClassObject, DllCanUnloadNow, DllRegisterServer, DllUnregisterServer).
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/HResult.h"

namespace platform::com {

// A 128-bit identifier, written "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
//
// Identifiers are plain data; references may be added and released from any thread.
struct GUID {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};

  friend bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;

// Parses the braced form (hex digits in either case; braces required).
// Answers false, leaving *out alone, for anything else.
bool ParseGuid(std::string_view text, GUID* out);
// The braced form with upper-case digits.
std::string ToString(const GUID& guid);
// A GUID from a literal known to be well formed; an ill-formed one gives the
// nil GUID (tests catch that).
GUID MakeGuid(std::string_view text);

inline constexpr HRESULT kE_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT kE_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT kE_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT kE_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT kE_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT kE_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT kE_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT kCLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT kCLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
inline constexpr HRESULT kREGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
// The library file cannot be found or loaded.
inline constexpr HRESULT kE_MOD_NOT_FOUND = static_cast<HRESULT>(0x8007007Eu);
// The library has no entry point of that name.
inline constexpr HRESULT kE_PROC_NOT_FOUND = static_cast<HRESULT>(0x8007007Fu);
// The class registry file is damaged.
inline constexpr HRESULT kE_REGISTRY_CORRUPT = static_cast<HRESULT>(0x800703F1u);
// The class registry file cannot be read or written.
inline constexpr HRESULT kE_REGISTRY_IO = static_cast<HRESULT>(0x800703F8u);

inline bool Failed(HRESULT hr) { return hr < 0; }
inline bool Succeeded(HRESULT hr) { return hr >= 0; }

// "0x80040154 (class not registered)" for the codes above.
std::string DescribeResult(HRESULT hr);

// Every interface derives from IUnknown. An object lives while references
// are held; Release of the last one destroys it.
struct IUnknown {
  virtual HRESULT QueryInterface(const IID& iid, void** out) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
  // Makes a new object and answers its interface `iid` in *out (null on
  // failure). `outer` must be null: the classes are not aggregated.
  virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** out) = 0;
  // Keeps the library loaded (lock true) or lets it go again (false).
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

// The interface of a component class whose methods are the C++ class T's:
// the host calls them on object(), which lives as long as the interface is
// referenced.
template <class T>
struct IObjectOf : IUnknown {
  virtual T* object() = 0;

 protected:
  ~IObjectOf() = default;
};

extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;

// Holds one reference to an interface.
template <class I>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_ != nullptr) p_->AddRef();
  }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }
  I* get() const { return p_; }
  I* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Releases what is held and answers the slot an out-parameter fills.
  void** Out() {
    Reset();
    return reinterpret_cast<void**>(&p_);
  }

 private:
  I* p_ = nullptr;
};

}  // namespace platform::com

// The entry points of a component library.
extern "C" {
using DllGetClassObjectFn = HRESULT (*)(const platform::com::CLSID* clsid, const platform::com::IID* iid, void** out);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();
}
