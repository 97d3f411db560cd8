// All of the Windows registry's COM calls live here.
#include "discovery/windows/directshow_registry.h"

// First: the other Windows headers take its types as given.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <strmif.h>

#include <memory>

#include "owners/windows/handle_owners.h"

namespace camera_info {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

// The published identifiers, spelled out so that no import library has to
// provide them.
constexpr GUID kSystemDeviceEnum = {0x62BE5D10, 0x60EB, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
constexpr GUID kCreateDevEnum = {0x29840822, 0x5B84, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
constexpr GUID kVideoInputDeviceCategory = {
    0x860BB310, 0x5D01, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
constexpr GUID kPropertyBag = {0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};

template <typename Interface>
Interface* as(Handle handle) {
    return reinterpret_cast<Interface*>(handle);
}

// Hands an interface on across the seam: the rules release it.
template <typename Interface>
Handle handOut(ComPtr<Interface> object) {
    return reinterpret_cast<Handle>(static_cast<IUnknown*>(object.release()));
}

}  // namespace

void DirectShowRegistry::initialize() { (void)CoInitialize(nullptr); }

Status DirectShowRegistry::createDeviceEnumerator(Handle& deviceEnumerator) {
    ComPtr<ICreateDevEnum> created;
    const HRESULT hr =
        CoCreateInstance(kSystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, kCreateDevEnum, created.putVoid());
    deviceEnumerator = handOut(std::move(created));
    return hr;
}

Status DirectShowRegistry::createClassEnumerator(Handle deviceEnumerator, Handle& classEnumerator) {
    ComPtr<IEnumMoniker> created;
    const HRESULT hr =
        as<ICreateDevEnum>(deviceEnumerator)->CreateClassEnumerator(kVideoInputDeviceCategory, created.put(), 0);
    classEnumerator = handOut(std::move(created));
    return hr;
}

Status DirectShowRegistry::nextDevice(Handle classEnumerator, Handle& moniker) {
    ComPtr<IMoniker> next;
    const HRESULT hr = as<IEnumMoniker>(classEnumerator)->Next(1, next.put(), nullptr);
    moniker = handOut(std::move(next));
    return hr;
}

Status DirectShowRegistry::bindPropertyBag(Handle moniker, Handle& propertyBag) {
    ComPtr<IPropertyBag> bag;
    const HRESULT hr = as<IMoniker>(moniker)->BindToStorage(nullptr, nullptr, kPropertyBag, bag.putVoid());
    propertyBag = handOut(std::move(bag));
    return hr;
}

Status DirectShowRegistry::displayName(Handle moniker, std::optional<std::u16string>& text) {
    CoTaskMemText shown;
    const HRESULT hr = as<IMoniker>(moniker)->GetDisplayName(nullptr, nullptr, shown.put());
    if (shown.get() != nullptr) text = std::u16string(reinterpret_cast<const char16_t*>(shown.get()));
    return hr;
}

Handle DirectShowRegistry::createPropertyValue() { return reinterpret_cast<Handle>(new Variant); }

Status DirectShowRegistry::readProperty(Handle propertyBag, const std::u16string& name, Handle value) {
    return as<IPropertyBag>(propertyBag)
        ->Read(reinterpret_cast<const wchar_t*>(name.c_str()), as<Variant>(value)->get(), nullptr);
}

std::optional<std::u16string> DirectShowRegistry::propertyText(Handle value) {
    const VARIANT& variant = *as<Variant>(value)->get();
    // Only a string value has text; a BSTR may also be null.
    if (V_VT(&variant) != VT_BSTR || V_BSTR(&variant) == nullptr) return std::nullopt;
    const BSTR text = V_BSTR(&variant);
    return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

void DirectShowRegistry::release(HandleKind kind, Handle handle) {
    // Each goes to the owner of its kind, which lets it go.
    if (kind == HandleKind::PropertyValue) {
        delete as<Variant>(handle);
        return;
    }
    ComPtr<IUnknown>(as<IUnknown>(handle)).reset();
}

std::unique_ptr<DeviceRegistry> makePlatformRegistry() { return std::make_unique<DirectShowRegistry>(); }

}  // namespace camera_info
