// The enumeration rules, written once over the DeviceRegistry seam.
#include "discovery/video_input_devices.h"

#include <algorithm>
#include <optional>

#include "owners/unique_resource.h"
#include "text/utf.h"

namespace camera_info {

namespace {

const std::u16string kVendorMarker = u"vid_";
const std::u16string kProductMarker = u"pid_";
const std::u16string kIdEnd = u"&";
const std::u16string kDescription = u"Description";
const std::u16string kFriendlyName = u"FriendlyName";

// The name passes through a zero-filled buffer of this many code units that
// also holds its terminating NUL.
constexpr std::size_t kNameBufferUnits = 255;

bool failed(Status status) { return status < 0; }

// Platform strings end at their first NUL, whatever length they store.
std::u16string untilNul(const std::u16string& text) { return text.substr(0, text.find(u'\0')); }

// A registry's handle of one kind, given back to the registry exactly once.
template <HandleKind Kind>
struct RegistryHandleTraits {
    using Value = RegistryHandle<Kind>;
    static Value none() { return Value(); }
    void close(Value handle) const { registry->release(handle); }
    DeviceRegistry* registry;
};
template <HandleKind Kind>
using Owned = UniqueResource<RegistryHandleTraits<Kind>>;

template <HandleKind Kind>
Owned<Kind> ownedBy(DeviceRegistry& registry) {
    return Owned<Kind>(RegistryHandleTraits<Kind>{&registry});
}

// The record of one device, or none when it cannot be described. The value is
// cleared and the property bag released before the caller releases the moniker.
std::optional<CameraInfo> describeDevice(DeviceRegistry& registry, MonikerHandle moniker) {
    Owned<HandleKind::PropertyBag> bag = ownedBy<HandleKind::PropertyBag>(registry);
    if (failed(registry.bindPropertyBag(moniker, *bag.put()))) return std::nullopt;

    CameraInfo camera;
    std::optional<std::u16string> shown;
    const Status shownStatus = registry.displayName(moniker, shown);
    const std::u16string displayName = failed(shownStatus) || !shown ? std::u16string() : untilNul(*shown);
    camera.vid = extractIdAfter(displayName, kVendorMarker);
    camera.pid = extractIdAfter(displayName, kProductMarker);

    // One value serves every read of this device, so a failed friendly-name
    // read below leaves whatever the description read put there.
    Owned<HandleKind::PropertyValue> value = ownedBy<HandleKind::PropertyValue>(registry);
    value.reset(registry.createPropertyValue());
    if (failed(registry.readProperty(bag.get(), kDescription, value.get())) &&
        failed(registry.readProperty(bag.get(), kFriendlyName, value.get()))) {
        return std::nullopt;
    }
    // The friendly name wins whenever it can be read; its status is not examined.
    (void)registry.readProperty(bag.get(), kFriendlyName, value.get());
    camera.name = nameFromPropertyText(registry.propertyText(value.get()).value_or(std::u16string()));
    return camera;
}

}  // namespace

std::u16string extractIdAfter(const std::u16string& displayName, const std::u16string& marker) {
    const std::size_t at = displayName.find(marker);
    if (at == std::u16string::npos) return {};
    const std::size_t start = at + marker.size();
    const std::size_t end = displayName.find(kIdEnd, start);
    return displayName.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
}

std::u16string nameFromPropertyText(const std::u16string& text) {
    const std::u16string whole = untilNul(text);
    // One unit of the buffer is kept for the terminating NUL.
    std::u16string name = whole.substr(0, kNameBufferUnits - 1);
    if (name.size() < whole.size() && !name.empty() && isHighSurrogate(name.back())) name.pop_back();
    return name;
}

std::int32_t listVideoInputDevices(DeviceRegistry& registry, CameraList& cameras) {
    registry.initialize();  // stays in force for the rest of the process

    Owned<HandleKind::DeviceEnumerator> deviceEnumerator = ownedBy<HandleKind::DeviceEnumerator>(registry);
    if (failed(registry.createDeviceEnumerator(*deviceEnumerator.put()))) return 0;

    Owned<HandleKind::ClassEnumerator> classEnumerator = ownedBy<HandleKind::ClassEnumerator>(registry);
    // An empty category answers S_FALSE with no enumerator: only S_OK has one.
    if (registry.createClassEnumerator(deviceEnumerator.get(), *classEnumerator.put()) != kStatusOk) {
        deviceEnumerator.reset();
        return 0;
    }

    std::int32_t count = 0;
    Owned<HandleKind::Moniker> moniker = ownedBy<HandleKind::Moniker>(registry);
    // S_FALSE means fewer devices than asked for, here none: the end.
    while (registry.nextDevice(classEnumerator.get(), *moniker.put()) == kStatusOk) {
        if (std::optional<CameraInfo> camera = describeDevice(registry, moniker.get())) {
            cameras.push_back(std::move(*camera));
            ++count;
        }
        moniker.reset();
    }
    moniker.reset();
    deviceEnumerator.reset();
    classEnumerator.reset();
    return count;
}

std::int32_t listVideoInputDevices(CameraList& cameras) {
    const std::unique_ptr<DeviceRegistry> registry = makePlatformRegistry();
    return listVideoInputDevices(*registry, cameras);
}

}  // namespace camera_info
