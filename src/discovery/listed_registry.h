// Presents a list of devices, as a platform without COM lists them, as the
// device registry the enumeration rules walk.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "discovery/device_registry.h"

namespace camera_info {

// One device as the platform lists it: the path the platform knows it by
// (a moniker's display name) and its properties, each made or read only
// when the rules ask for it, so that a long list holds no more than what
// finds each device.
struct ListedDevice {
    std::function<std::u16string()> displayName;
    // The named property's text, or none where it cannot be read.
    std::function<std::optional<std::u16string>(const std::u16string& name)> property;
};

// The category's devices in the platform's order. An entry without a device
// stands for one the platform listed but cannot reach (a class entry that
// leads nowhere).
using DeviceList = std::vector<std::optional<ListedDevice>>;

// Makes the list when the category is enumerated and hands its devices out
// one by one, each as a moniker whose bag reads each property once and keeps
// it until the moniker is released, when all of the device goes. It speaks
// the statuses the rules expect: an empty list is the empty category
// (S_FALSE, no enumerator), a device that cannot be reached fails to bind,
// and a property that cannot be read is a failed read that leaves the value
// as it was.
class ListedRegistry final : public DeviceRegistry {
public:
    explicit ListedRegistry(std::function<DeviceList()> list);

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

private:
    std::function<DeviceList()> list_;
};

}  // namespace camera_info
