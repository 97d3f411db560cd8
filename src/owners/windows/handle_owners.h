// Owners of the Windows resources the program holds: a kernel HANDLE, a COM
// interface, a CoTaskMemAlloc'd text and a VARIANT.
#pragma once

// First: the other Windows headers take its types as given.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include "owners/unique_resource.h"

namespace camera_info {

// A HANDLE of CreateFile and its kin, whose empty value is INVALID_HANDLE_VALUE
// (most other kernel handles are empty when null, and would have an owner
// of their own).
struct FileHandleTraits {
    using Value = HANDLE;
    static Value none() { return INVALID_HANDLE_VALUE; }
    static void close(Value handle) { (void)CloseHandle(handle); }
};
using UniqueFileHandle = UniqueResource<FileHandleTraits>;

// A COM interface pointer, let go with IUnknown::Release.
template <typename Interface>
struct ComTraits {
    using Value = Interface*;
    static constexpr Value none() { return nullptr; }
    static void close(Value object) { object->Release(); }
};
template <typename Interface>
class ComPtr : public UniqueResource<ComTraits<Interface>> {
public:
    using UniqueResource<ComTraits<Interface>>::UniqueResource;
    Interface* operator->() const { return this->get(); }
    // For the calls that take a void** (CoCreateInstance, BindToStorage).
    void** putVoid() { return reinterpret_cast<void**>(this->put()); }
};

// A text the callee allocated with CoTaskMemAlloc (a display name).
struct CoTaskMemTraits {
    using Value = wchar_t*;
    static constexpr Value none() { return nullptr; }
    static void close(Value text) { CoTaskMemFree(text); }
};
using CoTaskMemText = UniqueResource<CoTaskMemTraits>;

// A VARIANT: a value rather than a handle, initialised when made
// (VariantInit) and cleared when it goes.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { (void)VariantClear(&value_); }

    VARIANT* get() { return &value_; }
    const VARIANT* get() const { return &value_; }

private:
    VARIANT value_;
};

}  // namespace camera_info
