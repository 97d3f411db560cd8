// The scripted registry's bookkeeping.
#include "support/scripted_registry.h"

#include <stdexcept>

namespace camera_info {

std::string describe(HandleKind kind) {
    switch (kind) {
        case HandleKind::DeviceEnumerator: return "device-enumerator";
        case HandleKind::ClassEnumerator: return "class-enumerator";
        case HandleKind::Moniker: return "moniker";
        case HandleKind::PropertyBag: return "bag";
        case HandleKind::PropertyValue: return "value";
    }
    return "?";
}

template <HandleKind Kind>
RegistryHandle<Kind> ScriptedRegistry::obtain(std::size_t device) {
    Object& object = objects_.emplace_back(Object{device, std::nullopt});
    live_.insert(&object);
    ++obtained_;
    return RegistryHandle<Kind>(&object);
}

template <HandleKind Kind>
ScriptedRegistry::Object& ScriptedRegistry::find(RegistryHandle<Kind> handle) {
    // A call on a released or foreign handle is a fault of the code under test.
    if (live_.count(handle.object()) == 0) throw std::logic_error("call on a dead handle");
    return *static_cast<Object*>(handle.object());
}

void ScriptedRegistry::initialize() { calls_.push_back("initialize"); }

Status ScriptedRegistry::createDeviceEnumerator(DeviceEnumeratorHandle& deviceEnumerator) {
    calls_.push_back("create-device-enumerator");
    if (script_.createDeviceEnumerator >= 0 || script_.handOutOnFailure) {
        deviceEnumerator = obtain<HandleKind::DeviceEnumerator>(0);
    }
    return script_.createDeviceEnumerator;
}

Status ScriptedRegistry::createClassEnumerator(DeviceEnumeratorHandle deviceEnumerator,
                                               ClassEnumeratorHandle& classEnumerator) {
    find(deviceEnumerator);
    calls_.push_back("create-class-enumerator");
    if (script_.createClassEnumerator == kStatusOk || script_.handOutOnFailure) {
        classEnumerator = obtain<HandleKind::ClassEnumerator>(0);
    }
    return script_.createClassEnumerator;
}

Status ScriptedRegistry::nextDevice(ClassEnumeratorHandle classEnumerator, MonikerHandle& moniker) {
    find(classEnumerator);
    calls_.push_back("next");
    if (script_.nextFailsAt && *script_.nextFailsAt == next_) {
        if (script_.handOutOnFailure) moniker = obtain<HandleKind::Moniker>(next_);
        return script_.nextFailure;
    }
    if (next_ >= script_.devices.size()) return script_.endOfDevices;
    moniker = obtain<HandleKind::Moniker>(next_);
    ++next_;
    return kStatusOk;
}

Status ScriptedRegistry::bindPropertyBag(MonikerHandle moniker, PropertyBagHandle& propertyBag) {
    const std::size_t device = find(moniker).device;
    calls_.push_back("bind " + std::to_string(device));
    const Status status = script_.devices.at(device).bind;
    if (status >= 0 || script_.handOutOnFailure) propertyBag = obtain<HandleKind::PropertyBag>(device);
    return status;
}

Status ScriptedRegistry::displayName(MonikerHandle moniker, std::optional<std::u16string>& text) {
    const std::size_t device = find(moniker).device;
    calls_.push_back("display-name " + std::to_string(device));
    const ScriptedDevice& scripted = script_.devices.at(device);
    text = scripted.displayName;
    return scripted.displayStatus;
}

PropertyValueHandle ScriptedRegistry::createPropertyValue() {
    calls_.push_back("create-value");
    return obtain<HandleKind::PropertyValue>(0);
}

Status ScriptedRegistry::readProperty(PropertyBagHandle propertyBag, const std::u16string& name,
                                      PropertyValueHandle value) {
    const std::size_t device = find(propertyBag).device;
    Object& target = find(value);
    calls_.push_back("read " + std::to_string(device) + " " + std::string(name.begin(), name.end()));
    const auto& properties = script_.devices.at(device).properties;
    const auto it = properties.find(name);
    if (it == properties.end()) return kStatusFail;
    const ScriptedProperty& property = it->second;
    if (property.status >= 0) {
        target.text = property.text;
    } else if (property.onFailure == FailedReadEffect::Emptied) {
        target.text.reset();
    } else if (property.onFailure == FailedReadEffect::Overwritten) {
        target.text = property.leftBehind;
    }
    return property.status;
}

std::optional<std::u16string> ScriptedRegistry::propertyText(PropertyValueHandle value) { return find(value).text; }

template <HandleKind Kind>
void ScriptedRegistry::letGo(RegistryHandle<Kind> handle) {
    if (live_.erase(handle.object()) == 0) {
        ++badReleases_;
        calls_.push_back("release " + describe(Kind) + " (not live)");
        return;
    }
    const Object& object = *static_cast<const Object*>(handle.object());
    calls_.push_back("release " + describe(Kind) +
                     (Kind == HandleKind::Moniker || Kind == HandleKind::PropertyBag
                          ? " " + std::to_string(object.device)
                          : std::string()));
}

void ScriptedRegistry::release(DeviceEnumeratorHandle handle) { letGo(handle); }
void ScriptedRegistry::release(ClassEnumeratorHandle handle) { letGo(handle); }
void ScriptedRegistry::release(MonikerHandle handle) { letGo(handle); }
void ScriptedRegistry::release(PropertyBagHandle handle) { letGo(handle); }
void ScriptedRegistry::release(PropertyValueHandle handle) { letGo(handle); }

}  // namespace camera_info
