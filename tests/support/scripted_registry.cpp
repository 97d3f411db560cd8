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

Handle ScriptedRegistry::obtain(HandleKind kind, std::size_t device) {
    const Handle handle = nextHandle_++;
    live_[handle] = Object{kind, device, std::nullopt};
    ++obtained_;
    return handle;
}

ScriptedRegistry::Object* ScriptedRegistry::find(Handle handle, HandleKind kind) {
    const auto it = live_.find(handle);
    // A call on a released or foreign handle is a fault of the code under test.
    if (it == live_.end() || it->second.kind != kind) throw std::logic_error("call on a dead handle");
    return &it->second;
}

void ScriptedRegistry::initialize() { calls_.push_back("initialize"); }

Status ScriptedRegistry::createDeviceEnumerator(Handle& deviceEnumerator) {
    calls_.push_back("create-device-enumerator");
    if (script_.createDeviceEnumerator >= 0 || script_.handOutOnFailure) {
        deviceEnumerator = obtain(HandleKind::DeviceEnumerator, 0);
    }
    return script_.createDeviceEnumerator;
}

Status ScriptedRegistry::createClassEnumerator(Handle deviceEnumerator, Handle& classEnumerator) {
    find(deviceEnumerator, HandleKind::DeviceEnumerator);
    calls_.push_back("create-class-enumerator");
    if (script_.createClassEnumerator == kStatusOk || script_.handOutOnFailure) {
        classEnumerator = obtain(HandleKind::ClassEnumerator, 0);
    }
    return script_.createClassEnumerator;
}

Status ScriptedRegistry::nextDevice(Handle classEnumerator, Handle& moniker) {
    find(classEnumerator, HandleKind::ClassEnumerator);
    calls_.push_back("next");
    if (script_.nextFailsAt && *script_.nextFailsAt == next_) {
        if (script_.handOutOnFailure) moniker = obtain(HandleKind::Moniker, next_);
        return script_.nextFailure;
    }
    if (next_ >= script_.devices.size()) return script_.endOfDevices;
    moniker = obtain(HandleKind::Moniker, next_);
    ++next_;
    return kStatusOk;
}

Status ScriptedRegistry::bindPropertyBag(Handle moniker, Handle& propertyBag) {
    const std::size_t device = find(moniker, HandleKind::Moniker)->device;
    calls_.push_back("bind " + std::to_string(device));
    const Status status = script_.devices.at(device).bind;
    if (status >= 0 || script_.handOutOnFailure) propertyBag = obtain(HandleKind::PropertyBag, device);
    return status;
}

Status ScriptedRegistry::displayName(Handle moniker, std::optional<std::u16string>& text) {
    const std::size_t device = find(moniker, HandleKind::Moniker)->device;
    calls_.push_back("display-name " + std::to_string(device));
    const ScriptedDevice& scripted = script_.devices.at(device);
    text = scripted.displayName;
    return scripted.displayStatus;
}

Handle ScriptedRegistry::createPropertyValue() {
    calls_.push_back("create-value");
    return obtain(HandleKind::PropertyValue, 0);
}

Status ScriptedRegistry::readProperty(Handle propertyBag, const std::u16string& name, Handle value) {
    const std::size_t device = find(propertyBag, HandleKind::PropertyBag)->device;
    Object& target = *find(value, HandleKind::PropertyValue);
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

std::optional<std::u16string> ScriptedRegistry::propertyText(Handle value) {
    return find(value, HandleKind::PropertyValue)->text;
}

void ScriptedRegistry::release(HandleKind kind, Handle handle) {
    const auto it = live_.find(handle);
    if (it == live_.end() || it->second.kind != kind) {
        ++badReleases_;
        calls_.push_back("release " + describe(kind) + " (not live)");
        return;
    }
    calls_.push_back("release " + describe(kind) +
                     (kind == HandleKind::Moniker || kind == HandleKind::PropertyBag
                          ? " " + std::to_string(it->second.device)
                          : std::string()));
    live_.erase(it);
}

}  // namespace camera_info
