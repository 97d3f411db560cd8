// The seam between the enumeration rules and a platform's device registry.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace camera_info {

// A platform status with COM's meaning: negative is failure, 0 is S_OK and
// other non-negative values (S_FALSE is 1) are success with a remark.
using Status = std::int32_t;
constexpr Status kStatusOk = 0;
constexpr Status kStatusFalse = 1;
constexpr Status kStatusFail = static_cast<Status>(0x80004005u);  // E_FAIL

// An object handed out by the registry; 0 is no object.
using Handle = std::uintptr_t;

enum class HandleKind { DeviceEnumerator, ClassEnumerator, Moniker, PropertyBag, PropertyValue };

// The platform operations that enumeration needs, each performed exactly as
// asked. A registry reports raw statuses and texts and decides nothing: what
// a status means, which reads happen and what becomes of the texts is the
// caller's business. Every handle it stores in an out-parameter is the
// caller's to release, whatever the status of the call that stored it.
class DeviceRegistry {
public:
    virtual ~DeviceRegistry() = default;

    // Prepares the calling thread (COM's CoInitialize); its result is ignored.
    virtual void initialize() = 0;
    virtual Status createDeviceEnumerator(Handle& deviceEnumerator) = 0;
    // The enumerator of the video input category.
    virtual Status createClassEnumerator(Handle deviceEnumerator, Handle& classEnumerator) = 0;
    // Asks for one device moniker.
    virtual Status nextDevice(Handle classEnumerator, Handle& moniker) = 0;
    virtual Status bindPropertyBag(Handle moniker, Handle& propertyBag) = 0;
    // The moniker's display name, as the platform stored it; no text when the
    // platform gave none (a null string).
    virtual Status displayName(Handle moniker, std::optional<std::u16string>& text) = 0;
    // A fresh, empty property value (VariantInit).
    virtual Handle createPropertyValue() = 0;
    // Reads the named property into `value`; a failed read may or may not
    // have changed it, as the platform pleases.
    virtual Status readProperty(Handle propertyBag, const std::u16string& name, Handle value) = 0;
    // The value's text with its stored length, or none when the value holds
    // no text (another type, or a null string).
    virtual std::optional<std::u16string> propertyText(Handle value) = 0;
    virtual void release(HandleKind kind, Handle handle) = 0;
};

// The registry of the platform the program was built for; defined by the one
// backend that the build selects.
std::unique_ptr<DeviceRegistry> makePlatformRegistry();

}  // namespace camera_info
