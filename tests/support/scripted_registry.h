// A device registry whose devices and statuses are data, for tests.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "discovery/device_registry.h"

namespace camera_info {

// What a failed property read does to the value it was given.
enum class FailedReadEffect { Untouched, Emptied, Overwritten };

struct ScriptedProperty {
    Status status = kStatusOk;
    // The value's text after a successful read; none models a non-text value
    // or a null string.
    std::optional<std::u16string> text;
    FailedReadEffect onFailure = FailedReadEffect::Untouched;
    std::u16string leftBehind;  // the text an Overwritten failure leaves
};

struct ScriptedDevice {
    Status bind = kStatusOk;
    Status displayStatus = kStatusOk;
    std::optional<std::u16string> displayName = std::u16string();
    // Properties absent from the map fail to read with E_FAIL.
    std::map<std::u16string, ScriptedProperty> properties;
};

struct RegistryScript {
    Status createDeviceEnumerator = kStatusOk;
    Status createClassEnumerator = kStatusOk;
    // Failing calls that still hand out an object, as a careless platform might.
    bool handOutOnFailure = false;
    std::vector<ScriptedDevice> devices;
    // What nextDevice answers once the devices are used up.
    Status endOfDevices = kStatusFalse;
    // Answer this status instead of S_OK for the device at this position.
    std::optional<std::size_t> nextFailsAt;
    Status nextFailure = kStatusFail;
};

// Plays a script and keeps account of every handle and call.
class ScriptedRegistry final : public DeviceRegistry {
public:
    explicit ScriptedRegistry(RegistryScript script) : script_(std::move(script)) {}

    void initialize() override;
    Status createDeviceEnumerator(DeviceEnumeratorHandle& deviceEnumerator) override;
    Status createClassEnumerator(DeviceEnumeratorHandle deviceEnumerator,
                                 ClassEnumeratorHandle& classEnumerator) override;
    Status nextDevice(ClassEnumeratorHandle classEnumerator, MonikerHandle& moniker) override;
    Status bindPropertyBag(MonikerHandle moniker, PropertyBagHandle& propertyBag) override;
    Status displayName(MonikerHandle moniker, std::optional<std::u16string>& text) override;
    PropertyValueHandle createPropertyValue() override;
    Status readProperty(PropertyBagHandle propertyBag, const std::u16string& name, PropertyValueHandle value) override;
    std::optional<std::u16string> propertyText(PropertyValueHandle value) override;
    void release(DeviceEnumeratorHandle handle) override;
    void release(ClassEnumeratorHandle handle) override;
    void release(MonikerHandle handle) override;
    void release(PropertyBagHandle handle) override;
    void release(PropertyValueHandle handle) override;

    // Every call in order, as "next", "bind 0", "read 0 Description", "release bag 0".
    const std::vector<std::string>& calls() const { return calls_; }
    std::size_t liveHandles() const { return live_.size(); }
    // Releases of handles that were not live: double releases, unknown handles.
    std::size_t badReleases() const { return badReleases_; }
    std::size_t handlesObtained() const { return obtained_; }

private:
    struct Object {
        std::size_t device;                  // for monikers, bags and values
        std::optional<std::u16string> text;  // for values
    };
    template <HandleKind Kind>
    RegistryHandle<Kind> obtain(std::size_t device);
    template <HandleKind Kind>
    Object& find(RegistryHandle<Kind> handle);
    template <HandleKind Kind>
    void letGo(RegistryHandle<Kind> handle);

    RegistryScript script_;
    // Every object handed out, kept to the end so that no two handles ever
    // carry the same address, and those not yet released.
    std::deque<Object> objects_;
    std::set<const void*> live_;
    std::vector<std::string> calls_;
    std::size_t next_ = 0;
    std::size_t obtained_ = 0;
    std::size_t badReleases_ = 0;
};

std::string describe(HandleKind kind);

}  // namespace camera_info
