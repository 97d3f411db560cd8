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

// The COM object each kind of handle carries; a value is the backend's own
// VARIANT.
using Objects = HandleObjects<ICreateDevEnum, IEnumMoniker, IMoniker, IPropertyBag, Variant>;

// Hands an interface on across the seam: the rules release it.
template <HandleKind Kind>
RegistryHandle<Kind> handOut(ComPtr<Objects::Type<Kind>> object) {
    return RegistryHandle<Kind>(object.release());
}

template <HandleKind Kind>
void letGo(RegistryHandle<Kind> handle) {
    ComPtr<Objects::Type<Kind>>(Objects::of(handle)).reset();
}

}  // namespace

void DirectShowRegistry::initialize() { (void)CoInitialize(nullptr); }

Status DirectShowRegistry::createDeviceEnumerator(DeviceEnumeratorHandle& deviceEnumerator) {
    ComPtr<ICreateDevEnum> created;
    const HRESULT hr =
        CoCreateInstance(kSystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, kCreateDevEnum, created.putVoid());
    deviceEnumerator = handOut<HandleKind::DeviceEnumerator>(std::move(created));
    return hr;
}

Status DirectShowRegistry::createClassEnumerator(DeviceEnumeratorHandle deviceEnumerator,
                                                 ClassEnumeratorHandle& classEnumerator) {
    ComPtr<IEnumMoniker> created;
    const HRESULT hr =
        Objects::of(deviceEnumerator)->CreateClassEnumerator(kVideoInputDeviceCategory, created.put(), 0);
    classEnumerator = handOut<HandleKind::ClassEnumerator>(std::move(created));
    return hr;
}

Status DirectShowRegistry::nextDevice(ClassEnumeratorHandle classEnumerator, MonikerHandle& moniker) {
    ComPtr<IMoniker> next;
    const HRESULT hr = Objects::of(classEnumerator)->Next(1, next.put(), nullptr);
    moniker = handOut<HandleKind::Moniker>(std::move(next));
    return hr;
}

Status DirectShowRegistry::bindPropertyBag(MonikerHandle moniker, PropertyBagHandle& propertyBag) {
    ComPtr<IPropertyBag> bag;
    const HRESULT hr = Objects::of(moniker)->BindToStorage(nullptr, nullptr, kPropertyBag, bag.putVoid());
    propertyBag = handOut<HandleKind::PropertyBag>(std::move(bag));
    return hr;
}

Status DirectShowRegistry::displayName(MonikerHandle moniker, std::optional<std::u16string>& text) {
    CoTaskMemText shown;
    const HRESULT hr = Objects::of(moniker)->GetDisplayName(nullptr, nullptr, shown.put());
    if (shown.get() != nullptr) text = std::u16string(reinterpret_cast<const char16_t*>(shown.get()));
    return hr;
}

PropertyValueHandle DirectShowRegistry::createPropertyValue() { return PropertyValueHandle(new Variant); }

Status DirectShowRegistry::readProperty(PropertyBagHandle propertyBag, const std::u16string& name,
                                        PropertyValueHandle value) {
    return Objects::of(propertyBag)
        ->Read(reinterpret_cast<const wchar_t*>(name.c_str()), Objects::of(value)->get(), nullptr);
}

std::optional<std::u16string> DirectShowRegistry::propertyText(PropertyValueHandle value) {
    const VARIANT& variant = *Objects::of(value)->get();
    // Only a string value has text; a BSTR may also be null.
    if (V_VT(&variant) != VT_BSTR || V_BSTR(&variant) == nullptr) return std::nullopt;
    const BSTR text = V_BSTR(&variant);
    return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

// Each goes to the owner of its kind, which lets it go.
void DirectShowRegistry::release(DeviceEnumeratorHandle handle) { letGo(handle); }
void DirectShowRegistry::release(ClassEnumeratorHandle handle) { letGo(handle); }
void DirectShowRegistry::release(MonikerHandle handle) { letGo(handle); }
void DirectShowRegistry::release(PropertyBagHandle handle) { letGo(handle); }
void DirectShowRegistry::release(PropertyValueHandle handle) { delete Objects::of(handle); }

std::unique_ptr<DeviceRegistry> makePlatformRegistry() { return std::make_unique<DirectShowRegistry>(); }

}  // namespace camera_info
