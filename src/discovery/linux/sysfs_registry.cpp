// All of the Linux registry's reading of sysfs and /dev lives here.
#include "sysfs_registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

#include "utf.h"

namespace {

constexpr Status kNotFound = static_cast<Status>(0x80070002u);  // HRESULT of ERROR_FILE_NOT_FOUND

// An attribute larger than this is not a sysfs attribute; stop rather than
// read an endless file.
constexpr std::size_t kAttributeLimit = 1 << 20;

struct ClassEnumerator {
    std::vector<std::string> entries;  // class/video4linux/videoN, in numeric order
    std::size_t next = 0;
};

struct Moniker {
    std::string entry;
};

struct PropertyBag {
    std::string node;                     // the node's resolved sysfs directory
    std::optional<std::string> usbDevice;  // the USB device it belongs to, if any
};

struct PropertyValue {
    std::optional<std::u16string> text;
};

template <typename T>
T* from(Handle handle) {
    return reinterpret_cast<T*>(handle);
}

template <typename T>
Handle handOut(std::unique_ptr<T> object) {
    return reinterpret_cast<Handle>(object.release());
}

std::optional<std::string> readAttribute(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            ::close(fd);
            return std::nullopt;  // a directory, or an attribute that will not be read
        }
        if (got == 0 || bytes.size() >= kAttributeLimit) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return bytes;
}

