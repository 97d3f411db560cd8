// COM's objects and statuses, made for a platform that only lists devices:
// the one place outside the Windows backend where they are imitated.
#include "discovery/listed_registry.h"

#include <map>
#include <memory>
#include <utility>

namespace camera_info {

namespace {

// The HRESULT of ERROR_FILE_NOT_FOUND: what COM answers for a device or a
// property that is not there.
constexpr Status kNotFound = static_cast<Status>(0x80070002u);

struct ClassEnumerator {
    DeviceList devices;
    std::size_t next = 0;
};

// A device handed out, with what was read of it: shared by its moniker and
// the moniker's bag, and gone with the last of them.
struct Device {
    std::optional<ListedDevice> listed;
    std::map<std::u16string, std::optional<std::u16string>> read;
};

struct Moniker {
    std::shared_ptr<Device> device;
};

struct PropertyBag {
    std::shared_ptr<Device> device;
};

struct PropertyValue {
    std::optional<std::u16string> text;
};

struct DeviceEnumerator {};

template <typename T>
T& from(Handle handle) {
    return *reinterpret_cast<T*>(handle);
}

template <typename T>
Handle handOut(std::unique_ptr<T> object) {
    return reinterpret_cast<Handle>(object.release());
}

template <typename T>
void destroy(Handle handle) {
    delete reinterpret_cast<T*>(handle);
}

}  // namespace

ListedRegistry::ListedRegistry(std::function<DeviceList()> list) : list_(std::move(list)) {}

void ListedRegistry::initialize() {}

Status ListedRegistry::createDeviceEnumerator(Handle& deviceEnumerator) {
    deviceEnumerator = handOut(std::make_unique<DeviceEnumerator>());
    return kStatusOk;
}

Status ListedRegistry::createClassEnumerator(Handle, Handle& classEnumerator) {
    DeviceList devices = list_();
    if (devices.empty()) return kStatusFalse;  // the empty category: no enumerator
    classEnumerator = handOut(std::make_unique<ClassEnumerator>(ClassEnumerator{std::move(devices), 0}));
    return kStatusOk;
}

Status ListedRegistry::nextDevice(Handle classEnumerator, Handle& moniker) {
    ClassEnumerator& enumerator = from<ClassEnumerator>(classEnumerator);
    if (enumerator.next >= enumerator.devices.size()) return kStatusFalse;
    // Each device is handed out once: the list keeps nothing of it, and it
    // goes with its moniker.
    auto device = std::make_shared<Device>(Device{std::move(enumerator.devices[enumerator.next++]), {}});
    moniker = handOut(std::make_unique<Moniker>(Moniker{std::move(device)}));
    return kStatusOk;
}

Status ListedRegistry::bindPropertyBag(Handle moniker, Handle& propertyBag) {
    const std::shared_ptr<Device>& device = from<Moniker>(moniker).device;
    if (!device->listed) return kNotFound;
    propertyBag = handOut(std::make_unique<PropertyBag>(PropertyBag{device}));
    return kStatusOk;
}

Status ListedRegistry::displayName(Handle moniker, std::optional<std::u16string>& text) {
    const Device& device = *from<Moniker>(moniker).device;
    if (!device.listed) return kNotFound;
    text = device.listed->displayName();
    return kStatusOk;
}

Handle ListedRegistry::createPropertyValue() { return handOut(std::make_unique<PropertyValue>()); }

Status ListedRegistry::readProperty(Handle propertyBag, const std::u16string& name, Handle value) {
    Device& device = *from<PropertyBag>(propertyBag).device;
    auto found = device.read.find(name);
    if (found == device.read.end()) found = device.read.emplace(name, device.listed->property(name)).first;
    if (!found->second) return kNotFound;  // the value stays as it was
    from<PropertyValue>(value).text = *found->second;
    return kStatusOk;
}

std::optional<std::u16string> ListedRegistry::propertyText(Handle value) { return from<PropertyValue>(value).text; }

void ListedRegistry::release(HandleKind kind, Handle handle) {
    switch (kind) {
        case HandleKind::DeviceEnumerator: destroy<DeviceEnumerator>(handle); break;
        case HandleKind::ClassEnumerator: destroy<ClassEnumerator>(handle); break;
        case HandleKind::Moniker: destroy<Moniker>(handle); break;
        case HandleKind::PropertyBag: destroy<PropertyBag>(handle); break;
        case HandleKind::PropertyValue: destroy<PropertyValue>(handle); break;
    }
}

}  // namespace camera_info
