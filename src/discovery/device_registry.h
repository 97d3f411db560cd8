// The seam between the enumeration rules and a platform's device registry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

namespace camera_info {

// A platform status with COM's meaning: negative is failure, 0 is S_OK and
// other non-negative values (S_FALSE is 1) are success with a remark.
using Status = std::int32_t;
constexpr Status kStatusOk = 0;
constexpr Status kStatusFalse = 1;
constexpr Status kStatusFail = static_cast<Status>(0x80004005u);  // E_FAIL

// In this order, which HandleObjects follows.
enum class HandleKind { DeviceEnumerator = 0, ClassEnumerator, Moniker, PropertyBag, PropertyValue };

// An object handed out by the registry, of one kind: a moniker is not taken
// where a property bag is expected. It carries the backend's own object (a
// COM interface, the listed registry's record), which only the backend looks
// at; an empty handle carries none.
template <HandleKind Kind>
class RegistryHandle {
public:
    RegistryHandle() = default;
    explicit RegistryHandle(void* object) : object_(object) {}

    void* object() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    friend bool operator==(RegistryHandle a, RegistryHandle b) { return a.object_ == b.object_; }
    friend bool operator!=(RegistryHandle a, RegistryHandle b) { return a.object_ != b.object_; }

private:
    void* object_ = nullptr;
};

using DeviceEnumeratorHandle = RegistryHandle<HandleKind::DeviceEnumerator>;
using ClassEnumeratorHandle = RegistryHandle<HandleKind::ClassEnumerator>;
using MonikerHandle = RegistryHandle<HandleKind::Moniker>;
using PropertyBagHandle = RegistryHandle<HandleKind::PropertyBag>;
using PropertyValueHandle = RegistryHandle<HandleKind::PropertyValue>;

// A backend's objects, one type for each kind of handle in the order of
// HandleKind: `of(handle)` is the object a handle carries, as that type.
template <typename DeviceEnumerator, typename ClassEnumerator, typename Moniker, typename PropertyBag,
          typename PropertyValue>
struct HandleObjects {
    template <HandleKind Kind>
    using Type =
        std::tuple_element_t<static_cast<std::size_t>(Kind),
                             std::tuple<DeviceEnumerator, ClassEnumerator, Moniker, PropertyBag, PropertyValue>>;

    template <HandleKind Kind>
    static Type<Kind>* of(RegistryHandle<Kind> handle) {
        return static_cast<Type<Kind>*>(handle.object());
    }
};

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
    virtual Status createDeviceEnumerator(DeviceEnumeratorHandle& deviceEnumerator) = 0;
    // The enumerator of the video input category.
    virtual Status createClassEnumerator(DeviceEnumeratorHandle deviceEnumerator,
                                         ClassEnumeratorHandle& classEnumerator) = 0;
    // Asks for one device moniker.
    virtual Status nextDevice(ClassEnumeratorHandle classEnumerator, MonikerHandle& moniker) = 0;
    virtual Status bindPropertyBag(MonikerHandle moniker, PropertyBagHandle& propertyBag) = 0;
    // The moniker's display name, as the platform stored it; no text when the
    // platform gave none (a null string).
    virtual Status displayName(MonikerHandle moniker, std::optional<std::u16string>& text) = 0;
    // A fresh, empty property value (VariantInit).
    virtual PropertyValueHandle createPropertyValue() = 0;
    // Reads the named property into `value`; a failed read may or may not
    // have changed it, as the platform pleases.
    virtual Status readProperty(PropertyBagHandle propertyBag, const std::u16string& name,
                                PropertyValueHandle value) = 0;
    // The value's text with its stored length, or none when the value holds
    // no text (another type, or a null string).
    virtual std::optional<std::u16string> propertyText(PropertyValueHandle value) = 0;
    // Lets go of a handle of each kind.
    virtual void release(DeviceEnumeratorHandle handle) = 0;
    virtual void release(ClassEnumeratorHandle handle) = 0;
    virtual void release(MonikerHandle handle) = 0;
    virtual void release(PropertyBagHandle handle) = 0;
    virtual void release(PropertyValueHandle handle) = 0;
};

// The registry of the platform the program was built for; defined by the one
// backend that the build selects.
std::unique_ptr<DeviceRegistry> makePlatformRegistry();

}  // namespace camera_info