// sysfs ends each attribute with one line feed.
std::string withoutLineFeed(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::optional<std::string> readLine(const std::string& path) {
    std::optional<std::string> text = readAttribute(path);
    if (text) *text = withoutLineFeed(std::move(*text));
    return text;
}

// Class entries are links into /sys/devices; the link is resolved before any
// ".." is followed, as the kernel lays the tree out.
std::optional<std::string> resolve(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
    return std::string(resolved);
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

bool hasUsbIds(const std::string& directory) {
    return readAttribute(directory + "/idVendor") && readAttribute(directory + "/idProduct");
}

struct UsbPlace {
    std::string device;
    std::optional<std::string> interface;
};

// A UVC node's `device` is usually the interface (.../3-2/3-2:1.0) whose
// parent holds the ids; a driver bound to the whole device links it directly.
std::optional<UsbPlace> findUsbDevice(const std::string& node) {
    const std::optional<std::string> device = resolve(node + "/device");
    if (!device) return std::nullopt;
    if (hasUsbIds(*device)) return UsbPlace{*device, std::nullopt};
    const std::string parent = parentOf(*device);
    if (hasUsbIds(parent)) return UsbPlace{parent, *device};
    return std::nullopt;
}

bool isVideoNodeName(const std::string& name) {
    const std::string prefix = "video";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
    return std::all_of(name.begin() + prefix.size(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// video2 before video10, without parsing numbers that may not fit.
bool byNodeNumber(const std::string& a, const std::string& b) {
    auto digits = [](const std::string& name) {
        std::string number = name.substr(5);
        number.erase(0, std::min(number.find_first_not_of('0'), number.size()));
        return number;
    };
    const std::string da = digits(a);
    const std::string db = digits(b);
    if (da.size() != db.size()) return da.size() < db.size();
    if (da != db) return da < db;
    return a < b;
}

// A capture node, not an output, memory-to-memory or metadata node. The
// driver says so when the node opens; otherwise the metadata twin of a UVC
// camera gives itself away by an index other than 0.
bool isCaptureNode(const std::string& entry, const std::string& devNode) {
    const int fd = ::open(devNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        v4l2_capability capability{};
        const int queried = ::ioctl(fd, VIDIOC_QUERYCAP, &capability);
        ::close(fd);
        if (queried == 0) {
            const std::uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps
                                                                                        : capability.capabilities;
            const std::uint32_t capture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE;
            const std::uint32_t notInput = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_VIDEO_OUTPUT_MPLANE | V4L2_CAP_VIDEO_M2M |
                                           V4L2_CAP_VIDEO_M2M_MPLANE;
            return (caps & capture) != 0 && (caps & notInput) == 0;
        }
    }
    const std::optional<std::string> index = readLine(entry + "/index");
    return !index || *index == "0";
}

}  // namespace

SysfsRegistry::SysfsRegistry(std::string sysRoot, std::string devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

void SysfsRegistry::initialize() {}

Status SysfsRegistry::createDeviceEnumerator(Handle& deviceEnumerator) {
    // Nothing to set up; the handle only has to be distinct and releasable.
    deviceEnumerator = handOut(std::make_unique<int>(0));
    return kStatusOk;
}

Status SysfsRegistry::createClassEnumerator(Handle, Handle& classEnumerator) {
    const std::string classDir = sysRoot_ + "/class/video4linux";
    auto enumerator = std::make_unique<ClassEnumerator>();
    if (DIR* dir = ::opendir(classDir.c_str())) {
        while (const dirent* item = ::readdir(dir)) {
            const std::string name = item->d_name;
            if (isVideoNodeName(name) && isCaptureNode(classDir + "/" + name, devRoot_ + "/" + name)) {
                enumerator->entries.push_back(name);
            }
        }
        ::closedir(dir);
    }
    if (enumerator->entries.empty()) return kStatusFalse;  // the empty category
    std::sort(enumerator->entries.begin(), enumerator->entries.end(), byNodeNumber);
    for (std::string& name : enumerator->entries) name = classDir + "/" + name;
    classEnumerator = handOut(std::move(enumerator));
    return kStatusOk;
}

Status SysfsRegistry::nextDevice(Handle classEnumerator, Handle& moniker) {
    ClassEnumerator& enumerator = *from<ClassEnumerator>(classEnumerator);
    if (enumerator.next >= enumerator.entries.size()) return kStatusFalse;
    moniker = handOut(std::make_unique<Moniker>(Moniker{enumerator.entries[enumerator.next++]}));
    return kStatusOk;
}

Status SysfsRegistry::bindPropertyBag(Handle moniker, Handle& propertyBag) {
    std::optional<std::string> node = resolve(from<Moniker>(moniker)->entry);
    if (!node) return kNotFound;  // a dangling class entry
    std::optional<UsbPlace> usb = findUsbDevice(*node);
    propertyBag = handOut(std::make_unique<PropertyBag>(
        PropertyBag{std::move(*node), usb ? std::optional<std::string>(usb->device) : std::nullopt}));
    return kStatusOk;
}

Status SysfsRegistry::displayName(Handle moniker, std::optional<std::u16string>& text) {
    const std::optional<std::string> node = resolve(from<Moniker>(moniker)->entry);
    if (!node) return kNotFound;
    std::string shown = *node;
    if (const std::optional<UsbPlace> usb = findUsbDevice(*node)) {
        const std::string interface = usb->interface ? readLine(*usb->interface + "/bInterfaceNumber").value_or("") : "";
        shown = "usb#vid_" + readLine(usb->device + "/idVendor").value_or("") + "&pid_" +
                readLine(usb->device + "/idProduct").value_or("") + "&mi_" + interface + "#" + *node;
    }
    text = decodeUtf8(shown);
    return kStatusOk;
}

Handle SysfsRegistry::createPropertyValue() { return handOut(std::make_unique<PropertyValue>()); }

Status SysfsRegistry::readProperty(Handle propertyBag, const std::u16string& name, Handle value) {
    const PropertyBag& bag = *from<PropertyBag>(propertyBag);
    std::optional<std::string> text;
    if (name == u"FriendlyName") {
        text = readLine(bag.node + "/name");
    } else if (name == u"Description" && bag.usbDevice) {
        text = readLine(*bag.usbDevice + "/product");
    }
    if (!text) return kNotFound;  // the value is left as it was
    from<PropertyValue>(value)->text = decodeUtf8(*text);
    return kStatusOk;
}

std::optional<std::u16string> SysfsRegistry::propertyText(Handle value) { return from<PropertyValue>(value)->text; }

void SysfsRegistry::release(HandleKind kind, Handle handle) {
    switch (kind) {
        case HandleKind::DeviceEnumerator: delete from<int>(handle); break;
        case HandleKind::ClassEnumerator: delete from<ClassEnumerator>(handle); break;
        case HandleKind::Moniker: delete from<Moniker>(handle); break;
        case HandleKind::PropertyBag: delete from<PropertyBag>(handle); break;
        case HandleKind::PropertyValue: delete from<PropertyValue>(handle); break;
    }
}

std::unique_ptr<DeviceRegistry> makePlatformRegistry() { return std::make_unique<SysfsRegistry>(); }
