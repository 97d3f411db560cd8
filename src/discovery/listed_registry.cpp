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

// What each kind of handle carries.
using Objects = HandleObjects<DeviceEnumerator, ClassEnumerator, Moniker, PropertyBag, PropertyValue>;

template <HandleKind Kind>
Objects::Type<Kind>& from(RegistryHandle<Kind> handle) {
    return *Objects::of(handle);
}

template <HandleKind Kind>
RegistryHandle<Kind> handOut(std::unique_ptr<Objects::Type<Kind>> object) {
    return RegistryHandle<Kind>(object.release());
}

template <HandleKind Kind>
void destroy(RegistryHandle<Kind> handle) {
    delete Objects::of(handle);
}

}  // namespace

ListedRegistry::ListedRegistry(std::function<DeviceList()> list) : list_(std::move(list)) {}

void ListedRegistry::initialize() {}

Status ListedRegistry::createDeviceEnumerator(DeviceEnumeratorHandle& deviceEnumerator) {
    deviceEnumerator = handOut<HandleKind::DeviceEnumerator>(std::make_unique<DeviceEnumerator>());
    return kStatusOk;
}

Status ListedRegistry::createClassEnumerator(DeviceEnumeratorHandle, ClassEnumeratorHandle& classEnumerator) {
    DeviceList devices = list_();
    if (devices.empty()) return kStatusFalse;  // the empty category: no enumerator
    classEnumerator =
        handOut<HandleKind::ClassEnumerator>(std::make_unique<ClassEnumerator>(ClassEnumerator{std::move(devices), 0}));
    return kStatusOk;
}

Status ListedRegistry::nextDevice(ClassEnumeratorHandle classEnumerator, MonikerHandle& moniker) {
    ClassEnumerator& enumerator = from(classEnumerator);
    if (enumerator.next >= enumerator.devices.size()) return kStatusFalse;
    // Each device is handed out once: the list keeps nothing of it, and it
    // goes with its moniker.
    auto device = std::make_shared<Device>(Device{std::move(enumerator.devices[enumerator.next++]), {}});
    moniker = handOut<HandleKind::Moniker>(std::make_unique<Moniker>(Moniker{std::move(device)}));
    return kStatusOk;
}

Status ListedRegistry::bindPropertyBag(MonikerHandle moniker, PropertyBagHandle& propertyBag) {
    const std::shared_ptr<Device>& device = from(moniker).device;
    if (!device->listed) return kNotFound;
    propertyBag = handOut<HandleKind::PropertyBag>(std::make_unique<PropertyBag>(PropertyBag{device}));
    return kStatusOk;
}

Status ListedRegistry::displayName(MonikerHandle moniker, std::optional<std::u16string>& text) {
    const Device& device = *from(moniker).device;
    if (!device.listed) return kNotFound;
    text = device.listed->displayName();
    return kStatusOk;
}

PropertyValueHandle ListedRegistry::createPropertyValue() {
    return handOut<HandleKind::PropertyValue>(std::make_unique<PropertyValue>());
}

Status ListedRegistry::readProperty(PropertyBagHandle propertyBag, const std::u16string& name,
                                    PropertyValueHandle value) {
    Device& device = *from(propertyBag).device;
    auto found = device.read.find(name);
    if (found == device.read.end()) found = device.read.emplace(name, device.listed->property(name)).first;
    if (!found->second) return kNotFound;  // the value stays as it was
    from(value).text = *found->second;
    return kStatusOk;
}

std::optional<std::u16string> ListedRegistry::propertyText(PropertyValueHandle value) { return from(value).text; }

void ListedRegistry::release(DeviceEnumeratorHandle handle) { destroy(handle); }
void ListedRegistry::release(ClassEnumeratorHandle handle) { destroy(handle); }
void ListedRegistry::release(MonikerHandle handle) { destroy(handle); }
void ListedRegistry::release(PropertyBagHandle handle) { destroy(handle); }
void ListedRegistry::release(PropertyValueHandle handle) { destroy(handle); }

}  // namespace camera_info
