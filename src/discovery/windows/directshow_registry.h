// The Windows device registry: DirectShow's system device enumerator.
#pragma once

#include "discovery/device_registry.h"

namespace camera_info {

// Performs each registry operation with the COM call of the same name and
// hands back its HRESULT; handles are the COM interfaces themselves.
class DirectShowRegistry final : public DeviceRegistry {
public:
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
};

}  // namespace camera_info
