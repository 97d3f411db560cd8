// The Windows device registry: DirectShow's system device enumerator.
#pragma once

#include "discovery/device_registry.h"

namespace camera_info {

// Performs each registry operation with the COM call of the same name and
// hands back its HRESULT; handles are the COM interfaces themselves.
class DirectShowRegistry final : public DeviceRegistry {
public:
    void initialize() override;
    Status createDeviceEnumerator(Handle& deviceEnumerator) override;
    Status createClassEnumerator(Handle deviceEnumerator, Handle& classEnumerator) override;
    Status nextDevice(Handle classEnumerator, Handle& moniker) override;
    Status bindPropertyBag(Handle moniker, Handle& propertyBag) override;
    Status displayName(Handle moniker, std::optional<std::u16string>& text) override;
    Handle createPropertyValue() override;
    Status readProperty(Handle propertyBag, const std::u16string& name, Handle value) override;
    std::optional<std::u16string> propertyText(Handle value) override;
    void release(HandleKind kind, Handle handle) override;
};

}  // namespace camera_info
