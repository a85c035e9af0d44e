#pragma once
// The library side of the object model: the module's count of live objects
// and locks, a reference-counted object around a C++ class, and its class
// factory. Each component library has one Module of its own.
#include <atomic>
#include <new>
#include <utility>

#include "platform/Com.h"

namespace platform::com {

// Counts the live objects and server locks of one library; the library may
// be unloaded only while the count is 0.
//
// Any thread: the counts here are atomic; T's own methods say what they allow.
class Module {
 public:
  void Lock() { count_.fetch_add(1, std::memory_order_relaxed); }
  void Unlock() { count_.fetch_sub(1, std::memory_order_acq_rel); }
  long count() const { return count_.load(std::memory_order_acquire); }

 private:
  std::atomic<long> count_{0};
};

// An object of class T behind interface I (an IObjectOf<T>, or an interface
// of T's own): holds T and a module lock for its life. T is made with its
// default constructor.
template <class T, class I>
class ComObject final : public I {
 public:
  ComObject(Module& module, const IID& iid) : module_(module), iid_(iid) { module_.Lock(); }
  ~ComObject() { module_.Unlock(); }

  HRESULT QueryInterface(const IID& iid, void** out) override {
    if (out == nullptr) return kE_POINTER;
    if (iid == IID_IUnknown || iid == iid_) {
      AddRef();
      *out = static_cast<I*>(this);
      return S_OK;
    }
    *out = nullptr;
    return kE_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  std::uint32_t Release() override {
    const std::uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  T* object() { return &object_; }

 private:
  Module& module_;
  const IID iid_;
  std::atomic<std::uint32_t> refs_{0};
  T object_;
};

// The class factory of ComObject<T, I>; one static instance per class. Its
// references lock the module, so a host that holds a factory keeps the
// library.
template <class T, class I>
class ClassFactory final : public IClassFactory {
 public:
  ClassFactory(Module& module, const IID& iid) : module_(module), iid_(iid) {}

  HRESULT QueryInterface(const IID& iid, void** out) override {
    if (out == nullptr) return kE_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      AddRef();
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return kE_NOINTERFACE;
  }
  std::uint32_t AddRef() override {
    module_.Lock();
    return 2;
  }
  std::uint32_t Release() override {
    module_.Unlock();
    return 1;
  }

  HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** out) override {
    if (out == nullptr) return kE_POINTER;
    *out = nullptr;
    if (outer != nullptr) return kCLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) ComObject<T, I>(module_, iid_);
    if (object == nullptr) return kE_OUTOFMEMORY;
    object->AddRef();
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();  // the caller's reference, if any, keeps it
    return hr;
  }
  HRESULT LockServer(bool lock) override {
    if (lock) {
      module_.Lock();
    } else {
      module_.Unlock();
    }
    return S_OK;
  }

 private:
  Module& module_;
  const IID iid_;
};

// One row of a library's class table.
struct ClassEntry {
  const CLSID* clsid;
  IClassFactory* factory;
};

// DllGetClassObject over a class table.
template <std::size_t N>
HRESULT GetClassObject(const ClassEntry (&table)[N], const CLSID* clsid, const IID* iid, void** out) {
  if (out == nullptr) return kE_POINTER;
  *out = nullptr;
  if (clsid == nullptr || iid == nullptr) return kE_INVALIDARG;
  for (const ClassEntry& entry : table) {
    if (*entry.clsid == *clsid) return entry.factory->QueryInterface(*iid, out);
  }
  return kCLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace platform::com
